// Points ALSA at the test program's own configuration before anything of
// ALSA runs, so the tests never touch the machine's sound devices.
#include <cstdlib>
#include <string>

namespace {

struct alsa_environment {
    alsa_environment()
    {
        const std::string path = std::string("/usr/share/alsa/alsa.conf:") + ENGINE_ALSA_CONF;
        setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    }
};

const alsa_environment environment;

}  // namespace
