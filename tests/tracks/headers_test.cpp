// Header reading on hostile and truncated movies: every refusal has its code
// and its lines, and no header makes the reader allocate much.
#include <gtest/gtest.h>

#include <functional>

#include "decoder/zarn_audio_track.h"
#include "decoder/zarn_video_track.h"
#include "track_fixtures.h"
#include "zarn_results.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using namespace tracks;

namespace {

constexpr size_t ALLOCATION_LIMIT = size_t{64} << 20;

std::string initialise_line(const char* sentence)
{
    return std::string("Zarn error: zarn_decoder_initialise() : ") + sentence + "\n";
}

template <typename T>
void patch(const std::string& path, int64_t offset, T value)
{
    ASSERT_TRUE(zarn_writer_patch(path.c_str(), offset, &value, sizeof(value)));
}

struct hostile_header {
    const char* name;
    std::function<void(const std::string& path, const movie_records& records)> spoil;
    int32_t code;
    std::string log;
};

void PrintTo(const hostile_header& test, std::ostream* out)
{
    *out << test.name;
}

class HostileHeader : public testing::TestWithParam<hostile_header> {};

TEST_P(HostileHeader, IsRefusedWithItsCodeAndLines)
{
    const hostile_header& test = GetParam();
    const std::string original = test_movie("stereo.zrn");
    const movie_records records = read_records(original);
    const std::string path = scratch_path("hostile.zrn");
    ASSERT_TRUE(copy_file(original, path));
    test.spoil(path, records);

    counting_memory memory;
    CaptureStderr();
    opened_movie movie(path);
    const std::string log = GetCapturedStderr();
    EXPECT_EQ(movie.result, test.code);
    EXPECT_EQ(log, test.log);
    EXPECT_LT(counting_memory::largest, ALLOCATION_LIMIT);
    if (test.code != ZARN_OK) {
        EXPECT_EQ(movie.decoder.audio_track_headers, nullptr);
        EXPECT_EQ(movie.decoder.video_track_headers, nullptr);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Movies, HostileHeader,
    testing::Values(
        hostile_header{"FirstMagicWordWrong",
                       [](const std::string& path, const movie_records&) { patch(path, 0, ZARN_MAGIC_ZARN); },
                       ZARN_DECODER_ERROR_HEADER_MAGIC, initialise_line("Couldn't validate header magic.")},
        hostile_header{"SecondMagicWordWrong",
                       [](const std::string& path, const movie_records&) { patch(path, 4, ZARN_MAGIC_KTW); },
                       ZARN_DECODER_ERROR_HEADER_MAGIC, initialise_line("Couldn't validate header magic.")},
        hostile_header{"NoFrameRateNumerator",
                       [](const std::string& path, const movie_records&) { patch(path, 12, int32_t{0}); },
                       ZARN_DECODER_ERROR_BAD_FRAME_RATE, initialise_line("Frame rate isn't positive.")},
        hostile_header{"NegativeFrameRateDenominator",
                       [](const std::string& path, const movie_records&) { patch(path, 16, int32_t{-1}); },
                       ZARN_DECODER_ERROR_BAD_FRAME_RATE, initialise_line("Frame rate isn't positive.")},
        hostile_header{"NegativeAudioTrackCount",
                       [](const std::string& path, const movie_records&) { patch(path, 40, int32_t{-1}); },
                       ZARN_DECODER_ERROR_BAD_TRACK_COUNT, initialise_line("Track count is out of range.")},
        hostile_header{"HugeAudioTrackCount",
                       [](const std::string& path, const movie_records&) { patch(path, 40, INT32_MAX); },
                       ZARN_DECODER_ERROR_BAD_TRACK_COUNT, initialise_line("Track count is out of range.")},
        hostile_header{"MoreAudioTrackHeadersThanTheFileHolds",
                       [](const std::string& path, const movie_records& records) {
                           ASSERT_TRUE(zarn_writer_truncate(path.c_str(), 72 + 96 * 5));
                           patch(path, 40, int32_t{6});
                           patch(path, 52, uint32_t{1});
                           (void)records;
                       },
                       ZARN_DECODER_ERROR_BAD_TRACK_COUNT, initialise_line("Track count is out of range.")},
        hostile_header{"TwoVideoTracks",
                       [](const std::string& path, const movie_records&) { patch(path, 48, int32_t{2}); },
                       ZARN_DECODER_ERROR_BAD_TRACK_COUNT, initialise_line("Track count is out of range.")},
        hostile_header{"NegativeVideoTrackCount",
                       [](const std::string& path, const movie_records&) { patch(path, 48, int32_t{-1}); },
                       ZARN_DECODER_ERROR_BAD_TRACK_COUNT, initialise_line("Track count is out of range.")},
        // Legal for the reader; enabling the video track refuses it later.
        hostile_header{"NoVideoTrack",
                       [](const std::string& path, const movie_records&) { patch(path, 48, int32_t{0}); }, ZARN_OK,
                       ""},
        hostile_header{"FrameBlobLargerThanTheFile",
                       [](const std::string& path, const movie_records& records) {
                           patch(path, 52, static_cast<uint32_t>(records.file_size + 1));
                       },
                       ZARN_DECODER_ERROR_BAD_FRAME_BLOB_SIZE, initialise_line("Frame blob size is larger than the file.")},
        hostile_header{"ZeroWidth",
                       [](const std::string& path, const movie_records&) { patch(path, 64, int32_t{0}); },
                       ZARN_DECODER_ERROR_BAD_PICTURE_SIZE, initialise_line("Picture size is out of range.")},
        hostile_header{"HugeHeight",
                       [](const std::string& path, const movie_records&) { patch(path, 68, int32_t{16385}); },
                       ZARN_DECODER_ERROR_BAD_PICTURE_SIZE, initialise_line("Picture size is out of range.")},
        hostile_header{"AudioDataSizeRunsPastTheEnd",
                       [](const std::string& path, const movie_records& records) {
                           patch(path, records.audio_header_positions[0] + 88, uint32_t{0x7FFFFFFF});
                       },
                       ZARN_DECODER_ERROR_EXAMINE_AUDIO_TRACKS,
                       "Zarn error: zarn_decoder_examine_audio_tracks() : Couldn't seek to next audio track header.\n" +
                           initialise_line("Couldn't examine audio tracks.")},
        hostile_header{"VideoTrackHeaderCut",
                       [](const std::string& path, const movie_records& records) {
                           ASSERT_TRUE(zarn_writer_truncate(path.c_str(), records.video_header_position + 50));
                       },
                       ZARN_DECODER_ERROR_EXAMINE_VIDEO_TRACKS,
                       "Zarn error: zarn_decoder_examine_video_tracks() : Couldn't read video track header.\n" +
                           initialise_line("Couldn't examine video tracks.")},
        hostile_header{"VideoTrackSizeDiffersFromTheMovies",
                       [](const std::string& path, const movie_records& records) {
                           patch(path, records.video_header_position + 68, records.header.width + 2);
                       },
                       ZARN_DECODER_ERROR_PICTURE_SIZE_MISMATCH,
                       initialise_line("Video track picture size differs from the movie's.")}),
    [](const testing::TestParamInfo<hostile_header>& info) { return std::string(info.param.name); });

TEST(HeaderReading, PartiallyEncodedMovieIsRefusedBeforeAnyTrackHeader)
{
    const std::string path = scratch_path("partial.zrn");
    ASSERT_TRUE(copy_file(test_movie("stereo.zrn"), path));
    ASSERT_TRUE(zarn_writer_truncate(path.c_str(), 72));
    patch(path, 52, uint32_t{0});

    recording_files recording;
    CaptureStderr();
    opened_movie movie(path);
    EXPECT_EQ(GetCapturedStderr(), initialise_line("Movie was only partially encoded."));
    EXPECT_EQ(movie.result, ZARN_DECODER_ERROR_PARTIALLY_ENCODED);
    ASSERT_EQ(recording_files::reads.size(), 1u);
    EXPECT_EQ(recording_files::reads[0].position, 0);
    EXPECT_EQ(recording_files::reads[0].bytes, 72u);
}

TEST(HeaderReading, NotesWhereEachTracksDataBegins)
{
    const std::string path = test_movie("two_audio.zrn");
    const movie_records records = read_records(path);
    opened_movie movie(path);
    ASSERT_EQ(movie.result, ZARN_OK);
    ASSERT_EQ(movie.decoder.header.audio_track_count, 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(movie.decoder.audio_track_headers[i].audio.data_position, records.audio_headers[i].audio.data_position);
        EXPECT_EQ(movie.decoder.audio_track_headers[i].audio.data_size, records.audio_headers[i].audio.data_size);
    }
    EXPECT_STREQ(movie.decoder.audio_track_headers[1].name, "Audio 2");
    EXPECT_EQ(movie.decoder.video_track_headers[0].video.data_position, records.video_header_position + 96);
    EXPECT_STREQ(movie.decoder.video_track_headers[0].name, "Video");

    zarn_decoder_free_headers(&movie.decoder);
    EXPECT_EQ(movie.decoder.audio_track_headers, nullptr);
    EXPECT_EQ(movie.decoder.video_track_headers, nullptr);
}

// A movie cut at any record boundary (or inside a record) is refused by the
// header reading or by one of the tracks, never accepted whole.
TEST(HeaderReading, TruncatedMovieIsRefusedSomewhere)
{
    const std::string original = test_movie("stereo.zrn");
    const movie_records records = read_records(original);
    std::vector<int64_t> cuts = {0, 36, 72};
    for (int64_t position : records.audio_header_positions) {
        cuts.insert(cuts.end(), {position + 48, position + 96});
    }
    for (const zarn_track_header& header : records.audio_headers) {
        cuts.push_back(header.audio.data_position + header.audio.data_size / 2);
    }
    cuts.insert(cuts.end(), {records.video_header_position, records.video_header_position + 48,
                             records.video_header_position + 96});
    for (const packet_record& packet : records.packets) {
        cuts.insert(cuts.end(), {packet.position, packet.position + 8, packet.position + 16,
                                 packet.position + 16 + packet.header.size / 2});
    }
    cuts.insert(cuts.end(), {records.end_of_stream_position, records.end_of_stream_position + 8});

    for (int64_t cut : cuts) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        const std::string path = scratch_path("cut.zrn");
        ASSERT_TRUE(copy_file(original, path));
        ASSERT_TRUE(zarn_writer_truncate(path.c_str(), cut));

        counting_memory memory;
        CaptureStderr();
        bool accepted = false;
        {
            opened_movie movie(path);
            if (movie.result == ZARN_OK) {
                zarn_audio_track* audio = nullptr;
                zarn_video_track* video = nullptr;
                accepted = zarn_audio_track_create(&audio, &movie.decoder.audio_track_headers[0], movie.file) == 0 &&
                    zarn_video_track_create(&video, &movie.decoder.video_track_headers[0], movie.file,
                                            movie.decoder.header.frame_blob_size) == 0;
                zarn_audio_track_free(audio);
                zarn_video_track_free(video);
            }
        }
        const std::string log = GetCapturedStderr();
        EXPECT_FALSE(accepted);
        EXPECT_NE(log.find("Zarn error: "), std::string::npos);
        EXPECT_LT(counting_memory::largest, ALLOCATION_LIMIT);
    }

    opened_movie whole(original);
    EXPECT_EQ(whole.result, ZARN_OK);
}

}  // namespace
