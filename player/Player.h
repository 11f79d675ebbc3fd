// The one open video of the application and its OpenGL renderer.
#pragma once

#include <GL/glew.h>

#include <wx/glcanvas.h>
#include <wx/string.h>

#include <cstdint>
#include <memory>

#include "zarn.h"

// Told the playback time of each frame the Player takes for display.
class PlayerListener {
public:
    virtual void onTimeUpdate(double time) = 0;

protected:
    ~PlayerListener() = default;
};

// One vertex of the video quad, laid out as the vertex shader's attributes.
struct QuadVertex {
    float pos[3];
    uint8_t color[4];
    float uv[2];
};
static_assert(sizeof(QuadVertex) == 24, "the attribute layout assumes 24-byte vertices");

// The shader texts, in this order: RGB fragment, YUV fragment, vertex.
extern const char* const shaderSources[3];

// Where an image of imageWidth x imageHeight lands when fitted, aspect kept,
// into a view of viewWidth x viewHeight (origin bottom-left).
struct LetterboxRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t w = 0;
    int32_t h = 0;
};

class Player {
public:
    Player(wxGLCanvas* canvas, PlayerListener* listener);
    virtual ~Player();

    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    // Sets up the GL objects; the caller has made the context current.
    // 0, or -1 (GLEW failed), -2 (no OpenGL 2.1), -3 (shader program failed).
    int initGL(bool rgb);
    // 0, or -1 (the codec refused the file), -3 (no video track),
    // -4 (its information could not be read).
    int open(const wxString& path);
    void close();
    void release();

    void pulse();
    bool isFrameReady();
    void render(int viewWidth, int viewHeight);

    int play();
    int pause();
    int stop();
    int setTime(double seconds);
    double getTime();
    double getDuration();
    int getWidth() const;
    int getHeight() const;
    int getState();
    bool isOpen() const;
    wxGLContext& getContext();
    bool isInitialised() const;

    static LetterboxRect fitToView(int32_t imageWidth, int32_t imageHeight, int32_t viewWidth,
                                   int32_t viewHeight);

    // Returned by the transport calls when no video is open.
    static constexpr int NO_VIDEO = -99;

private:
    GLuint compileShader(GLenum type, const char* source);
    GLuint createProgram();
    void uploadRgbFrame();
    void uploadYuvFrame();

    PlayerListener* listener;
    zarn_decoder* movie;
    zarn_video_track_info videoInfo;
    bool rgbMode;
    bool initialised;
    bool frameReady;
    std::unique_ptr<uint8_t[]> rgbBuffer;
    int32_t rgbStride;
    wxGLContext* context;
    GLuint program;
    GLuint textures[3];
    GLuint vertexBuffer;
};
