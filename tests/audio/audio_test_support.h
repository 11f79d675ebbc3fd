// Shared pieces of the audio render tests: ALSA configurations of the tests'
// own, capture of the codec's log lines, a render wrapper and block helpers.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "decoder/zarn_audio_render.h"
#include "decoder/zarn_audio_render_alsa.h"

namespace audio_test {

using Block = std::array<uint8_t, ZARN_AUDIO_BLOCK_SIZE>;

// A block whose every byte is non-zero and depends on `index`, so that
// silence and other blocks can be told apart.
Block pattern_block(int index);

std::vector<uint8_t> read_file(const std::string& path);
bool all_zero(const uint8_t* data, size_t size);

// A fresh temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Points ALSA at a configuration of the tests' own: writes `body` to a new
// file in `dir` (a new name each time, so ALSA reloads its configuration) and
// sets ALSA_CONFIG_PATH to the system's alsa.conf followed by that file.
void use_alsa_config(const TempDir& dir, const std::string& body);
// The text of a configuration file of tests/audio/alsa, with each @KEY@
// replaced by its value.
std::string alsa_config(const std::string& name, const std::vector<std::pair<std::string, std::string>>& values = {});
// "default" is the file plugin recording into `capture_file`, slave null.
void use_capture_device(const TempDir& dir, const std::string& capture_file);
// "default" is the real-speed test device behind the file plugin; creating
// `stall_file` makes it hold the next write for `stall_ms`.
void use_paced_device(const TempDir& dir, const std::string& capture_file, const std::string& stall_file,
                      int stall_ms = 800);

// Sends standard output and standard error into files until stop(); the
// text so far can be read at any time. Assertions belong after stop(), so
// that their messages reach the real output.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    void stop();
    std::string out() const;
    std::string err() const;
    // Waits until standard output holds `text`; false after `timeout`.
    bool wait_for_out(const std::string& text, std::chrono::milliseconds timeout) const;

private:
    TempDir dir_;
    int saved_out_ = -1;
    int saved_err_ = -1;
};

std::vector<std::string> lines_of(const std::string& text);
// The lines of `text` that start with `prefix`, in order.
std::vector<std::string> lines_starting(const std::string& text, const std::string& prefix);
int count_lines(const std::string& text, const std::string& line);

// Threads and open descriptors of this process, to show that nothing is
// left behind.
int thread_count();
int fd_count();

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// One render created through the table, freed at the end of its scope.
class Render {
public:
    Render(int32_t channels, int32_t sample_rate);
    ~Render();
    Render(const Render&) = delete;
    Render& operator=(const Render&) = delete;

    int32_t create_result() const { return create_result_; }
    zarn_audio_render* table() const { return render_; }
    zarn_audio_render_alsa* record() const { return static_cast<zarn_audio_render_alsa*>(render_->handle); }

    int32_t play() { return render_->play(render_->handle); }
    int32_t pause() { return render_->pause(render_->handle); }
    int32_t prime() { return render_->prime(render_->handle); }
    int32_t stop() { return render_->stop(render_->handle); }
    int32_t write(const Block& block) { return render_->write_buffer(render_->handle, block.data()); }
    bool can_write();
    // Blocks in the queue, read under the render's audio_mutex.
    int32_t queued();
    void free();

private:
    zarn_audio_render* render_ = nullptr;
    int32_t create_result_ = 0;
};

}  // namespace audio_test
