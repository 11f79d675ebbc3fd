// zrn decode is exact: every picture it writes equals what libvpx decodes
// directly from the movie's VP8 frames, and every sample equals what Tremor
// decodes directly from the track's Ogg stream, in WAV channel order and
// with the stream's exact length.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>
#include <vector>
#include <vpx/vp8cx.h>
#include <vpx/vpx_encoder.h>

#include "writer/zarn_writer.h"
#include "zrn_test_support.h"

namespace {

void expect_same_pictures(const std::vector<yuv_picture>& written, const std::vector<yuv_picture>& expected)
{
    ASSERT_EQ(written.size(), expected.size());
    for (size_t i = 0; i < written.size(); ++i) {
        ASSERT_EQ(written[i].width, expected[i].width) << "picture " << i;
        ASSERT_EQ(written[i].height, expected[i].height) << "picture " << i;
        for (int plane = 0; plane < 3; ++plane) {
            ASSERT_EQ(written[i].planes[plane], expected[i].planes[plane]) << "picture " << i << " plane " << plane;
        }
    }
}

struct video_case {
    const char* movie;
    int pictures;
    const char* header;  // the Y4M stream header
};

void PrintTo(const video_case& c, std::ostream* out)
{
    *out << c.movie;
}

const video_case video_cases[] = {
    {"video_64x48", 50, "YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C420jpeg"},
    // Odd sizes: chroma planes of 33x25, their last column and row included.
    {"video_65x49", 25, "YUV4MPEG2 W65 H49 F25:1 Ip A1:1 C420jpeg"},
    {"keyframes_only", 10, "YUV4MPEG2 W64 H48 F1:1 Ip A1:1 C420jpeg"},
    {"keyint10s", 12, "YUV4MPEG2 W64 H48 F1:1 Ip A1:1 C420jpeg"},
    {"two_audio", 50, "YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C420jpeg"},
    {"ntsc", 30, "YUV4MPEG2 W64 H48 F30000:1001 Ip A1:1 C420jpeg"},
};

class DecodeVideo : public ::testing::TestWithParam<video_case> {};

TEST_P(DecodeVideo, EveryPictureEqualsLibvpxsOwn)
{
    const video_case& c = GetParam();
    const std::string movie = test_movie(c.movie);
    scratch_dir dir;
    const std::string out = dir.path("out.y4m");
    const zrn_run run = run_zrn({"decode", movie, "--video", out});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");

    y4m_stream written;
    ASSERT_TRUE(parse_y4m(read_file(out), &written));
    EXPECT_EQ(written.header, c.header);
    EXPECT_EQ(written.pictures.size(), static_cast<size_t>(c.pictures));
    reference_movie reference;
    ASSERT_TRUE(read_reference_movie(movie, &reference));
    expect_same_pictures(written.pictures, vpx_decode_packets(reference));
}

INSTANTIATE_TEST_SUITE_P(Movies, DecodeVideo, ::testing::ValuesIn(video_cases),
                         [](const auto& info) { return std::string(info.param.movie); });

struct audio_case {
    const char* name;
    const char* movie;
    int track;
    int channels;
    int sample_rate;
    uint16_t format_tag;
    uint32_t channel_mask;
    std::vector<int> vorbis_channel;  // for each WAV channel, the Vorbis channel it carries
};

void PrintTo(const audio_case& c, std::ostream* out)
{
    *out << c.name;
}

const audio_case audio_cases[] = {
    {"mono", "mono", 0, 1, 22050, 1, 0, {0}},
    {"stereo", "stereo", 0, 2, 44100, 1, 0, {0, 1}},
    // Vorbis: FL C FR BL BR LFE; WAV: FL FR C LFE BL BR.
    {"six_channel", "six_channel", 0, 6, 48000, 0xFFFE, 0x3F, {0, 2, 1, 5, 3, 4}},
    {"second_track", "two_audio", 1, 1, 22050, 1, 0, {0}},
    {"first_of_two", "two_audio", 0, 2, 44100, 1, 0, {0, 1}},
};

class DecodeAudio : public ::testing::TestWithParam<audio_case> {};

TEST_P(DecodeAudio, EverySampleEqualsTremorsOwn)
{
    const audio_case& c = GetParam();
    scratch_dir dir;
    const std::string out = dir.path("out.wav");
    std::vector<std::string> args = {"decode", test_movie(c.movie), "--audio", out};
    if (c.track != 0) {
        args.insert(args.end(), {"--audio-track", std::to_string(c.track)});
    }
    const zrn_run run = run_zrn(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");

    wav_file wav;
    ASSERT_TRUE(parse_wav(read_file(out), &wav));
    EXPECT_EQ(wav.format_tag, c.format_tag);
    EXPECT_EQ(wav.channels, c.channels);
    EXPECT_EQ(wav.sample_rate, c.sample_rate);
    EXPECT_EQ(wav.bits, 16);
    if (c.format_tag == 0xFFFE) {
        EXPECT_EQ(wav.channel_mask, c.channel_mask);
        const uint8_t pcm[16] = {1, 0, 0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
        EXPECT_EQ(wav.sub_format, std::string(reinterpret_cast<const char*>(pcm), sizeof(pcm)));
    }

    int channels = 0;
    int sample_rate = 0;
    std::vector<int16_t> expected;
    ASSERT_TRUE(tremor_decode(test_movie_ogg(c.movie, c.track), &channels, &sample_rate, &expected));
    ASSERT_EQ(channels, c.channels);
    EXPECT_EQ(sample_rate, c.sample_rate);
    // The exact length: two seconds of tone, nothing padded after it.
    ASSERT_EQ(wav.samples.size(), expected.size());
    EXPECT_EQ(expected.size(), static_cast<size_t>(2 * c.sample_rate * c.channels));
    const size_t frames = expected.size() / static_cast<size_t>(channels);
    for (size_t frame = 0; frame < frames; ++frame) {
        for (int ch = 0; ch < channels; ++ch) {
            const int16_t got = wav.samples[frame * channels + ch];
            const int16_t want = expected[frame * channels + c.vorbis_channel[ch]];
            ASSERT_EQ(got, want) << "frame " << frame << " WAV channel " << ch;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Movies, DecodeAudio, ::testing::ValuesIn(audio_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeOutputs, DevNullAndStandardOutputWork)
{
    const std::string movie = test_movie("six_channel");
    const zrn_run timing = run_zrn({"decode", movie, "--video", "/dev/null", "--audio", "/dev/null"});
    EXPECT_EQ(timing.status, 0) << timing.err;
    EXPECT_EQ(timing.err, "");
    EXPECT_EQ(timing.out, "");

    scratch_dir dir;
    const zrn_run files = run_zrn({"decode", movie, "--video", dir.path("v.y4m"), "--audio", dir.path("a.wav")});
    ASSERT_EQ(files.status, 0) << files.err;
    const zrn_run video = run_zrn({"decode", movie, "--video", "-", "--audio", "/dev/null"});
    EXPECT_EQ(video.status, 0) << video.err;
    EXPECT_EQ(video.out, read_file(dir.path("v.y4m")));
    // A WAV to a pipe or device carries the exact sizes too, as the length
    // is known before the first sample.
    const zrn_run audio = run_zrn({"decode", movie, "--audio", "-"});
    EXPECT_EQ(audio.status, 0) << audio.err;
    EXPECT_EQ(audio.out, read_file(dir.path("a.wav")));
}

// A stream with frames that are not shown (alternate reference frames):
// those packets write no picture, and
// the pictures written are still libvpx's own.
TEST(DecodeHiddenFrames, PacketsWithoutAPictureWriteNothing)
{
    constexpr int width = 64;
    constexpr int height = 48;
    constexpr int frames = 40;
    struct packet {
        std::vector<uint8_t> data;
        bool key;
        bool hidden;
    };
    // libvpx places alternate reference frames only when it encodes in two
    // passes, with look-ahead.
    std::vector<packet> packets;
    std::vector<uint8_t> stats;
    for (const vpx_enc_pass pass : {VPX_RC_FIRST_PASS, VPX_RC_LAST_PASS}) {
        vpx_codec_enc_cfg_t config;
        ASSERT_EQ(vpx_codec_enc_config_default(vpx_codec_vp8_cx(), &config, 0), VPX_CODEC_OK);
        config.g_w = width;
        config.g_h = height;
        config.g_timebase = {1, 25};
        config.g_threads = 1;
        config.g_lag_in_frames = 16;
        config.g_pass = pass;
        config.rc_target_bitrate = 300;
        config.kf_mode = VPX_KF_DISABLED;
        if (pass == VPX_RC_LAST_PASS) {
            config.rc_twopass_stats_in = {stats.data(), stats.size()};
        }
        vpx_codec_ctx_t encoder;
        ASSERT_EQ(vpx_codec_enc_init(&encoder, vpx_codec_vp8_cx(), &config, 0), VPX_CODEC_OK);
        ASSERT_EQ(vpx_codec_control(&encoder, VP8E_SET_ENABLEAUTOALTREF, 1), VPX_CODEC_OK);
        vpx_image_t image;
        ASSERT_NE(vpx_img_alloc(&image, VPX_IMG_FMT_I420, width, height, 1), nullptr);
        for (int f = 0; f <= frames; ++f) {
            for (int plane = 0; plane < 3 && f < frames; ++plane) {
                const int w = plane == 0 ? width : width / 2;
                const int h = plane == 0 ? height : height / 2;
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        image.planes[plane][y * image.stride[plane] + x] =
                            static_cast<uint8_t>(plane == 0 ? ((x * 3 + y * 2 + f * 5) ^ (x * y)) : 128);
                    }
                }
            }
            // The last round flushes the look-ahead.
            ASSERT_EQ(vpx_codec_encode(&encoder, f < frames ? &image : nullptr, f, 1, 0, VPX_DL_GOOD_QUALITY),
                      VPX_CODEC_OK);
            vpx_codec_iter_t iterator = nullptr;
            while (const vpx_codec_cx_pkt_t* out = vpx_codec_get_cx_data(&encoder, &iterator)) {
                if (out->kind == VPX_CODEC_STATS_PKT) {
                    const uint8_t* bytes = static_cast<const uint8_t*>(out->data.twopass_stats.buf);
                    stats.insert(stats.end(), bytes, bytes + out->data.twopass_stats.sz);
                } else if (out->kind == VPX_CODEC_CX_FRAME_PKT && pass == VPX_RC_LAST_PASS) {
                    const uint8_t* bytes = static_cast<const uint8_t*>(out->data.frame.buf);
                    packets.push_back({std::vector<uint8_t>(bytes, bytes + out->data.frame.sz),
                                       (out->data.frame.flags & VPX_FRAME_IS_KEY) != 0,
                                       (out->data.frame.flags & VPX_FRAME_IS_INVISIBLE) != 0});
                }
            }
        }
        vpx_img_free(&image);
        vpx_codec_destroy(&encoder);
    }
    size_t hidden = 0;
    for (const packet& p : packets) {
        hidden += p.hidden ? 1 : 0;
    }
    ASSERT_GT(hidden, 0u) << "libvpx made no hidden frame; the case is not exercised";
    ASSERT_TRUE(packets.front().key);

    scratch_dir dir;
    const std::string movie = dir.path("hidden.zrn");
    zarn_writer_movie description;
    description.width = width;
    description.height = height;
    description.frame_rate_numerator = 25;
    description.frame_rate_denominator = 1;
    description.video_name = "Video";
    zarn_writer writer;
    ASSERT_TRUE(zarn_writer_begin(&writer, movie.c_str(), description));
    for (size_t i = 0; i < packets.size(); ++i) {
        ASSERT_TRUE(zarn_writer_add_packet(&writer, static_cast<int64_t>(i) * 400000, packets[i].key,
                                           packets[i].data.data(), static_cast<uint32_t>(packets[i].data.size())));
    }
    ASSERT_TRUE(zarn_writer_finish(&writer));

    const zrn_run run = run_zrn({"decode", movie, "--video", dir.path("out.y4m")});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    y4m_stream written;
    ASSERT_TRUE(parse_y4m(read_file(dir.path("out.y4m")), &written));
    EXPECT_EQ(written.pictures.size(), packets.size() - hidden);
    reference_movie reference;
    ASSERT_TRUE(read_reference_movie(movie, &reference));
    expect_same_pictures(written.pictures, vpx_decode_packets(reference));
}

}  // namespace
