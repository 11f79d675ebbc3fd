// The video track: seeking through the key-frame index, decoding exactness
// against libvpx, the frame image layout, and refusal of broken streams.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>

#include "decoder/zarn_video_track.h"
#include "track_fixtures.h"
#include "zarn_results.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using namespace tracks;

namespace {

constexpr int64_t SECOND = ZARN_TIME_UNITS_PER_SECOND;

struct track_deleter {
    void operator()(zarn_video_track* track) const { zarn_video_track_free(track); }
};
using track_pointer = std::unique_ptr<zarn_video_track, track_deleter>;

track_pointer create_track(opened_movie& movie, int32_t* result = nullptr)
{
    zarn_video_track* track = nullptr;
    const int32_t code = zarn_video_track_create(&track, &movie.decoder.video_track_headers[0], movie.file,
                                                 movie.decoder.header.frame_blob_size);
    if (result != nullptr) {
        *result = code;
    }
    return track_pointer(track);
}

// Every shown picture of a movie, decoded straight with libvpx from the
// payloads an independent reader finds; an empty entry for a hidden frame.
std::vector<picture_samples> reference_pictures(const std::string& path, const movie_records& records)
{
    vpx_codec_ctx_t decoder;
    EXPECT_EQ(vpx_codec_dec_init(&decoder, vpx_codec_vp8_dx(), nullptr, 0), VPX_CODEC_OK);
    std::vector<picture_samples> pictures;
    for (size_t i = 0; i < records.packets.size(); ++i) {
        const std::vector<uint8_t> payload = read_payload(path, records, i);
        EXPECT_EQ(vpx_codec_decode(&decoder, payload.data(), static_cast<unsigned int>(payload.size()), nullptr, 0),
                  VPX_CODEC_OK);
        vpx_codec_iter_t iterator = nullptr;
        const vpx_image_t* picture = vpx_codec_get_frame(&decoder, &iterator);
        pictures.push_back(picture != nullptr
                               ? visible_samples(picture, records.header.width, records.header.height)
                               : picture_samples{});
    }
    vpx_codec_destroy(&decoder);
    return pictures;
}

// Overwrites the visible samples of `image` with the complement of
// `expected`, so that a sample the copy misses cannot match by chance.
void spoil_image(vpx_image_t* image, const picture_samples& expected, int32_t width, int32_t height)
{
    for (int plane = 0; plane < 3; ++plane) {
        const int32_t columns = plane == 0 ? width : (width + 1) / 2;
        const int32_t rows = plane == 0 ? height : (height + 1) / 2;
        for (int32_t y = 0; y < rows; ++y) {
            for (int32_t x = 0; x < columns; ++x) {
                image->planes[plane][y * image->stride[plane] + x] =
                    static_cast<uint8_t>(~expected.planes[plane][static_cast<size_t>(y * columns + x)]);
            }
        }
    }
}

// Index of the packet whose payload a read at `position` fetches, or -1.
int packet_of_payload_read(const movie_records& records, int64_t position)
{
    for (size_t i = 0; i < records.packets.size(); ++i) {
        if (records.packets[i].position + 16 == position) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// ----------------------------------------------------------------------------
// Seeking

struct seek_case {
    const char* name;
    const char* movie;
    double time;
    std::vector<int> decoded;  // packet indexes decoded, in order
    int next;                  // packet the file is left at; -1 for the end of stream
};

void PrintTo(const seek_case& test, std::ostream* out)
{
    *out << test.name;
}

class VideoTrackSeek : public testing::TestWithParam<seek_case> {};

TEST_P(VideoTrackSeek, DecodesFromTheLastKeyFrameUpToTheTarget)
{
    const seek_case& test = GetParam();
    const std::string path = test_movie(test.movie);
    const movie_records records = read_records(path);
    const std::vector<picture_samples> expected = reference_pictures(path, records);

    recording_files recording;
    opened_movie movie(path);
    ASSERT_EQ(movie.result, ZARN_OK);
    track_pointer track = create_track(movie);
    ASSERT_NE(track, nullptr);

    recording_files::reads.clear();
    ASSERT_EQ(zarn_video_track_set_time(track.get(), test.time), ZARN_OK);
    std::vector<int> decoded;
    for (const read_record& read : recording_files::reads) {
        const int packet = packet_of_payload_read(records, read.position);
        if (packet >= 0 && read.bytes == records.packets[static_cast<size_t>(packet)].header.size) {
            decoded.push_back(packet);
        }
    }
    EXPECT_EQ(decoded, test.decoded);

    const int last = test.decoded.back();
    EXPECT_EQ(track->packet_header.timestamp, records.packets[static_cast<size_t>(last)].header.timestamp);
    const int64_t next_position =
        test.next < 0 ? records.end_of_stream_position : records.packets[static_cast<size_t>(test.next)].position;
    EXPECT_EQ(zarn_ftell(movie.file), next_position);

    ASSERT_EQ(zarn_video_track_get_frame_image(track.get()), ZARN_OK);
    const picture_samples got = visible_samples(track->yuv_frame, records.header.width, records.header.height);
    for (int plane = 0; plane < 3; ++plane) {
        EXPECT_EQ(got.planes[plane], expected[static_cast<size_t>(last)].planes[plane]) << "plane " << plane;
    }

    if (test.next < 0) {
        ASSERT_EQ(zarn_video_track_decode_frame(track.get()), ZARN_OK);
        EXPECT_NE(track->packet_header.flags & PACKET_FLAG_END_OF_STREAM, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Index, VideoTrackSeek,
    testing::Values(
        seek_case{"BetweenKeyFramesDecodesOnlyTheEarlierOne", "keyframes_only.zrn", 1.5, {1}, 2},
        seek_case{"ExactlyOnAKeyFrameDecodesOnlyIt", "keyframes_only.zrn", 2.0, {2}, 3},
        seek_case{"ZeroDecodesOnlyTheFirstPacket", "keyframes_only.zrn", 0.0, {0}, 1},
        seek_case{"NegativeDecodesOnlyTheFirstPacket", "keyint10s.zrn", -3.0, {0}, 1},
        seek_case{"MidGroupDecodesFromTheKeyFrame", "keyint10s.zrn", 8.5, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 9},
        seek_case{"JustBeforeTheNextKeyFrameStopsAtIt", "keyint10s.zrn", 9.5,
                  {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, 10},
        seek_case{"OnTheSecondKeyFrameDecodesOnlyIt", "keyint10s.zrn", 10.0, {10}, 11},
        seek_case{"PastTheEndDecodesThroughTheLastPacket", "keyint10s.zrn", 50.0, {10, 11}, -1},
        seek_case{"NtscFrameTimes", "ntsc.zrn", 0.6, {10, 11, 12, 13, 14, 15, 16, 17}, 18}),
    [](const testing::TestParamInfo<seek_case>& info) { return std::string(info.param.name); });

// ----------------------------------------------------------------------------
// Decoding every packet

class VideoTrackDecode : public testing::TestWithParam<const char*> {};

TEST_P(VideoTrackDecode, EveryPictureEqualsADirectDecode)
{
    const std::string path = test_movie(GetParam());
    const movie_records records = read_records(path);
    const std::vector<picture_samples> expected = reference_pictures(path, records);
    const int32_t width = records.header.width;
    const int32_t height = records.header.height;

    opened_movie movie(path);
    ASSERT_EQ(movie.result, ZARN_OK);
    track_pointer track = create_track(movie);
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(zarn_ftell(movie.file), records.packets[0].position);

    int32_t key_frames = 0;
    for (const packet_record& packet : records.packets) {
        key_frames += (packet.header.flags & PACKET_FLAG_KEY_FRAME) != 0;
    }
    ASSERT_EQ(track->keyframe_count, key_frames);

    for (size_t i = 0; i < records.packets.size(); ++i) {
        ASSERT_EQ(zarn_video_track_decode_frame(track.get()), ZARN_OK) << "packet " << i;
        EXPECT_EQ(track->packet_header.timestamp, records.packets[i].header.timestamp);
        spoil_image(track->yuv_frame, expected[i], width, height);
        ASSERT_EQ(zarn_video_track_get_frame_image(track.get()), ZARN_OK) << "packet " << i;
        const picture_samples got = visible_samples(track->yuv_frame, width, height);
        for (int plane = 0; plane < 3; ++plane) {
            ASSERT_EQ(got.planes[plane], expected[i].planes[plane]) << "packet " << i << " plane " << plane;
        }
    }
    ASSERT_EQ(zarn_video_track_decode_frame(track.get()), ZARN_OK);
    EXPECT_NE(track->packet_header.flags & PACKET_FLAG_END_OF_STREAM, 0u);
}

INSTANTIATE_TEST_SUITE_P(TestMovies, VideoTrackDecode,
                         testing::Values("video_64x48.zrn", "video_65x49.zrn", "keyint10s.zrn", "ntsc.zrn",
                                         "stereo.zrn"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.'));
                         });

// ----------------------------------------------------------------------------
// Frame image layout

struct stride_case {
    int32_t width;
    int32_t luma_stride;
    int32_t chroma_stride;
};

void PrintTo(const stride_case& test, std::ostream* out)
{
    *out << "width " << test.width;
}

class VideoTrackStrides : public testing::TestWithParam<stride_case> {};

TEST_P(VideoTrackStrides, FollowTheRoundedUpWidth)
{
    const stride_case& test = GetParam();
    const std::string path = scratch_path("stride.zrn");
    write_movie(path, test.width, 18, encode_frames(test.width, 18, 1, 0), {0});
    opened_movie movie(path);
    ASSERT_EQ(movie.result, ZARN_OK);
    track_pointer track = create_track(movie);
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->yuv_frame->fmt, VPX_IMG_FMT_I420);
    EXPECT_EQ(track->yuv_frame->stride[0], test.luma_stride);
    EXPECT_EQ(track->yuv_frame->stride[1], test.chroma_stride);
    EXPECT_EQ(track->yuv_frame->stride[2], test.chroma_stride);
    ASSERT_EQ(zarn_video_track_set_time(track.get(), 0.0), ZARN_OK);
    EXPECT_EQ(zarn_video_track_get_frame_image(track.get()), ZARN_OK);
}

INSTANTIATE_TEST_SUITE_P(Widths, VideoTrackStrides,
                         testing::Values(stride_case{320, 320, 160}, stride_case{321, 324, 162},
                                         stride_case{324, 324, 162}),
                         [](const testing::TestParamInfo<stride_case>& info) {
                             return "Width" + std::to_string(info.param.width);
                         });

// ----------------------------------------------------------------------------
// Streams refused at creation

struct broken_stream {
    const char* name;
    // Writes the movie at the path.
    std::function<void(const std::string&)> make;
    const char* scan_line;  // the scan's own line, before create's
};

void PrintTo(const broken_stream& test, std::ostream* out)
{
    *out << test.name;
}

class VideoTrackRefusesAtCreation : public testing::TestWithParam<broken_stream> {};

TEST_P(VideoTrackRefusesAtCreation, WithTheScansLineThenExamineTrack)
{
    const broken_stream& test = GetParam();
    const std::string path = scratch_path("broken.zrn");
    test.make(path);
    opened_movie movie(path);
    ASSERT_EQ(movie.result, ZARN_OK);

    counting_memory memory;
    int32_t result = 0;
    CaptureStderr();
    track_pointer track = create_track(movie, &result);
    const std::string log = GetCapturedStderr();
    EXPECT_EQ(result, ZARN_VIDEO_TRACK_ERROR_EXAMINE);
    EXPECT_EQ(track, nullptr);
    EXPECT_EQ(log, std::string("Zarn error: zarn_video_track_scan_for_key_frames() : ") + test.scan_line +
                       "\nZarn error: zarn_video_track_create() : Couldn't examine track.\n");
    EXPECT_LT(counting_memory::largest, size_t{64} << 20);
}

const std::vector<encoded_frame>& five_frames()
{
    static const std::vector<encoded_frame> frames = encode_frames(64, 48, 5, 0);
    return frames;
}

INSTANTIATE_TEST_SUITE_P(
    Streams, VideoTrackRefusesAtCreation,
    testing::Values(
        broken_stream{"NoEndOfStreamHeader",
                      [](const std::string& path) {
                          zarn_writer_options options;
                          options.write_end_of_stream = false;
                          write_movie(path, 64, 48, five_frames(), timestamps_every(SECOND, 5), options);
                      },
                      "Couldn't read packet header."},
        broken_stream{"PacketLargerThanTheFrameBlob",
                      [](const std::string& path) {
                          size_t largest = 0;
                          for (const encoded_frame& frame : five_frames()) {
                              largest = std::max(largest, frame.data.size());
                          }
                          zarn_writer_options options;
                          options.override_frame_blob_size = true;
                          options.frame_blob_size = static_cast<uint32_t>(largest - 1);
                          write_movie(path, 64, 48, five_frames(), timestamps_every(SECOND, 5), options);
                      },
                      "Packet is larger than the frame blob."},
        broken_stream{"FirstPacketIsNoKeyFrame",
                      [](const std::string& path) {
                          std::vector<encoded_frame> frames = five_frames();
                          frames[0].key_frame = false;
                          write_movie(path, 64, 48, frames, timestamps_every(SECOND, 5));
                      },
                      "Stream doesn't start with a key frame."},
        broken_stream{"NoPacketAtAll",
                      [](const std::string& path) {
                          zarn_writer_options options;
                          options.override_frame_blob_size = true;
                          options.frame_blob_size = 100;
                          write_movie(path, 64, 48, {}, {}, options);
                      },
                      "Stream doesn't start with a key frame."},
        broken_stream{"PacketSizeRunsPastTheEnd",
                      [](const std::string& path) {
                          // The size stays within the frame blob, which the
                          // file could hold, but the payload would end past it.
                          const zarn_movie_layout layout =
                              write_movie(path, 64, 48, five_frames(), timestamps_every(SECOND, 5));
                          const uint32_t blob = static_cast<uint32_t>(layout.file_size);
                          const uint32_t size = static_cast<uint32_t>(layout.file_size - layout.packet_headers[2]);
                          zarn_writer_patch(path.c_str(), offsetof(zarn_header, frame_blob_size), &blob,
                                            sizeof(blob));
                          zarn_writer_patch(path.c_str(), layout.packet_headers[2] + 8, &size, sizeof(size));
                      },
                      "Couldn't read packet header."}),
    [](const testing::TestParamInfo<broken_stream>& info) { return std::string(info.param.name); });

// ----------------------------------------------------------------------------
// Failures while decoding

struct decode_failure {
    const char* name;
    // Writes the movie; then `spoil` may change the file after the track was
    // created (the scan has already accepted it).
    std::function<zarn_movie_layout(const std::string&)> make;
    std::function<void(const std::string&, const zarn_movie_layout&)> spoil;
    int good_packets;  // decoded fine before the failing one
    int32_t code;
    const char* line;
};

void PrintTo(const decode_failure& test, std::ostream* out)
{
    *out << test.name;
}

class VideoTrackDecodeFailure : public testing::TestWithParam<decode_failure> {};

TEST_P(VideoTrackDecodeFailure, ReturnsItsCodeAndLogsItsLine)
{
    const decode_failure& test = GetParam();
    const std::string path = scratch_path("decode.zrn");
    const zarn_movie_layout layout = test.make(path);
    opened_movie movie(path);
    ASSERT_EQ(movie.result, ZARN_OK);
    track_pointer track = create_track(movie);
    ASSERT_NE(track, nullptr);
    // The spoilt file is read through a fresh handle, so nothing the first
    // one buffered hides the change.
    zarn_file* spoilt = nullptr;
    if (test.spoil) {
        test.spoil(path, layout);
        ASSERT_EQ(zarn_file_create(&spoilt, path.c_str(), true), ZARN_OK);
        ASSERT_EQ(zarn_fseek(spoilt, zarn_ftell(movie.file), SEEK_SET), 0);
        track->file = spoilt;
    }
    for (int i = 0; i < test.good_packets; ++i) {
        ASSERT_EQ(zarn_video_track_decode_frame(track.get()), ZARN_OK) << "packet " << i;
    }
    CaptureStderr();
    const int32_t result = zarn_video_track_decode_frame(track.get());
    EXPECT_EQ(GetCapturedStderr(), std::string("Zarn error: zarn_video_track_decode_frame() : ") + test.line + "\n");
    EXPECT_EQ(result, test.code);
    zarn_file_free(spoilt);
}

INSTANTIATE_TEST_SUITE_P(
    Packets, VideoTrackDecodeFailure,
    testing::Values(
        decode_failure{"EmptyPacketThatIsNotTheEnd",
                       [](const std::string& path) {
                           std::vector<encoded_frame> frames = five_frames();
                           frames[1].data.clear();
                           return write_movie(path, 64, 48, frames, timestamps_every(SECOND, 5));
                       },
                       nullptr, 1, ZARN_VIDEO_TRACK_ERROR_READ_DATA, "Couldn't read packet data."},
        decode_failure{"PacketGrownPastTheFrameBlob",
                       [](const std::string& path) {
                           return write_movie(path, 64, 48, five_frames(), timestamps_every(SECOND, 5));
                       },
                       [](const std::string& path, const zarn_movie_layout& layout) {
                           const uint32_t size = 1u << 30;
                           zarn_writer_patch(path.c_str(), layout.packet_headers[1] + 8, &size, sizeof(size));
                       },
                       1, ZARN_VIDEO_TRACK_ERROR_PACKET_TOO_LARGE, "Packet is larger than the frame blob."},
        decode_failure{"GarbagePayload",
                       [](const std::string& path) {
                           std::vector<encoded_frame> frames = five_frames();
                           frames[0].data.assign(frames[0].data.size(), 0);
                           return write_movie(path, 64, 48, frames, timestamps_every(SECOND, 5));
                       },
                       nullptr, 0, ZARN_VIDEO_TRACK_ERROR_DECODE, "Couldn't decode frame."},
        decode_failure{"FrameOfAnotherSizeThanTheTrack",
                       [](const std::string& path) {
                           return write_movie(path, 64, 48, encode_frames(32, 32, 2, 0), timestamps_every(SECOND, 2));
                       },
                       nullptr, 0, ZARN_VIDEO_TRACK_ERROR_DECODE, "Couldn't decode frame."}),
    [](const testing::TestParamInfo<decode_failure>& info) { return std::string(info.param.name); });

// ----------------------------------------------------------------------------
// Copying the picture out

TEST(VideoTrackFrameImage, SecondCopyWithoutDecodeFailsAndLeavesTheImage)
{
    opened_movie movie(test_movie("video_64x48.zrn"));
    ASSERT_EQ(movie.result, ZARN_OK);
    track_pointer track = create_track(movie);
    ASSERT_NE(track, nullptr);
    ASSERT_EQ(zarn_video_track_decode_frame(track.get()), ZARN_OK);
    ASSERT_EQ(zarn_video_track_get_frame_image(track.get()), ZARN_OK);
    const picture_samples first = visible_samples(track->yuv_frame, 64, 48);

    CaptureStderr();
    EXPECT_EQ(zarn_video_track_get_frame_image(track.get()), ZARN_VIDEO_TRACK_ERROR_GET_FRAME_IMAGE);
    EXPECT_EQ(GetCapturedStderr(), "Zarn error: zarn_video_track_get_frame_image() : Couldn't get frame image.\n");
    const picture_samples second = visible_samples(track->yuv_frame, 64, 48);
    for (int plane = 0; plane < 3; ++plane) {
        EXPECT_EQ(second.planes[plane], first.planes[plane]);
    }
}

TEST(VideoTrackFrameImage, CopiesIntoAnotherImageOnce)
{
    opened_movie movie(test_movie("video_65x49.zrn"));
    ASSERT_EQ(movie.result, ZARN_OK);
    track_pointer track = create_track(movie);
    ASSERT_NE(track, nullptr);
    vpx_image_t* image = vpx_img_alloc(nullptr, VPX_IMG_FMT_I420, 65, 49, 4);
    ASSERT_EQ(zarn_video_track_decode_frame(track.get()), ZARN_OK);
    EXPECT_EQ(zarn_video_track_copy_frame_image(track.get(), image), ZARN_OK);
    EXPECT_EQ(zarn_video_track_get_frame_image(track.get()), ZARN_VIDEO_TRACK_ERROR_GET_FRAME_IMAGE);
    CaptureStderr();
    EXPECT_EQ(zarn_video_track_copy_frame_image(track.get(), image), ZARN_VIDEO_TRACK_ERROR_GET_FRAME_IMAGE);
    EXPECT_EQ(GetCapturedStderr(), "Zarn error: zarn_video_track_copy_frame_image() : Couldn't get frame image.\n");
    vpx_img_free(image);
}

// A frame that is decoded but not shown (the VP8 show_frame bit clear, as an
// alternate reference frame has it) yields no picture of its own.
TEST(VideoTrackHiddenFrame, SeekOntoItPresentsTheNextShownFrame)
{
    const std::string path = scratch_path("hidden.zrn");
    std::vector<encoded_frame> frames = five_frames();
    ASSERT_FALSE(frames[2].key_frame);
    frames[2].data[0] &= static_cast<uint8_t>(~0x10);
    write_movie(path, 64, 48, frames, timestamps_every(SECOND, 5));
    const movie_records records = read_records(path);
    const std::vector<picture_samples> expected = reference_pictures(path, records);
    ASSERT_TRUE(expected[2].planes[0].empty());

    opened_movie movie(path);
    ASSERT_EQ(movie.result, ZARN_OK);
    track_pointer track = create_track(movie);
    ASSERT_NE(track, nullptr);

    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(zarn_video_track_decode_frame(track.get()), ZARN_OK);
    }
    CaptureStderr();
    EXPECT_EQ(zarn_video_track_get_frame_image(track.get()), ZARN_VIDEO_TRACK_ERROR_GET_FRAME_IMAGE);
    GetCapturedStderr();

    ASSERT_EQ(zarn_video_track_set_time(track.get(), 2.0), ZARN_OK);
    EXPECT_EQ(track->packet_header.timestamp, 3 * SECOND);
    EXPECT_EQ(zarn_ftell(movie.file), records.packets[4].position);
    ASSERT_EQ(zarn_video_track_get_frame_image(track.get()), ZARN_OK);
    const picture_samples got = visible_samples(track->yuv_frame, 64, 48);
    for (int plane = 0; plane < 3; ++plane) {
        EXPECT_EQ(got.planes[plane], expected[3].planes[plane]);
    }
}

}  // namespace
