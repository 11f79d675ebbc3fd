// The render on a device that plays at real speed (the tests' own plugin),
// with what is written recorded by the file plugin in front of it.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "audio_test_support.h"
#include "decoder/zarn_audio_render_alsa.h"
#include "zarn_results.h"

namespace {

using namespace audio_test;
using namespace std::chrono_literals;

const std::string STALL_WARNING = "Zarn warning: zarn_audio_render_alsa_thread_func() : Couldn't pop audio block "
                                  "from circular buffer. Expect a stall!";
const std::string PRIME_UNDERRUN =
    "Zarn warning: zarn_audio_render_alsa_command_prime() : Couldn't pop audio block from circular buffer.";
const std::string POP_EMPTY = "Zarn error: zarn_circular_buffer_pop_front() : No item to pop.";
const std::string RECOVER_PREFIX = "Zarn warning: zarn_audio_render_alsa_thread_func() : Couldn't write ";
const std::string RECOVER_SUFFIX = " frames. Trying to recover...";
const std::string WRITE_FAILED = "Zarn error: zarn_audio_render_alsa_thread_func() : Couldn't write frames (";

class RenderOnPacedDevice : public testing::Test {
protected:
    void SetUp() override { use_paced_device(dir_, capture_path(), stall_path(), 800); }
    std::string capture_path() const { return dir_.file("capture.raw"); }
    std::string stall_path() const { return dir_.file("stall"); }
    TempDir dir_;
};

// The blocks of a capture that are not silence, in order.
std::vector<Block> sounding_blocks(const std::vector<uint8_t>& data)
{
    std::vector<Block> blocks;
    for (size_t at = 0; at + ZARN_AUDIO_BLOCK_SIZE <= data.size(); at += ZARN_AUDIO_BLOCK_SIZE) {
        if (!all_zero(data.data() + at, ZARN_AUDIO_BLOCK_SIZE)) {
            Block block;
            std::copy_n(data.begin() + at, ZARN_AUDIO_BLOCK_SIZE, block.begin());
            blocks.push_back(block);
        }
    }
    return blocks;
}

// While the device runs on an empty queue, each turn of the device loop logs
// the queue's error and the render's warning and writes one block of silence;
// the device keeps running.
TEST_F(RenderOnPacedDevice, EmptyQueueWhileRunningPlaysSilenceWithTheTwoLines)
{
    std::string out;
    std::string err;
    int32_t pause_result = 0;
    {
        LogCapture capture;
        Render render(2, 48000);
        ASSERT_EQ(render.create_result(), ZARN_OK);
        ASSERT_EQ(render.prime(), ZARN_OK);
        ASSERT_EQ(render.play(), ZARN_OK);
        std::this_thread::sleep_for(300ms);
        pause_result = render.pause();
        capture.stop();
        out = capture.out();
        err = capture.err();
    }
    EXPECT_EQ(pause_result, ZARN_OK) << "the device stopped running";
    const int silent_blocks = count_lines(out, STALL_WARNING);
    EXPECT_GE(silent_blocks, 5);
    EXPECT_EQ(count_lines(out, PRIME_UNDERRUN), ZARN_ALSA_PRIME_BLOCKS);
    EXPECT_EQ(count_lines(err, POP_EMPTY), silent_blocks + ZARN_ALSA_PRIME_BLOCKS);
    // Silence keeps the device fed: no underrun, no recovery.
    EXPECT_EQ(out.find(RECOVER_PREFIX), std::string::npos);

    const std::vector<uint8_t> data = read_file(capture_path());
    EXPECT_EQ(data.size(), static_cast<size_t>(silent_blocks + ZARN_ALSA_PRIME_BLOCKS) * ZARN_AUDIO_BLOCK_SIZE);
    EXPECT_TRUE(all_zero(data.data(), data.size()));
}

// A writer that misses its turn by longer than the device's buffer lasts
// makes the device underrun. The recovery prepares it again; the render then
// starts it again, so the rest of the queue is played, and no block is lost.
TEST_F(RenderOnPacedDevice, UnderrunRecoveryStartsTheDeviceAgain)
{
    constexpr int BLOCKS = ZARN_ALSA_QUEUE_CAPACITY;
    std::string out;
    std::string err;
    bool recovered = false;
    bool drained = false;
    int32_t pause_result = 0;
    int32_t resume_result = 0;
    {
        LogCapture capture;
        Render render(2, 48000);
        ASSERT_EQ(render.create_result(), ZARN_OK);
        for (int i = 0; i < BLOCKS; ++i) {
            ASSERT_EQ(render.write(pattern_block(i)), ZARN_OK);
        }
        ASSERT_EQ(render.prime(), ZARN_OK);
        ASSERT_EQ(render.play(), ZARN_OK);
        std::ofstream(stall_path()) << "stall";
        recovered = capture.wait_for_out(RECOVER_SUFFIX, 5000ms);
        drained = wait_until([&] { return render.queued() == 0; }, 5000ms);
        pause_result = render.pause();
        resume_result = render.play();
        render.stop();
        render.free();
        capture.stop();
        out = capture.out();
        err = capture.err();
    }
    ASSERT_TRUE(recovered) << "no underrun";
    // One underrun; a busy machine may add another right after the restart,
    // which is recovered the same way.
    const std::vector<std::string> warnings = lines_starting(out, RECOVER_PREFIX);
    ASSERT_GE(warnings.size(), 1u);
    for (const std::string& warning : warnings) {
        EXPECT_EQ(warning.substr(warning.size() - RECOVER_SUFFIX.size()), RECOVER_SUFFIX);
    }
    EXPECT_EQ(err.find(WRITE_FAILED), std::string::npos) << err;
    EXPECT_TRUE(drained) << "the device stayed silent after the recovery";
    EXPECT_EQ(pause_result, ZARN_OK) << "the device is not running after the recovery";
    EXPECT_EQ(resume_result, ZARN_OK);

    const std::vector<Block> blocks = sounding_blocks(read_file(capture_path()));
    ASSERT_EQ(blocks.size(), static_cast<size_t>(BLOCKS));
    for (int i = 0; i < BLOCKS; ++i) {
        EXPECT_EQ(blocks[i], pattern_block(i)) << "block " << i;
    }
}

}  // namespace
