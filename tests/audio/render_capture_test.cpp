// What the render writes to the device, recorded by ALSA's file plugin.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "audio_test_support.h"
#include "decoder/zarn_audio_render_alsa.h"
#include "zarn_results.h"

namespace {

using namespace audio_test;
using namespace std::chrono_literals;

const std::string PRIME_UNDERRUN =
    "Zarn warning: zarn_audio_render_alsa_command_prime() : Couldn't pop audio block from circular buffer.";
const std::string POP_EMPTY = "Zarn error: zarn_circular_buffer_pop_front() : No item to pop.";

class RenderCapture : public testing::Test {
protected:
    void SetUp() override { use_capture_device(dir_, capture_path()); }
    std::string capture_path() const { return dir_.file("capture.raw"); }
    std::vector<uint8_t> captured() const { return read_file(capture_path()); }
    TempDir dir_;
};

TEST_F(RenderCapture, FreshRenderPlaysNothing)
{
    {
        Render render(2, 44100);
        ASSERT_EQ(render.create_result(), ZARN_OK);
        for (int i = 0; i < 5; ++i) {
            ASSERT_EQ(render.write(pattern_block(i)), ZARN_OK);
        }
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_TRUE(captured().empty());
}

// The decoder's pattern: fill the queue, prime, play, and keep it topped up.
// With the null device behind it the running device never waits, so the
// empty queue is bridged with silence; every block written must still reach
// the device once, whole and in order.
TEST_F(RenderCapture, BlocksReachTheDeviceInOrderAndUnchanged)
{
    constexpr int BLOCKS = 96;
    std::string out;
    {
        LogCapture capture;
        Render render(2, 44100);
        ASSERT_EQ(render.create_result(), ZARN_OK);
        int next = 0;
        while (render.can_write()) {
            ASSERT_EQ(render.write(pattern_block(next++)), ZARN_OK);
        }
        ASSERT_EQ(render.prime(), ZARN_OK);
        ASSERT_EQ(render.play(), ZARN_OK);
        while (next < BLOCKS) {
            if (render.can_write()) {
                ASSERT_EQ(render.write(pattern_block(next++)), ZARN_OK);
            }
        }
        ASSERT_TRUE(wait_until([&] { return render.queued() == 0; }, 5000ms));
        ASSERT_EQ(render.stop(), ZARN_OK);
        render.free();
        capture.stop();
    }

    const std::vector<uint8_t> data = captured();
    ASSERT_EQ(data.size() % ZARN_AUDIO_BLOCK_SIZE, 0u);
    std::vector<Block> received;
    for (size_t at = 0; at < data.size(); at += ZARN_AUDIO_BLOCK_SIZE) {
        if (!all_zero(data.data() + at, ZARN_AUDIO_BLOCK_SIZE)) {
            Block block;
            std::copy_n(data.begin() + at, ZARN_AUDIO_BLOCK_SIZE, block.begin());
            received.push_back(block);
        }
    }
    ASSERT_EQ(received.size(), static_cast<size_t>(BLOCKS));
    for (int i = 0; i < BLOCKS; ++i) {
        EXPECT_EQ(received[i], pattern_block(i)) << "block " << i;
    }
}

struct FramesCase {
    int32_t channels;
    int32_t frames;
};

void PrintTo(const FramesCase& c, std::ostream* os)
{
    *os << c.channels << " channels";
}

class FramesPerWrite : public RenderCapture, public testing::WithParamInterface<FramesCase> {};

// PRIME with one queued block sends it and three blocks of silence, each
// missing block with its warning; every write is one block's whole frames,
// in ALSA's channel order.
TEST_P(FramesPerWrite, PrimeSendsFourWritesOfOneBlocksFrames)
{
    const FramesCase c = GetParam();
    const Block block = pattern_block(7);
    std::string out;
    std::string err;
    {
        LogCapture capture;
        Render render(c.channels, 48000);
        ASSERT_EQ(render.create_result(), ZARN_OK);
        ASSERT_EQ(render.write(block), ZARN_OK);
        ASSERT_EQ(render.prime(), ZARN_OK);
        EXPECT_EQ(render.queued(), 0);
        render.free();
        capture.stop();
        out = capture.out();
        err = capture.err();
    }
    EXPECT_EQ(count_lines(out, PRIME_UNDERRUN), 3);
    EXPECT_EQ(count_lines(err, POP_EMPTY), 3);

    const size_t write_bytes = static_cast<size_t>(c.frames) * 2 * c.channels;
    EXPECT_EQ(zarn_audio_render_alsa_frames_per_block(c.channels), c.frames);
    const std::vector<uint8_t> data = captured();
    ASSERT_EQ(data.size(), 4 * write_bytes);
    Block expected = block;
    zarn_audio_render_alsa_reorder_block(expected.data(), c.channels);
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + write_bytes, expected.begin()));
    EXPECT_TRUE(all_zero(data.data() + write_bytes, 3 * write_bytes));
}

INSTANTIATE_TEST_SUITE_P(AudioRender, FramesPerWrite,
                         testing::Values(FramesCase{1, 2048}, FramesCase{2, 1024}, FramesCase{3, 682},
                                         FramesCase{6, 341}),
                         [](const testing::TestParamInfo<FramesCase>& info) {
                             return std::to_string(info.param.channels) + "_channels";
                         });

TEST_F(RenderCapture, PrimeOnAStoppedDevicePreparesItAndFillsWithSilence)
{
    std::string out;
    std::string err;
    int32_t prime_result = 0;
    {
        LogCapture capture;
        Render render(2, 44100);
        ASSERT_EQ(render.create_result(), ZARN_OK);
        ASSERT_EQ(render.stop(), ZARN_OK);
        ASSERT_EQ(render.write(pattern_block(1)), ZARN_OK);
        ASSERT_EQ(render.write(pattern_block(2)), ZARN_OK);
        prime_result = render.prime();
        // Prepared again: PAUSE refuses (not running), and nothing more is
        // written until PLAY.
        EXPECT_EQ(render.pause(), ZARN_ALSA_ERROR_PAUSE_NOT_RUNNING);
        render.free();
        capture.stop();
        out = capture.out();
        err = capture.err();
    }
    EXPECT_EQ(prime_result, ZARN_OK);
    EXPECT_EQ(count_lines(out, "Zarn info: zarn_audio_render_alsa_command_prime() : Device is not prepared so "
                               "attempting to prepare."),
              1);
    EXPECT_EQ(count_lines(out, PRIME_UNDERRUN), 2);
    EXPECT_EQ(count_lines(err, POP_EMPTY), 2);

    const std::vector<uint8_t> data = captured();
    ASSERT_EQ(data.size(), 4u * ZARN_AUDIO_BLOCK_SIZE);
    const Block first = pattern_block(1);
    const Block second = pattern_block(2);
    EXPECT_TRUE(std::equal(first.begin(), first.end(), data.begin()));
    EXPECT_TRUE(std::equal(second.begin(), second.end(), data.begin() + ZARN_AUDIO_BLOCK_SIZE));
    EXPECT_TRUE(all_zero(data.data() + 2 * ZARN_AUDIO_BLOCK_SIZE, 2 * ZARN_AUDIO_BLOCK_SIZE));
}

}  // namespace
