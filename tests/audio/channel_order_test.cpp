// Blocks arrive in Vorbis channel order and leave the render in ALSA's.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "audio_test_support.h"
#include "decoder/zarn_audio_render_alsa.h"

namespace {

using audio_test::Block;

struct OrderCase {
    const char* name;
    int32_t channels;
    std::vector<std::string> vorbis;  // speaker of each channel as Vorbis orders them
    std::vector<std::string> alsa;    // speaker of each channel as ALSA expects them
};

const OrderCase ORDER_CASES[] = {
    {"mono_unchanged", 1, {"M"}, {"M"}},
    {"stereo_unchanged", 2, {"FL", "FR"}, {"FL", "FR"}},
    {"three_channels_centre_after_the_fronts", 3, {"FL", "FC", "FR"}, {"FL", "FR", "FC"}},
    {"quad_unchanged", 4, {"FL", "FR", "RL", "RR"}, {"FL", "FR", "RL", "RR"}},
    {"five_channels", 5, {"FL", "FC", "FR", "RL", "RR"}, {"FL", "FR", "RL", "RR", "FC"}},
    {"five_one", 6, {"FL", "FC", "FR", "RL", "RR", "LFE"}, {"FL", "FR", "RL", "RR", "FC", "LFE"}},
    {"six_one", 7, {"FL", "FC", "FR", "SL", "SR", "RC", "LFE"}, {"FL", "FR", "FC", "LFE", "SL", "SR", "RC"}},
    {"seven_one", 8, {"FL", "FC", "FR", "SL", "SR", "RL", "RR", "LFE"},
     {"FL", "FR", "RL", "RR", "FC", "LFE", "SL", "SR"}},
    {"nine_channels_have_no_layout_and_stay", 9, {"0", "1", "2", "3", "4", "5", "6", "7", "8"},
     {"0", "1", "2", "3", "4", "5", "6", "7", "8"}},
};

void PrintTo(const OrderCase& c, std::ostream* os)
{
    *os << c.name;
}

class ChannelOrder : public testing::TestWithParam<OrderCase> {};

// Every sample of frame f, channel c holds f * 16 + c + 1; after the reorder,
// slot s of every whole frame must hold the Vorbis channel of ALSA's speaker
// s, and the bytes after the last whole frame must be left alone.
TEST_P(ChannelOrder, ReordersWholeFramesAndKeepsTheTail)
{
    const OrderCase& c = GetParam();
    const int32_t frames = zarn_audio_render_alsa_frames_per_block(c.channels);
    const size_t frame_bytes = 2 * static_cast<size_t>(c.channels);
    Block block{};
    for (int32_t f = 0; f < frames; ++f) {
        for (int32_t ch = 0; ch < c.channels; ++ch) {
            const uint16_t value = static_cast<uint16_t>(f * 16 + ch + 1);
            memcpy(block.data() + f * frame_bytes + 2 * ch, &value, 2);
        }
    }
    const size_t tail_start = frames * frame_bytes;
    for (size_t i = tail_start; i < block.size(); ++i) {
        block[i] = 0xAB;
    }

    zarn_audio_render_alsa_reorder_block(block.data(), c.channels);

    for (int32_t f = 0; f < frames; ++f) {
        for (int32_t slot = 0; slot < c.channels; ++slot) {
            int32_t vorbis_channel = 0;
            while (c.vorbis[vorbis_channel] != c.alsa[slot]) {
                ++vorbis_channel;
            }
            uint16_t value = 0;
            memcpy(&value, block.data() + f * frame_bytes + 2 * slot, 2);
            ASSERT_EQ(value, f * 16 + vorbis_channel + 1) << "frame " << f << " slot " << slot << " (" << c.alsa[slot]
                                                          << ")";
        }
    }
    for (size_t i = tail_start; i < block.size(); ++i) {
        EXPECT_EQ(block[i], 0xAB) << "tail byte " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(AudioRender, ChannelOrder, testing::ValuesIn(ORDER_CASES),
                         [](const testing::TestParamInfo<OrderCase>& info) { return info.param.name; });

}  // namespace
