#include "Player.h"

#include <cstddef>
#include <cstring>

namespace {

const char rgbFragmentShader[] =
    "#version 120\n"
    "\n"
    "varying vec4 colorVarying;\n"
    "varying vec2 uvVarying;\n"
    "\n"
    "uniform sampler2D yTexture;\n"
    "uniform sampler2D uTexture;\n"
    "uniform sampler2D vTexture;\n"
    "\n"
    "void main(void)\n"
    "{\n"
    "\tgl_FragColor.rgb = texture2D(yTexture, uvVarying).xyz;\n"
    "\tgl_FragColor.a = 1.0;\n"
    "}\n";

const char yuvFragmentShader[] =
    "#version 120\n"
    "\n"
    "varying vec4 colorVarying;\n"
    "varying vec2 uvVarying;\n"
    "\n"
    "uniform sampler2D yTexture;\n"
    "uniform sampler2D uTexture;\n"
    "uniform sampler2D vTexture;\n"
    "\n"
    "void main(void)\n"
    "{\n"
    "\tfloat y = 1.164 * (texture2D(yTexture, uvVarying).x - 0.063);\n"
    "\tfloat u = texture2D(uTexture, uvVarying).x - 0.5;\n"
    "\tfloat v = texture2D(vTexture, uvVarying).x - 0.5;\n"
    "\n"
    "\tgl_FragColor.r = y + 1.596 * v;\n"
    "\tgl_FragColor.g = y - 0.391 * u - 0.813 * v;\n"
    "\tgl_FragColor.b = y + 2.018 * u;\n"
    "\tgl_FragColor.a = 1.0;\n"
    "}\n";

const char vertexShader[] =
    "#version 120\n"
    "\n"
    "attribute vec4\tpos;\n"
    "attribute vec4 color;\n"
    "attribute vec2 uv;\n"
    "\n"
    "varying vec4 colorVarying;\n"
    "varying vec2 uvVarying;\n"
    "\n"
    "uniform mat4 matMVP;\n"
    "\n"
    "void main(void)\n"
    "{\n"
    "   gl_Position = matMVP * pos;\n"
    "   colorVarying = color;\n"
    "   uvVarying = uv;\n"
    "}\n";

// The quad's corners; render rewrites x and y of each on every call.
QuadVertex quadVertices[4] = {
    {{0, 0, 0}, {255, 255, 255, 255}, {0, 1}},
    {{0, 0, 0}, {255, 255, 255, 255}, {1, 1}},
    {{0, 0, 0}, {255, 255, 255, 255}, {1, 0}},
    {{0, 0, 0}, {255, 255, 255, 255}, {0, 0}},
};

}  // namespace

const char* const shaderSources[3] = {rgbFragmentShader, yuvFragmentShader, vertexShader};

Player::Player(wxGLCanvas* canvas, PlayerListener* listener)
    : listener(listener),
      movie(nullptr),
      videoInfo(),
      rgbMode(false),
      initialised(false),
      frameReady(false),
      rgbBuffer(),
      rgbStride(0),
      context(new wxGLContext(canvas)),
      program(0),
      textures{0, 0, 0},
      vertexBuffer(0)
{
}

Player::~Player()
{
    release();
    delete context;
    context = nullptr;
}

int Player::initGL(bool rgb)
{
    rgbMode = rgb;
    if (glewInit() != GLEW_OK) {
        return -1;
    }
    if (!GLEW_VERSION_2_1) {
        return -2;
    }
    for (GLuint& texture : textures) {
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, static_cast<GLfloat>(GL_LINEAR));
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, static_cast<GLfloat>(GL_LINEAR));
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, static_cast<GLfloat>(GL_CLAMP_TO_EDGE));
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, static_cast<GLfloat>(GL_CLAMP_TO_EDGE));
    }
    program = createProgram();
    if (program == 0) {
        return -3;
    }
    glGenBuffers(1, &vertexBuffer);
    for (int i = 0; i < 3; ++i) {
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(GL_TEXTURE_2D, textures[i]);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    }
    glUseProgram(program);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer);
    glUniform1i(glGetUniformLocation(program, "yTexture"), 0);
    glUniform1i(glGetUniformLocation(program, "uTexture"), 1);
    glUniform1i(glGetUniformLocation(program, "vTexture"), 2);

    const GLsizei stride = sizeof(QuadVertex);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(QuadVertex, pos)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                          reinterpret_cast<const void*>(offsetof(QuadVertex, color)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<const void*>(offsetof(QuadVertex, uv)));
    initialised = true;
    return 0;
}

GLuint Player::compileShader(GLenum type, const char* source)
{
    GLuint shader = glCreateShader(type);
    if (shader == 0) {
        return 0;
    }
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status != GL_TRUE) {
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

GLuint Player::createProgram()
{
    GLuint vertex = compileShader(GL_VERTEX_SHADER, shaderSources[2]);
    if (vertex == 0) {
        return 0;
    }
    GLuint fragment = compileShader(GL_FRAGMENT_SHADER, rgbMode ? shaderSources[0] : shaderSources[1]);
    if (fragment == 0) {
        glDeleteShader(vertex);
        return 0;
    }
    GLuint linked = glCreateProgram();
    if (linked != 0) {
        glAttachShader(linked, vertex);
        glAttachShader(linked, fragment);
        glBindAttribLocation(linked, 0, "pos");
        glBindAttribLocation(linked, 1, "color");
        glBindAttribLocation(linked, 2, "uv");
        glLinkProgram(linked);
        GLint status = GL_FALSE;
        glGetProgramiv(linked, GL_LINK_STATUS, &status);
        if (status != GL_TRUE) {
            glDeleteProgram(linked);
            linked = 0;
        }
    }
    // A linked program keeps its shaders alive while they stay attached.
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    return linked;
}

int Player::open(const wxString& path)
{
    const wxScopedCharBuffer utf8 = path.utf8_str();
    const char* name = (utf8.data() != nullptr && utf8.length() > 0) ? utf8.data() : "";
    if (zarn_open(name, &movie, nullptr, nullptr) != ZARN_OK) {
        movie = nullptr;
        return -1;
    }
    const zarn_track_header* track = nullptr;
    if (zarn_get_track(movie, ZARN_TRACK_VIDEO, 0, &track) != ZARN_OK) {
        return -3;
    }
    zarn_video_track_info info;
    std::memset(&info, 0, sizeof(info));
    if (zarn_get_video_track_info(movie, track, &info) != ZARN_OK) {
        return -4;
    }
    videoInfo = info;
    if (rgbMode) {
        rgbStride = videoInfo.width * 4;
        rgbBuffer.reset(new uint8_t[static_cast<size_t>(rgbStride) * static_cast<size_t>(videoInfo.height)]);
    }
    frameReady = false;
    return 0;
}

void Player::close()
{
    rgbBuffer.reset();
    rgbStride = 0;
    std::memset(&videoInfo, 0, sizeof(videoInfo));
    frameReady = false;
    if (movie != nullptr) {
        zarn_close(movie);
        movie = nullptr;
    }
}

void Player::release()
{
    if (movie != nullptr) {
        zarn_close(movie);
        movie = nullptr;
    }
    frameReady = false;
    if (vertexBuffer != 0) {
        glDeleteBuffers(1, &vertexBuffer);
        vertexBuffer = 0;
    }
    if (program != 0) {
        glDeleteProgram(program);
        program = 0;
    }
    for (GLuint& texture : textures) {
        if (texture != 0) {
            glDeleteTextures(1, &texture);
            texture = 0;
        }
    }
}

void Player::pulse()
{
    if (movie != nullptr) {
        zarn_pulse_events(movie);
    }
}

bool Player::isFrameReady()
{
    frameReady = false;
    if (movie != nullptr) {
        zarn_is_frame_ready(movie, &frameReady);
    }
    return frameReady;
}

void Player::uploadRgbFrame()
{
    if (rgbBuffer == nullptr ||
        zarn_blit_current_frame_bgra(movie, rgbBuffer.get(), rgbStride) != ZARN_OK) {
        return;
    }
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, textures[0]);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, videoInfo.width, videoInfo.height, 0, GL_BGRA,
                 GL_UNSIGNED_BYTE, rgbBuffer.get());
}

void Player::uploadYuvFrame()
{
    zarn_frame frame;
    std::memset(&frame, 0, sizeof(frame));
    if (zarn_get_current_frame(movie, &frame) != ZARN_OK) {
        return;
    }
    // Rows are read at each plane's own stride, byte aligned: a chroma
    // stride need not be a multiple of 4.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (int i = 0; i < 3; ++i) {
        glActiveTexture(GL_TEXTURE0 + i);
        glBindTexture(GL_TEXTURE_2D, textures[i]);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, frame.stride[i]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_LUMINANCE, frame.width[i], frame.height[i], 0, GL_LUMINANCE,
                     GL_UNSIGNED_BYTE, frame.data[i]);
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

void Player::render(int viewWidth, int viewHeight)
{
    glViewport(0, 0, viewWidth, viewHeight);
    if (movie == nullptr) {
        return;
    }
    if (frameReady) {
        // The poll's answer is used once: the frame is taken here, and a
        // second paint before the next poll must not ask for it again.
        frameReady = false;
        if (rgbMode) {
            uploadRgbFrame();
        } else {
            uploadYuvFrame();
        }
        double time = 0.0;
        if (listener != nullptr && zarn_get_time(movie, &time) == ZARN_OK) {
            listener->onTimeUpdate(time);
        }
    }
    if (viewWidth <= 0 || viewHeight <= 0) {
        return;
    }

    const LetterboxRect rect = fitToView(videoInfo.width, videoInfo.height, viewWidth, viewHeight);

    GLfloat matrix[16] = {};
    matrix[0] = 2.0f / static_cast<GLfloat>(viewWidth);
    matrix[5] = 2.0f / static_cast<GLfloat>(viewHeight);
    matrix[10] = -2.0f;
    matrix[12] = -1.0f;
    matrix[13] = -1.0f;
    matrix[14] = -1.0f;
    matrix[15] = 1.0f;
    glUniformMatrix4fv(glGetUniformLocation(program, "matMVP"), 1, GL_FALSE, matrix);

    const float left = static_cast<float>(rect.x);
    const float bottom = static_cast<float>(rect.y);
    const float right = static_cast<float>(rect.x + rect.w);
    const float top = static_cast<float>(rect.y + rect.h);
    quadVertices[0].pos[0] = left;
    quadVertices[0].pos[1] = bottom;
    quadVertices[1].pos[0] = right;
    quadVertices[1].pos[1] = bottom;
    quadVertices[2].pos[0] = right;
    quadVertices[2].pos[1] = top;
    quadVertices[3].pos[0] = left;
    quadVertices[3].pos[1] = top;

    glBufferData(GL_ARRAY_BUFFER, sizeof(quadVertices), quadVertices, GL_DYNAMIC_DRAW);
    glDrawArrays(GL_QUADS, 0, 4);
}

int Player::play()
{
    return movie != nullptr ? zarn_play(movie) : NO_VIDEO;
}

int Player::pause()
{
    return movie != nullptr ? zarn_pause(movie) : NO_VIDEO;
}

int Player::stop()
{
    return movie != nullptr ? zarn_stop(movie) : NO_VIDEO;
}

int Player::setTime(double seconds)
{
    return movie != nullptr ? zarn_set_time(movie, seconds) : NO_VIDEO;
}

double Player::getTime()
{
    double time = 0.0;
    if (movie == nullptr || zarn_get_time(movie, &time) != ZARN_OK) {
        return -1.0;
    }
    return time;
}

double Player::getDuration()
{
    double duration = 0.0;
    if (movie == nullptr || zarn_get_duration(movie, &duration) != ZARN_OK) {
        return 0.0;
    }
    return duration;
}

int Player::getWidth() const
{
    return movie != nullptr ? videoInfo.width : 0;
}

int Player::getHeight() const
{
    return movie != nullptr ? videoInfo.height : 0;
}

int Player::getState()
{
    int32_t state = 0;
    if (movie == nullptr || zarn_get_state(movie, &state) != ZARN_OK) {
        return 0;
    }
    return state;
}

bool Player::isOpen() const
{
    return movie != nullptr;
}

wxGLContext& Player::getContext()
{
    return *context;
}

bool Player::isInitialised() const
{
    return initialised;
}

LetterboxRect Player::fitToView(int32_t imageWidth, int32_t imageHeight, int32_t viewWidth,
                                int32_t viewHeight)
{
    LetterboxRect rect;
    if (imageWidth <= 0 || imageHeight <= 0) {
        return rect;  // nothing to show
    }
    const int32_t scaledHeight = static_cast<int32_t>(
        viewWidth * (static_cast<double>(imageHeight) / static_cast<double>(imageWidth)));
    if (viewHeight >= scaledHeight) {
        rect.y = viewHeight / 2 - scaledHeight / 2;
        rect.w = viewWidth;
        rect.h = scaledHeight;
    } else {
        const int32_t scaledWidth = static_cast<int32_t>(
            viewHeight * (static_cast<double>(imageWidth) / static_cast<double>(imageHeight)));
        rect.x = viewWidth / 2 - scaledWidth / 2;
        rect.w = scaledWidth;
        rect.h = viewHeight;
    }
    return rect;
}
