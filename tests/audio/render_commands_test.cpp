// The render's commands, queue and life cycle on ALSA's null device, and its
// failures to open.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio_test_support.h"
#include "decoder/zarn_audio_render_alsa.h"
#include "decoder/zarn_circular_buffer.h"
#include "zarn_results.h"

namespace {

using namespace audio_test;
using namespace std::chrono_literals;

const std::string TRACE = "Zarn info: zarn_audio_render_alsa_thread_func() : ";

class RenderOnNullDevice : public testing::Test {
protected:
    void SetUp() override { use_alsa_config(dir_, alsa_config("null.conf")); }
    TempDir dir_;
};

enum class Command { PLAY, PAUSE, STOP, PRIME };

struct Step {
    Command command;
    int32_t expected;
    const char* error_line;  // logged on standard error, or null
};

int32_t run(Render& render, Command command)
{
    switch (command) {
    case Command::PLAY:
        return render.play();
    case Command::PAUSE:
        return render.pause();
    case Command::STOP:
        return render.stop();
    case Command::PRIME:
        return render.prime();
    }
    return 0;
}

const char* trace_name(Command command)
{
    switch (command) {
    case Command::PLAY:
        return "ALSA_COMMAND_PLAY";
    case Command::PAUSE:
        return "ALSA_COMMAND_PAUSE";
    case Command::STOP:
        return "ALSA_COMMAND_STOP";
    case Command::PRIME:
        return "ALSA_COMMAND_PRIME";
    }
    return "";
}

const char* const PAUSE_NOT_RUNNING =
    "Zarn error: zarn_audio_render_alsa_command_pause() : Expected device state to be 'running'.";
const char* const PLAY_BAD_STATE =
    "Zarn error: zarn_audio_render_alsa_command_play() : Expected device state to be 'paused' or 'running'.";

// The device's states as the commands see them, from a fresh render on.
const Step STATE_STEPS[] = {
    {Command::PAUSE, ZARN_ALSA_ERROR_PAUSE_NOT_RUNNING, PAUSE_NOT_RUNNING},  // fresh: not running...
    {Command::PLAY, ZARN_OK, nullptr},                                       // ...but prepared
    {Command::PLAY, ZARN_ALSA_ERROR_PLAY_BAD_STATE, PLAY_BAD_STATE},         // running
    {Command::PAUSE, ZARN_OK, nullptr},
    {Command::PAUSE, ZARN_ALSA_ERROR_PAUSE_NOT_RUNNING, PAUSE_NOT_RUNNING},  // paused
    {Command::PLAY, ZARN_OK, nullptr},                                       // resumes
    {Command::STOP, ZARN_OK, nullptr},
    {Command::PLAY, ZARN_ALSA_ERROR_PLAY_BAD_STATE, PLAY_BAD_STATE},  // stopped: setup
    {Command::PAUSE, ZARN_ALSA_ERROR_PAUSE_NOT_RUNNING, PAUSE_NOT_RUNNING},
    {Command::STOP, ZARN_OK, nullptr},   // setup may be stopped again
    {Command::PRIME, ZARN_OK, nullptr},  // prepares
    {Command::PLAY, ZARN_OK, nullptr},
    {Command::PAUSE, ZARN_OK, nullptr},
    {Command::STOP, ZARN_OK, nullptr},  // from paused
};

TEST_F(RenderOnNullDevice, CommandsFollowTheDeviceStates)
{
    std::vector<int32_t> results;
    std::string out;
    std::string err;
    {
        LogCapture capture;
        Render render(2, 44100);
        if (render.create_result() == ZARN_OK) {
            for (const Step& step : STATE_STEPS) {
                results.push_back(run(render, step.command));
            }
        }
        render.free();
        capture.stop();
        out = capture.out();
        err = capture.err();
    }
    ASSERT_EQ(results.size(), std::size(STATE_STEPS)) << err;

    std::vector<std::string> expected_traces;
    std::vector<std::string> expected_errors;
    for (size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i], STATE_STEPS[i].expected) << "step " << i << " (" << trace_name(STATE_STEPS[i].command)
                                                       << ")";
        expected_traces.push_back(TRACE + trace_name(STATE_STEPS[i].command));
        if (STATE_STEPS[i].error_line != nullptr) {
            expected_errors.push_back(STATE_STEPS[i].error_line);
        }
    }
    expected_traces.push_back(TRACE + "ALSA_COMMAND_QUIT");
    EXPECT_EQ(lines_starting(out, TRACE), expected_traces);
    // The running null device also logs underruns of the empty queue; the
    // command failures are the only other error lines.
    EXPECT_EQ(lines_starting(err, "Zarn error: zarn_audio_render_alsa_command_"), expected_errors);
}

TEST_F(RenderOnNullDevice, FreshRenderIdlesWithoutTakingBlocks)
{
    Render render(2, 44100);
    ASSERT_EQ(render.create_result(), ZARN_OK);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(render.write(pattern_block(i)), ZARN_OK);
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(render.queued(), 5);
}

TEST_F(RenderOnNullDevice, StopEmptiesTheQueue)
{
    Render render(2, 44100);
    ASSERT_EQ(render.create_result(), ZARN_OK);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(render.write(pattern_block(i)), ZARN_OK);
    }
    ASSERT_EQ(render.stop(), ZARN_OK);
    EXPECT_EQ(render.queued(), 0);
    int written = 0;
    while (render.can_write() && written < 40) {
        ASSERT_EQ(render.write(pattern_block(written)), ZARN_OK);
        ++written;
    }
    EXPECT_EQ(written, ZARN_ALSA_QUEUE_CAPACITY);
}

TEST_F(RenderOnNullDevice, FullQueueRefusesABlockAndStaysUsable)
{
    Render render(2, 44100);
    ASSERT_EQ(render.create_result(), ZARN_OK);
    for (int i = 0; i < ZARN_ALSA_QUEUE_CAPACITY; ++i) {
        ASSERT_TRUE(render.can_write());
        ASSERT_EQ(render.write(pattern_block(i)), ZARN_OK);
    }
    EXPECT_FALSE(render.can_write());

    LogCapture capture;
    const int32_t refused = render.write(pattern_block(99));
    capture.stop();
    EXPECT_EQ(refused, ZARN_ALSA_ERROR_QUEUE_FULL);
    EXPECT_EQ(lines_of(capture.err()),
              (std::vector<std::string>{
                  "Zarn error: zarn_circular_buffer_push_back() : No space to push item.",
                  "Zarn error: zarn_audio_render_alsa_write_buffer() : Couldn't push an audio block to the circular "
                  "buffer."}));
    EXPECT_EQ(render.queued(), ZARN_ALSA_QUEUE_CAPACITY);

    // The device thread still gets the lock: PRIME takes 4 blocks.
    ASSERT_EQ(render.prime(), ZARN_OK);
    EXPECT_EQ(render.queued(), ZARN_ALSA_QUEUE_CAPACITY - ZARN_ALSA_PRIME_BLOCKS);
    EXPECT_TRUE(render.can_write());
    EXPECT_EQ(render.write(pattern_block(100)), ZARN_OK);
}

// A record whose open never completed refuses every operation.
TEST(AudioRenderNotInitialised, EveryOperationRefuses)
{
    zarn_audio_render_alsa record;
    memset(static_cast<void*>(&record), 0, sizeof(record));
    ASSERT_EQ(zarn_circular_buffer_create(&record.circ_buffer, ZARN_ALSA_QUEUE_CAPACITY, ZARN_AUDIO_BLOCK_SIZE),
              ZARN_OK);
    const Block block = pattern_block(0);
    bool can_write = true;

    struct Refusal {
        const char* function;
        std::function<int32_t()> call;
        int32_t expected;
    };
    const Refusal refusals[] = {
        {"pause", [&] { return zarn_audio_render_alsa_pause(&record); }, ZARN_ALSA_ERROR_PAUSE_NOT_INITIALISED},
        {"play", [&] { return zarn_audio_render_alsa_play(&record); }, ZARN_ALSA_ERROR_PLAY_NOT_INITIALISED},
        {"prime", [&] { return zarn_audio_render_alsa_prime(&record); }, ZARN_ALSA_ERROR_PRIME_NOT_INITIALISED},
        {"stop", [&] { return zarn_audio_render_alsa_stop(&record); }, ZARN_ALSA_ERROR_STOP_NOT_INITIALISED},
        {"can_write_buffer", [&] { return zarn_audio_render_alsa_can_write_buffer(&record, &can_write); },
         ZARN_ALSA_ERROR_CAN_WRITE_NOT_INITIALISED},
        {"write_buffer", [&] { return zarn_audio_render_alsa_write_buffer(&record, block.data()); },
         ZARN_ALSA_ERROR_WRITE_NOT_INITIALISED},
    };
    for (const Refusal& refusal : refusals) {
        LogCapture capture;
        const int32_t result = refusal.call();
        capture.stop();
        EXPECT_EQ(result, refusal.expected) << refusal.function;
        EXPECT_EQ(capture.err(), std::string("Zarn error: zarn_audio_render_alsa_") + refusal.function +
                                     "() : This audio render is not initialised.\n");
    }
    EXPECT_FALSE(can_write);
    EXPECT_EQ(record.circ_buffer->count, 0);
    zarn_circular_buffer_free(record.circ_buffer);
}

// Free ends the device thread and leaves no thread or descriptor behind,
// whatever the device was doing.
struct FreeCase {
    const char* name;
    bool paced;  // the real-speed device instead of null
    std::vector<Command> commands;
    int blocks;  // queued before the commands
};

const FreeCase FREE_CASES[] = {
    {"fresh", false, {}, 0},
    {"running", false, {Command::PLAY}, 0},
    {"paused", false, {Command::PLAY, Command::PAUSE}, 0},
    {"stopped", false, {Command::STOP}, 0},
    {"primed_after_stop", false, {Command::STOP, Command::PRIME}, 8},
    {"queue_full", false, {}, ZARN_ALSA_QUEUE_CAPACITY},
    {"writing_to_a_full_device", true, {Command::PRIME, Command::PLAY}, ZARN_ALSA_QUEUE_CAPACITY},
};

void PrintTo(const FreeCase& c, std::ostream* os)
{
    *os << c.name;
}

class FreeInEveryState : public testing::TestWithParam<FreeCase> {
protected:
    TempDir dir_;
};

TEST_P(FreeInEveryState, EndsTheDeviceThreadAndLeavesNothing)
{
    const FreeCase& c = GetParam();
    if (c.paced) {
        use_paced_device(dir_, dir_.file("capture.raw"), dir_.file("stall"));
    } else {
        use_alsa_config(dir_, alsa_config("null.conf"));
    }
    LogCapture capture;
    // A first render loads ALSA's configuration and plugins once for the
    // process; what is counted is what one render leaves behind.
    {
        Render warm_up(2, 48000);
    }
    const int threads = thread_count();
    const int fds = fd_count();
    std::vector<int32_t> results;
    int threads_while_open = 0;
    std::chrono::milliseconds free_time{};
    {
        Render render(2, 48000);
        if (render.create_result() == ZARN_OK) {
            for (int i = 0; i < c.blocks; ++i) {
                render.write(pattern_block(i));
            }
            for (Command command : c.commands) {
                results.push_back(run(render, command));
            }
            std::this_thread::sleep_for(50ms);
            threads_while_open = thread_count();
        }
        const auto start = std::chrono::steady_clock::now();
        render.free();
        free_time = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    }
    const int threads_after = thread_count();
    const int fds_after = fd_count();
    capture.stop();

    ASSERT_EQ(results.size(), c.commands.size()) << capture.err();
    for (int32_t result : results) {
        EXPECT_EQ(result, ZARN_OK);
    }
    EXPECT_EQ(threads_while_open, threads + 1);
    EXPECT_EQ(threads_after, threads);
    EXPECT_EQ(fds_after, fds);
    EXPECT_LT(free_time, 2000ms);
    const std::vector<std::string> traces = lines_starting(capture.out(), TRACE);
    ASSERT_FALSE(traces.empty());
    EXPECT_EQ(traces.back(), TRACE + "ALSA_COMMAND_QUIT");
}

INSTANTIATE_TEST_SUITE_P(AudioRender, FreeInEveryState, testing::ValuesIn(FREE_CASES),
                         [](const testing::TestParamInfo<FreeCase>& info) { return info.param.name; });

// A device that cannot be set up: the device thread's line, then open's, then
// create's, and no render.
struct OpenFailureCase {
    const char* name;
    const char* config;  // null.conf-style file, or "paced" for the test device
    int32_t channels;
    const char* first_line;  // the device thread's line up to ALSA's text
};

const OpenFailureCase OPEN_FAILURE_CASES[] = {
    {"no_usable_default_device", "no_device.conf", 2,
     "Zarn error: zarn_audio_render_alsa_thread_func() : Couldn't open device ("},
    {"device_refuses_the_channel_count", "paced", 9,
     "Zarn error: zarn_audio_render_alsa_thread_func() : Couldn't set hw params ("},
};

void PrintTo(const OpenFailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class OpenFailure : public testing::TestWithParam<OpenFailureCase> {
protected:
    TempDir dir_;
};

TEST_P(OpenFailure, CreateReturnsOpenErrorAfterTheChainOfLines)
{
    const OpenFailureCase& c = GetParam();
    if (std::string(c.config) == "paced") {
        use_paced_device(dir_, dir_.file("capture.raw"), dir_.file("stall"));
    } else {
        use_alsa_config(dir_, alsa_config(c.config));
    }
    LogCapture capture;
    // A first thread may start helper threads of the runtime (ThreadSanitizer
    // does); what is counted is what a failed open leaves behind.
    std::thread([] {}).join();
    const int threads = thread_count();
    zarn_audio_render* render = nullptr;
    const int32_t result = zarn_audio_render_create(&render, c.channels, 44100);
    const int threads_after = thread_count();
    capture.stop();

    EXPECT_EQ(result, ZARN_AUDIO_RENDER_ERROR_OPEN);
    EXPECT_EQ(render, nullptr);
    EXPECT_EQ(threads_after, threads);
    const std::vector<std::string> lines = lines_starting(capture.err(), "Zarn ");
    ASSERT_EQ(lines.size(), 3u) << capture.err();
    EXPECT_EQ(lines[0].rfind(c.first_line, 0), 0u) << lines[0];
    EXPECT_EQ(lines[0].substr(lines[0].size() - 2), ").");
    EXPECT_EQ(lines[1], "Zarn error: zarn_audio_render_alsa_open() : Couldn't prepare thread.");
    EXPECT_EQ(lines[2], "Zarn error: zarn_audio_render_create() : Couldn't open audio render.");
    EXPECT_EQ(capture.out().find("Zarn "), std::string::npos) << capture.out();
    zarn_audio_render_free(render);
}

INSTANTIATE_TEST_SUITE_P(AudioRender, OpenFailure, testing::ValuesIn(OPEN_FAILURE_CASES),
                         [](const testing::TestParamInfo<OpenFailureCase>& info) { return info.param.name; });

}  // namespace
