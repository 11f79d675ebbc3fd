#include "audio_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#include "decoder/zarn_mutex.h"

namespace audio_test {

Block pattern_block(int index)
{
    Block block{};
    for (size_t i = 0; i < block.size(); ++i) {
        block[i] = static_cast<uint8_t>((index * 31 + i * 7) % 255 + 1);
    }
    return block;
}

std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool all_zero(const uint8_t* data, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        if (data[i] != 0) {
            return false;
        }
    }
    return true;
}

TempDir::TempDir()
{
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/zarn-audio-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed for " << pattern;
    }
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void use_alsa_config(const TempDir& dir, const std::string& body)
{
    static int serial = 0;
    const std::string path = dir.file("asound-" + std::to_string(++serial) + ".conf");
    std::ofstream(path) << body;
    const std::string value = "/usr/share/alsa/alsa.conf:" + path;
    setenv("ALSA_CONFIG_PATH", value.c_str(), 1);
}

std::string alsa_config(const std::string& name, const std::vector<std::pair<std::string, std::string>>& values)
{
    std::ifstream in(std::string(ZARN_TEST_SOURCE_DIR) + "/alsa/" + name);
    std::stringstream text;
    text << in.rdbuf();
    std::string body = text.str();
    EXPECT_FALSE(body.empty()) << "no configuration " << name;
    for (const auto& [key, value] : values) {
        const std::string marker = "@" + key + "@";
        for (size_t at = body.find(marker); at != std::string::npos; at = body.find(marker, at + value.size())) {
            body.replace(at, marker.size(), value);
        }
    }
    return body;
}

void use_capture_device(const TempDir& dir, const std::string& capture_file)
{
    use_alsa_config(dir, alsa_config("capture.conf.in", {{"CAPTURE_FILE", capture_file}}));
}

void use_paced_device(const TempDir& dir, const std::string& capture_file, const std::string& stall_file,
                      int stall_ms)
{
    use_alsa_config(dir, alsa_config("paced.conf.in", {{"DEVICE_LIBRARY", ZARN_TEST_DEVICE_LIBRARY},
                                                       {"CAPTURE_FILE", capture_file},
                                                       {"STALL_FILE", stall_file},
                                                       {"STALL_MS", std::to_string(stall_ms)}}));
}

LogCapture::LogCapture()
{
    fflush(stdout);
    fflush(stderr);
    saved_out_ = dup(STDOUT_FILENO);
    saved_err_ = dup(STDERR_FILENO);
    const int out = open(dir_.file("out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err = open(dir_.file("err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    close(out);
    close(err);
}

LogCapture::~LogCapture()
{
    stop();
}

void LogCapture::stop()
{
    if (saved_out_ < 0) {
        return;
    }
    fflush(stdout);
    fflush(stderr);
    dup2(saved_out_, STDOUT_FILENO);
    dup2(saved_err_, STDERR_FILENO);
    close(saved_out_);
    close(saved_err_);
    saved_out_ = -1;
    saved_err_ = -1;
    // A failed assertion inside the capture printed its message into it:
    // show the end of what was captured.
    if (testing::Test::HasFailure()) {
        for (const auto& [name, text] : {std::pair{"standard output", out()}, std::pair{"standard error", err()}}) {
            const std::vector<std::string> lines = lines_of(text);
            const size_t first = lines.size() > 40 ? lines.size() - 40 : 0;
            printf("--- captured %s (last %zu lines) ---\n", name, lines.size() - first);
            for (size_t i = first; i < lines.size(); ++i) {
                printf("%s\n", lines[i].c_str());
            }
        }
        fflush(stdout);
    }
}

std::string LogCapture::out() const
{
    const std::vector<uint8_t> bytes = read_file(dir_.file("out"));
    return std::string(bytes.begin(), bytes.end());
}

std::string LogCapture::err() const
{
    const std::vector<uint8_t> bytes = read_file(dir_.file("err"));
    return std::string(bytes.begin(), bytes.end());
}

bool LogCapture::wait_for_out(const std::string& text, std::chrono::milliseconds timeout) const
{
    return wait_until([&] { return out().find(text) != std::string::npos; }, timeout);
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> lines_starting(const std::string& text, const std::string& prefix)
{
    std::vector<std::string> lines;
    for (const std::string& line : lines_of(text)) {
        if (line.compare(0, prefix.size(), prefix) == 0) {
            lines.push_back(line);
        }
    }
    return lines;
}

int count_lines(const std::string& text, const std::string& line)
{
    int count = 0;
    for (const std::string& candidate : lines_of(text)) {
        count += candidate == line ? 1 : 0;
    }
    return count;
}

namespace {

int entries_of(const char* folder)
{
    int count = 0;
    DIR* dir = opendir(folder);
    if (dir == nullptr) {
        return -1;
    }
    while (const dirent* entry = readdir(dir)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(dir);
    return count;
}

}  // namespace

int thread_count()
{
    return entries_of("/proc/self/task");
}

int fd_count()
{
    // Less the descriptor of the listing itself.
    return entries_of("/proc/self/fd") - 1;
}

bool wait_until(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

Render::Render(int32_t channels, int32_t sample_rate)
{
    create_result_ = zarn_audio_render_create(&render_, channels, sample_rate);
}

Render::~Render()
{
    free();
}

void Render::free()
{
    zarn_audio_render_free(render_);
    render_ = nullptr;
}

bool Render::can_write()
{
    bool can_write = false;
    EXPECT_EQ(render_->can_write_buffer(render_->handle, &can_write), 0);
    return can_write;
}

int32_t Render::queued()
{
    zarn_mutex_lock(record()->audio_mutex);
    const int32_t count = record()->circ_buffer->count;
    zarn_mutex_unlock(record()->audio_mutex);
    return count;
}

}  // namespace audio_test
