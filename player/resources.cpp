#include "resources.h"

#include <cstring>

// The arrays come from the build (EmbedResource.cmake, one per file in res/).
extern const unsigned char res_control_play_blue[];
extern const size_t res_control_play_blue_size;
extern const unsigned char res_control_pause_blue[];
extern const size_t res_control_pause_blue_size;
extern const unsigned char res_control_stop_blue[];
extern const size_t res_control_stop_blue_size;
extern const unsigned char res_about_picture[];
extern const size_t res_about_picture_size;

const EmbeddedResource* findEmbeddedResource(const char* name)
{
    // The About picture is stored as PNG; its name is the lookup key only.
    static const EmbeddedResource resources[] = {
        {"../res/control_play_blue.png", res_control_play_blue, res_control_play_blue_size},
        {"../res/control_pause_blue.png", res_control_pause_blue, res_control_pause_blue_size},
        {"../res/control_stop_blue.png", res_control_stop_blue, res_control_stop_blue_size},
        {"../res/Zarn_Installer_Left.bmp", res_about_picture, res_about_picture_size},
    };
    if (name == nullptr) {
        return nullptr;
    }
    for (const EmbeddedResource& resource : resources) {
        if (std::strcmp(resource.name, name) == 0) {
            return &resource;
        }
    }
    return nullptr;
}
