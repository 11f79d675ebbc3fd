// The encoders of zarn_encode, checked by decoding what they make: Vorbis
// with Tremor in this same process (which fails if libvorbis's and Tremor's
// functions of the same names bind to each other) and VP8 with libvpx.
#include <gtest/gtest.h>

#include <cmath>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>

#include "tone_analysis.h"
#include "zarn_encode.h"
#include "zarn_encode_sanitizer.h"
#include "zarn_test_pattern.h"

ZARN_ENCODE_LEAK_SUPPRESSIONS

namespace {

struct vorbis_case {
    const char* name;
    int32_t channels;
    int32_t sample_rate;
};

void PrintTo(const vorbis_case& c, std::ostream* out) { *out << c.name; }

class VorbisEncodeTest : public testing::TestWithParam<vorbis_case> {};

std::vector<double> channel_tones(int32_t channels)
{
    std::vector<double> frequencies;
    for (int32_t c = 0; c < channels; ++c) {
        frequencies.push_back(zarn_test_tone_frequency(c, channels));
    }
    return frequencies;
}

TEST_P(VorbisEncodeTest, TremorDecodesEachChannelsToneAtFullLength)
{
    const vorbis_case& c = GetParam();
    const std::vector<double> tones = channel_tones(c.channels);
    const int64_t frames = c.sample_rate;  // one second
    const std::vector<int16_t> input = zarn_test_tones(tones, c.sample_rate, frames, 0.5);
    std::vector<uint8_t> ogg;
    std::string error;
    ASSERT_TRUE(zarn_vorbis_encode(input.data(), frames, c.channels, c.sample_rate, 0.3f, &ogg, &error)) << error;

    const decoded_audio decoded = decode_with_tremor(ogg);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.channels, c.channels);
    EXPECT_EQ(decoded.sample_rate, c.sample_rate);
    ASSERT_EQ(decoded.frames(), frames);

    // The encoder codes the low-frequency channel of 6 to 8 channel tracks
    // coarsely: it is held to carrying its tone only.
    const auto is_lfe = [&](int32_t channel) { return c.channels >= 6 && channel == c.channels - 1; };
    double error_energy = 0;
    size_t compared = 0;
    for (size_t i = 0; i < input.size(); ++i) {
        if (!is_lfe(static_cast<int32_t>(i % static_cast<size_t>(c.channels)))) {
            const double difference = (decoded.samples[i] - input[i]) / 32767.0;
            error_energy += difference * difference;
            ++compared;
        }
    }
    EXPECT_LT(std::sqrt(error_energy / static_cast<double>(compared)), 0.02);
    for (int32_t channel = 0; channel < c.channels; ++channel) {
        for (int32_t other = 0; other < c.channels; ++other) {
            const double amplitude =
                tone_amplitude(decoded.samples, c.channels, channel, c.sample_rate, tones[static_cast<size_t>(other)]);
            if (other == channel) {
                EXPECT_NEAR(amplitude, 0.5, is_lfe(channel) ? 0.2 : 0.03) << "channel " << channel;
            } else {
                EXPECT_LT(amplitude, 0.02) << "channel " << channel << " carries the tone of " << other;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, VorbisEncodeTest,
                         testing::Values(vorbis_case{"mono_22050", 1, 22050}, vorbis_case{"stereo_44100", 2, 44100},
                                         vorbis_case{"six_channel_48000", 6, 48000}),
                         [](const testing::TestParamInfo<vorbis_case>& info) { return std::string(info.param.name); });

TEST(VorbisEncode, SameInputGivesSameBytesWithFixedSerialAndEndOfStream)
{
    const std::vector<int16_t> input = zarn_test_tones({440.0, 660.0}, 44100, 22050, 0.5);
    std::vector<uint8_t> first;
    std::vector<uint8_t> second;
    ASSERT_TRUE(zarn_vorbis_encode(input.data(), 22050, 2, 44100, 0.3f, &first, nullptr));
    ASSERT_TRUE(zarn_vorbis_encode(input.data(), 22050, 2, 44100, 0.3f, &second, nullptr));
    EXPECT_EQ(first, second);

    ASSERT_GT(first.size(), 27u);
    ASSERT_EQ(memcmp(first.data(), "OggS", 4), 0);
    uint32_t serial = 0;
    memcpy(&serial, first.data() + 14, 4);
    EXPECT_EQ(serial, static_cast<uint32_t>(ZARN_VORBIS_SERIAL));
    // Walk the pages: the last one, and only it, ends the stream.
    size_t at = 0;
    int end_pages = 0;
    bool last_ends = false;
    while (at + 27 <= first.size()) {
        ASSERT_EQ(memcmp(first.data() + at, "OggS", 4), 0) << "page at " << at;
        const uint8_t segments = first[at + 26];
        size_t body = 0;
        for (uint8_t s = 0; s < segments; ++s) {
            body += first[at + 27 + s];
        }
        last_ends = (first[at + 5] & 4) != 0;
        end_pages += last_ends ? 1 : 0;
        at += 27 + segments + body;
    }
    EXPECT_EQ(at, first.size());
    EXPECT_EQ(end_pages, 1);
    EXPECT_TRUE(last_ends);
}

TEST(VorbisEncode, NoSamplesGiveAValidEmptyStream)
{
    std::vector<uint8_t> ogg;
    ASSERT_TRUE(zarn_vorbis_encode(nullptr, 0, 2, 44100, 0.3f, &ogg, nullptr));
    const decoded_audio decoded = decode_with_tremor(ogg);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.channels, 2);
    EXPECT_EQ(decoded.frames(), 0);
}

TEST(VorbisEncode, RefusesImpossibleSettings)
{
    const struct {
        const char* name;
        int32_t channels;
        int32_t sample_rate;
        float quality;
    } cases[] = {
        {"no channels", 0, 44100, 0.3f},
        {"256 channels", 256, 44100, 0.3f},
        {"no sample rate", 2, 0, 0.3f},
        {"quality above 1", 2, 44100, 1.5f},
        {"quality below -0.1", 2, 44100, -0.5f},
    };
    const std::vector<int16_t> input(1024 * 2, 0);
    for (const auto& c : cases) {
        std::vector<uint8_t> ogg;
        std::string error;
        EXPECT_FALSE(zarn_vorbis_encode(input.data(), 1024, c.channels, c.sample_rate, c.quality, &ogg, &error))
            << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
}

struct vp8_case {
    const char* name;
    int32_t width;
    int32_t height;
    int32_t key_frame_interval;
    int32_t frames;
};

void PrintTo(const vp8_case& c, std::ostream* out) { *out << c.name; }

class Vp8EncodeTest : public testing::TestWithParam<vp8_case> {};

// Peak signal-to-noise ratio of the luma plane, in dB.
double luma_psnr(const zarn_test_picture& original, const vpx_image_t* image)
{
    double energy = 0;
    for (int32_t row = 0; row < original.height; ++row) {
        for (int32_t col = 0; col < original.width; ++col) {
            const double a = original.planes[static_cast<size_t>(row) * original.width + col];
            const double b = image->planes[VPX_PLANE_Y][row * image->stride[VPX_PLANE_Y] + col];
            energy += (a - b) * (a - b);
        }
    }
    const double mse = energy / (static_cast<double>(original.width) * original.height);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

TEST_P(Vp8EncodeTest, OnePacketPerFrameKeyFramesWhereAskedAndDecodable)
{
    const vp8_case& c = GetParam();
    zarn_vp8_settings settings;
    settings.width = c.width;
    settings.height = c.height;
    settings.target_kbps = 300;
    settings.key_frame_interval = c.key_frame_interval;
    zarn_vp8_encoder* encoder = nullptr;
    std::string error;
    ASSERT_TRUE(zarn_vp8_encoder_create(&encoder, settings, &error)) << error;

    std::vector<zarn_test_picture> pictures(static_cast<size_t>(c.frames));
    std::vector<zarn_vp8_packet> packets;
    for (int32_t i = 0; i < c.frames; ++i) {
        zarn_test_picture& picture = pictures[static_cast<size_t>(i)];
        zarn_test_card(&picture, c.width, c.height, i);
        ASSERT_TRUE(zarn_vp8_encoder_encode(encoder, picture.y(), c.width, picture.u(), picture.chroma_width(),
                                            picture.v(), picture.chroma_width(), &packets, &error))
            << error;
        EXPECT_EQ(packets.size(), static_cast<size_t>(i + 1)) << "frame " << i << " did not come out at once";
    }
    ASSERT_TRUE(zarn_vp8_encoder_finish(encoder, &packets, &error)) << error;
    zarn_vp8_encoder_free(encoder);
    ASSERT_EQ(packets.size(), static_cast<size_t>(c.frames));

    vpx_codec_ctx_t decoder;
    ASSERT_EQ(vpx_codec_dec_init(&decoder, vpx_codec_vp8_dx(), nullptr, 0), VPX_CODEC_OK);
    for (int32_t i = 0; i < c.frames; ++i) {
        const zarn_vp8_packet& packet = packets[static_cast<size_t>(i)];
        EXPECT_EQ(packet.frame_index, i);
        const bool key_expected = i % c.key_frame_interval == 0;
        EXPECT_EQ(packet.key_frame, key_expected) << "frame " << i;
        // Bit 0 of a VP8 frame tag is clear on key frames.
        ASSERT_FALSE(packet.data.empty());
        EXPECT_EQ((packet.data[0] & 1) == 0, key_expected) << "frame " << i << " as the bitstream says";

        ASSERT_EQ(vpx_codec_decode(&decoder, packet.data.data(), static_cast<unsigned int>(packet.data.size()),
                                   nullptr, 0),
                  VPX_CODEC_OK);
        vpx_codec_iter_t iter = nullptr;
        const vpx_image_t* image = vpx_codec_get_frame(&decoder, &iter);
        ASSERT_NE(image, nullptr) << "frame " << i;
        EXPECT_EQ(image->d_w, static_cast<unsigned int>(c.width));
        EXPECT_EQ(image->d_h, static_cast<unsigned int>(c.height));
        EXPECT_GT(luma_psnr(pictures[static_cast<size_t>(i)], image), 28.0) << "frame " << i;
    }
    vpx_codec_destroy(&decoder);
}

INSTANTIATE_TEST_SUITE_P(Shapes, Vp8EncodeTest,
                         testing::Values(vp8_case{"even_size_every_10th", 64, 48, 10, 25},
                                         vp8_case{"odd_size_every_3rd", 65, 49, 3, 10},
                                         vp8_case{"key_frames_only", 64, 48, 1, 5},
                                         vp8_case{"one_pixel", 1, 1, 10, 3}),
                         [](const testing::TestParamInfo<vp8_case>& info) { return std::string(info.param.name); });

TEST(Vp8Encode, SameInputGivesSameBytes)
{
    std::vector<std::vector<uint8_t>> runs[2];
    for (auto& run : runs) {
        zarn_vp8_settings settings;
        settings.width = 64;
        settings.height = 48;
        settings.frame_rate_numerator = 1;  // long frames: the mode that follows the clock must not be used
        zarn_vp8_encoder* encoder = nullptr;
        ASSERT_TRUE(zarn_vp8_encoder_create(&encoder, settings, nullptr));
        std::vector<zarn_vp8_packet> packets;
        zarn_test_picture picture;
        for (int i = 0; i < 12; ++i) {
            zarn_test_card(&picture, 64, 48, i);
            ASSERT_TRUE(zarn_vp8_encoder_encode(encoder, picture.y(), 64, picture.u(), 32, picture.v(), 32, &packets,
                                                nullptr));
        }
        ASSERT_TRUE(zarn_vp8_encoder_finish(encoder, &packets, nullptr));
        zarn_vp8_encoder_free(encoder);
        for (const zarn_vp8_packet& packet : packets) {
            run.push_back(packet.data);
        }
    }
    EXPECT_EQ(runs[0], runs[1]);
}

TEST(Vp8Encode, RefusesImpossibleSettings)
{
    const struct {
        const char* name;
        zarn_vp8_settings settings;
    } cases[] = {
        {"zero width", {0, 48, 25, 1, 500, 10}},
        {"too high", {64, 16384, 25, 1, 500, 10}},
        {"zero frame rate", {64, 48, 0, 1, 500, 10}},
        {"negative denominator", {64, 48, 25, -1, 500, 10}},
        {"no bit rate", {64, 48, 25, 1, 0, 10}},
        {"no key frame interval", {64, 48, 25, 1, 500, 0}},
    };
    for (const auto& c : cases) {
        zarn_vp8_encoder* encoder = nullptr;
        std::string error;
        EXPECT_FALSE(zarn_vp8_encoder_create(&encoder, c.settings, &error)) << c.name;
        EXPECT_EQ(encoder, nullptr) << c.name;
        EXPECT_FALSE(error.empty()) << c.name;
    }
}

}  // namespace
