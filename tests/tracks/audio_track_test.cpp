// The audio track: PCM equal to an independent Tremor decode, silence at and
// after the end, seeking, refusals at creation, and the in-memory source.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <tremor/ivorbisfile.h>

#include "decoder/zarn_audio_track.h"
#include "track_fixtures.h"
#include "zarn_results.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using namespace tracks;

namespace {

constexpr int32_t BLOCK = 4096;

struct track_deleter {
    void operator()(zarn_audio_track* track) const { zarn_audio_track_free(track); }
};
using track_pointer = std::unique_ptr<zarn_audio_track, track_deleter>;

track_pointer create_track(opened_movie& movie, const zarn_track_header& header, int32_t* result = nullptr)
{
    zarn_audio_track* track = nullptr;
    const int32_t code = zarn_audio_track_create(&track, &header, movie.file);
    if (result != nullptr) {
        *result = code;
    }
    return track_pointer(track);
}

// The whole PCM of an Ogg Vorbis file decoded with Tremor on its own,
// optionally after seeking to `seek_ms`; at most `limit` bytes.
std::vector<uint8_t> reference_pcm(const std::string& ogg_path, ogg_int64_t seek_ms = -1,
                                   size_t limit = SIZE_MAX)
{
    FILE* file = fopen(ogg_path.c_str(), "rb");
    EXPECT_NE(file, nullptr) << ogg_path;
    if (file == nullptr) {
        return {};
    }
    OggVorbis_File vorbis;
    if (ov_open(file, &vorbis, nullptr, 0) < 0) {
        ADD_FAILURE() << "Tremor couldn't open " << ogg_path;
        fclose(file);
        return {};
    }
    if (seek_ms >= 0) {
        EXPECT_EQ(ov_time_seek(&vorbis, seek_ms), 0);
    }
    std::vector<uint8_t> pcm;
    char buffer[BLOCK];
    while (pcm.size() < limit) {
        int bitstream = 0;
        const long got = ov_read(&vorbis, buffer, BLOCK, &bitstream);
        if (got <= 0) {
            break;
        }
        pcm.insert(pcm.end(), buffer, buffer + got);
    }
    ov_clear(&vorbis);  // closes the file
    pcm.resize(std::min(pcm.size(), limit));
    return pcm;
}

std::string ogg_beside(const std::string& movie, int index)
{
    return movie + ".a" + std::to_string(index) + ".ogg";
}

// Decodes `blocks` blocks; returns their whole-frame parts one after the
// other and checks that the few bytes after the last whole frame of each
// block are zero.
std::vector<uint8_t> decode_blocks(zarn_audio_track* track, int32_t channels, int blocks)
{
    const int32_t tail = BLOCK % (2 * channels);
    std::vector<uint8_t> pcm;
    std::vector<uint8_t> block(BLOCK);
    for (int i = 0; i < blocks; ++i) {
        std::fill(block.begin(), block.end(), uint8_t{0xA5});
        EXPECT_EQ(zarn_audio_track_decode_block(track, block.data(), BLOCK), ZARN_OK);
        for (int32_t j = BLOCK - tail; j < BLOCK; ++j) {
            EXPECT_EQ(block[static_cast<size_t>(j)], 0) << "block " << i << " byte " << j;
        }
        pcm.insert(pcm.end(), block.begin(), block.end() - tail);
    }
    return pcm;
}

// ----------------------------------------------------------------------------
// Decoding

struct stream_case {
    const char* movie;
    int track;
};

void PrintTo(const stream_case& test, std::ostream* out)
{
    *out << test.movie << " track " << test.track;
}

class AudioTrackDecode : public testing::TestWithParam<stream_case> {};

TEST_P(AudioTrackDecode, EqualsAnIndependentDecodeThenSilence)
{
    const stream_case& test = GetParam();
    const std::string path = test_movie(test.movie);
    const std::vector<uint8_t> expected = reference_pcm(ogg_beside(path, test.track));
    ASSERT_FALSE(expected.empty());

    opened_movie movie(path);
    ASSERT_EQ(movie.result, ZARN_OK);
    const zarn_track_header& header = movie.decoder.audio_track_headers[test.track];
    track_pointer track = create_track(movie, header);
    ASSERT_NE(track, nullptr);

    const int32_t channels = header.audio.channels;
    const size_t per_block = static_cast<size_t>(BLOCK - BLOCK % (2 * channels));
    const int blocks = static_cast<int>(expected.size() / per_block) + 3;
    const std::vector<uint8_t> got = decode_blocks(track.get(), channels, blocks);
    ASSERT_GE(got.size(), expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + static_cast<std::ptrdiff_t>(expected.size()), got.end(),
                            [](uint8_t byte) { return byte == 0; }))
        << "the end of the stream is followed by silence";
    EXPECT_TRUE(std::any_of(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(per_block),
                            [](uint8_t byte) { return byte != 0; }))
        << "the first block holds sound";
}

INSTANTIATE_TEST_SUITE_P(TestMovies, AudioTrackDecode,
                         testing::Values(stream_case{"stereo.zrn", 0}, stream_case{"mono.zrn", 0},
                                         stream_case{"six_channel.zrn", 0}, stream_case{"two_audio.zrn", 0},
                                         stream_case{"two_audio.zrn", 1}),
                         [](const testing::TestParamInfo<stream_case>& info) {
                             std::string name = info.param.movie;
                             return name.substr(0, name.find('.')) + "_" + std::to_string(info.param.track);
                         });

// ----------------------------------------------------------------------------
// Seeking

struct seek_case {
    const char* name;
    const char* movie;
    int blocks_before;  // decoded before the seek
    double time;
    bool refused;       // a refused seek leaves the stream where it was
};

void PrintTo(const seek_case& test, std::ostream* out)
{
    *out << test.name;
}

class AudioTrackSeek : public testing::TestWithParam<seek_case> {};

TEST_P(AudioTrackSeek, ContinuesWhereTremorPutsTheStream)
{
    const seek_case& test = GetParam();
    const std::string path = test_movie(test.movie);
    opened_movie movie(path);
    ASSERT_EQ(movie.result, ZARN_OK);
    const zarn_track_header& header = movie.decoder.audio_track_headers[0];
    const int32_t channels = header.audio.channels;
    track_pointer track = create_track(movie, header);
    ASSERT_NE(track, nullptr);

    decode_blocks(track.get(), channels, test.blocks_before);
    EXPECT_EQ(zarn_audio_track_set_time(track.get(), test.time), ZARN_OK);
    const std::vector<uint8_t> got = decode_blocks(track.get(), channels, 2);

    std::vector<uint8_t> expected;
    if (test.refused) {
        track_pointer plain = create_track(movie, header);
        ASSERT_NE(plain, nullptr);
        const std::vector<uint8_t> all = decode_blocks(plain.get(), channels, test.blocks_before + 2);
        expected.assign(all.end() - static_cast<std::ptrdiff_t>(got.size()), all.end());
    } else {
        expected = reference_pcm(ogg_beside(path, 0), static_cast<ogg_int64_t>(test.time * 1000), got.size());
    }
    ASSERT_EQ(expected.size(), got.size());
    EXPECT_TRUE(expected == got);
}

INSTANTIATE_TEST_SUITE_P(
    Times, AudioTrackSeek,
    testing::Values(seek_case{"OneSecond", "stereo.zrn", 3, 1.0, false},
                    seek_case{"HalfASecondMono", "mono.zrn", 0, 0.5, false},
                    seek_case{"BackToTheStart", "six_channel.zrn", 5, 0.0, false},
                    seek_case{"BeyondTheEndLeavesThePosition", "stereo.zrn", 3, 100.0, true},
                    seek_case{"NegativeLeavesThePosition", "stereo.zrn", 3, -1.0, true}),
    [](const testing::TestParamInfo<seek_case>& info) { return std::string(info.param.name); });

// ----------------------------------------------------------------------------
// Creation failures

struct creation_failure {
    const char* name;
    // Changes the movie file before its headers are read (may be null).
    std::function<void(const std::string& path, const movie_records& records)> spoil;
    // Changes the header handed to the track (may be null).
    std::function<void(zarn_track_header& header, const movie_records& records)> edit;
    int32_t code;
    const char* sentence;
};

void PrintTo(const creation_failure& test, std::ostream* out)
{
    *out << test.name;
}

class AudioTrackRefuses : public testing::TestWithParam<creation_failure> {};

TEST_P(AudioTrackRefuses, WithItsCodeAndLineAndNoBigAllocation)
{
    const creation_failure& test = GetParam();
    const std::string original = test_movie("stereo.zrn");
    const movie_records records = read_records(original);
    const std::string path = scratch_path("audio.zrn");
    ASSERT_TRUE(copy_file(original, path));
    if (test.spoil) {
        test.spoil(path, records);
    }
    opened_movie movie(path);
    ASSERT_EQ(movie.result, ZARN_OK);
    zarn_track_header header = movie.decoder.audio_track_headers[0];
    if (test.edit) {
        test.edit(header, records);
    }

    counting_memory memory;
    int32_t result = 0;
    CaptureStderr();
    track_pointer track = create_track(movie, header, &result);
    const std::string log = GetCapturedStderr();
    EXPECT_EQ(result, test.code);
    EXPECT_EQ(track, nullptr);
    EXPECT_EQ(log, std::string("Zarn error: zarn_audio_track_create() : ") + test.sentence + "\n");
    EXPECT_LT(counting_memory::largest, size_t{64} << 20);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, AudioTrackRefuses,
    testing::Values(
        creation_failure{"SampleRateDiffersFromTheStream",
                         [](const std::string& path, const movie_records& records) {
                             const int32_t rate = 48000;
                             zarn_writer_patch(path.c_str(), records.audio_header_positions[0] + 72, &rate,
                                               sizeof(rate));
                         },
                         nullptr, ZARN_AUDIO_TRACK_ERROR_FORMAT_MISMATCH,
                         "Track header channels/sample rate doesn't match with track data channels/sample rate."},
        creation_failure{"ChannelsDifferFromTheStream", nullptr,
                         [](zarn_track_header& header, const movie_records&) { header.audio.channels = 1; },
                         ZARN_AUDIO_TRACK_ERROR_FORMAT_MISMATCH,
                         "Track header channels/sample rate doesn't match with track data channels/sample rate."},
        creation_failure{"DataSizeRunsPastTheEnd", nullptr,
                         [](zarn_track_header& header, const movie_records&) { header.audio.data_size = 0x7FFFFFF0u; },
                         ZARN_AUDIO_TRACK_ERROR_READ_DATA, "Track data runs past the end of the file."},
        creation_failure{"DataSizeOneMoreThanTheFileHolds", nullptr,
                         [](zarn_track_header& header, const movie_records& records) {
                             header.audio.data_size =
                                 static_cast<uint32_t>(records.file_size - header.audio.data_position + 1);
                         },
                         ZARN_AUDIO_TRACK_ERROR_READ_DATA, "Track data runs past the end of the file."},
        creation_failure{"DataPositionPastTheEnd", nullptr,
                         [](zarn_track_header& header, const movie_records& records) {
                             header.audio.data_position = records.file_size + 10;
                             header.audio.data_size = 1;
                         },
                         ZARN_AUDIO_TRACK_ERROR_READ_DATA, "Track data runs past the end of the file."},
        creation_failure{"DataIsNoVorbisStream", nullptr,
                         [](zarn_track_header& header, const movie_records& records) {
                             header.audio.data_position = records.packets[0].position;
                             header.audio.data_size = 200;
                         },
                         ZARN_AUDIO_TRACK_ERROR_OPEN, "Couldn't open audio track."}),
    [](const testing::TestParamInfo<creation_failure>& info) { return std::string(info.param.name); });

// ----------------------------------------------------------------------------
// The in-memory source Tremor reads through

struct mem_seek_case {
    const char* name;
    int64_t from;  // current position before the seek
    int64_t offset;
    int whence;
    int result;
    int64_t position;  // current position after
};

void PrintTo(const mem_seek_case& test, std::ostream* out)
{
    *out << test.name;
}

class MemFileSeek : public testing::TestWithParam<mem_seek_case> {};

TEST_P(MemFileSeek, KeepsTheCurrentPositionInRange)
{
    const mem_seek_case& test = GetParam();
    uint8_t data[10] = {};
    zarn_mem_file file{data + test.from, data, 10};
    EXPECT_EQ(zarn_mem_file_seek(&file, test.offset, test.whence), test.result);
    EXPECT_EQ(file.current - file.start, test.position);
    EXPECT_EQ(zarn_mem_file_tell(&file), test.position);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, MemFileSeek,
    testing::Values(mem_seek_case{"FromStart", 5, 3, SEEK_SET, 0, 3},
                    mem_seek_case{"FromStartToTheEnd", 0, 10, SEEK_SET, 0, 10},
                    mem_seek_case{"BeforeStartClampsToStart", 5, -1, SEEK_SET, -1, 0},
                    mem_seek_case{"PastTheEndClampsToTheEnd", 5, 11, SEEK_SET, -1, 10},
                    mem_seek_case{"FromCurrent", 3, 5, SEEK_CUR, 0, 8},
                    mem_seek_case{"FromCurrentBackBeforeStart", 3, -4, SEEK_CUR, -1, 0},
                    mem_seek_case{"FromEnd", 3, 0, SEEK_END, 0, 10},
                    mem_seek_case{"FromEndBack", 3, -10, SEEK_END, 0, 0},
                    mem_seek_case{"FromEndForward", 3, 1, SEEK_END, -1, 10},
                    mem_seek_case{"HugeOffsetDoesNotWrap", 3, INT64_MAX, SEEK_CUR, -1, 10},
                    mem_seek_case{"HugeNegativeOffsetDoesNotWrap", 3, INT64_MIN, SEEK_END, -1, 0},
                    mem_seek_case{"UnknownWhenceChangesNothing", 4, 1, 7, -1, 4}),
    [](const testing::TestParamInfo<mem_seek_case>& info) { return std::string(info.param.name); });

TEST(MemFileRead, CopiesWhatRemainsThenNothing)
{
    uint8_t data[30];
    for (int i = 0; i < 30; ++i) {
        data[i] = static_cast<uint8_t>(i + 1);
    }
    zarn_mem_file file{data + 20, data, 30};
    uint8_t buffer[100] = {};
    EXPECT_EQ(zarn_mem_file_read(buffer, 1, 100, &file), 10u);
    EXPECT_EQ(buffer[0], 21);
    EXPECT_EQ(buffer[9], 30);
    EXPECT_EQ(buffer[10], 0);
    EXPECT_EQ(zarn_mem_file_tell(&file), 30);
    EXPECT_EQ(zarn_mem_file_read(buffer, 1, 100, &file), 0u);
    EXPECT_EQ(zarn_mem_file_close(&file), 0);
}

}  // namespace
