// zrn info: the facts of the test movies, as JSON and as text, checked
// against what the build made them with and an independent reading.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "zrn_test_support.h"

namespace {

struct audio_expectation {
    const char* name;
    int channels;
    int sample_rate;
};

struct movie_case {
    const char* movie;
    int width;
    int height;
    int rate_numerator;
    int rate_denominator;
    int packets;
    int key_frames;
    std::vector<audio_expectation> audio;
};

void PrintTo(const movie_case& c, std::ostream* out)
{
    *out << c.movie;
}

const movie_case movie_cases[] = {
    {"video_64x48", 64, 48, 25, 1, 50, 5, {}},
    {"video_65x49", 65, 49, 25, 1, 25, 3, {}},
    {"keyframes_only", 64, 48, 1, 1, 10, 10, {}},
    {"keyint10s", 64, 48, 1, 1, 12, 2, {}},
    {"stereo", 64, 48, 25, 1, 50, 5, {{"Audio 1", 2, 44100}}},
    {"mono", 64, 48, 25, 1, 50, 5, {{"Audio 1", 1, 22050}}},
    {"six_channel", 64, 48, 25, 1, 50, 5, {{"Audio 1", 6, 48000}}},
    {"two_audio", 64, 48, 25, 1, 50, 5, {{"Audio 1", 2, 44100}, {"Audio 2", 1, 22050}}},
    {"ntsc", 64, 48, 30000, 1001, 30, 3, {}},
};

// Seconds of 100-ns units as the shortest decimal that is exact.
std::string exact_seconds(int64_t units)
{
    char text[64];
    snprintf(text, sizeof(text), "%.7f", static_cast<double>(units) / 1e7);
    std::string s = text;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') {
        s.pop_back();
    }
    return s;
}

class InfoOnTestMovie : public ::testing::TestWithParam<movie_case> {};

TEST_P(InfoOnTestMovie, JsonHoldsTheMoviesFacts)
{
    const movie_case& c = GetParam();
    const std::string path = test_movie(c.movie);
    reference_movie reference;
    ASSERT_TRUE(read_reference_movie(path, &reference));
    uint32_t largest = 0;
    for (const reference_packet& packet : reference.packets) {
        largest = std::max(largest, static_cast<uint32_t>(packet.payload.size()));
    }
    // The duration is a frame period per frame; the header keeps it in
    // whole 100-ns units.
    const double duration = static_cast<double>(c.packets) * c.rate_denominator / c.rate_numerator;
    EXPECT_NEAR(static_cast<double>(reference.header.duration) / 1e7, duration, 2e-7);

    std::string expected = "{\"width\": " + std::to_string(c.width) + ", \"height\": " + std::to_string(c.height) +
        ", \"frame_rate\": [" + std::to_string(c.rate_numerator) + ", " + std::to_string(c.rate_denominator) +
        "], \"duration\": " + exact_seconds(reference.header.duration) +
        ", \"frame_blob_size\": " + std::to_string(largest) + ", \"audio_tracks\": [";
    for (size_t i = 0; i < c.audio.size(); ++i) {
        // The track's data is the Ogg stream written beside the movie.
        const auto size = std::filesystem::file_size(test_movie_ogg(c.movie, static_cast<int>(i)));
        expected += std::string(i == 0 ? "" : ", ") + "{\"name\": \"" + c.audio[i].name +
            "\", \"channels\": " + std::to_string(c.audio[i].channels) +
            ", \"sample_rate\": " + std::to_string(c.audio[i].sample_rate) + ", \"data_size\": " + std::to_string(size) +
            "}";
    }
    expected += "], \"video\": {\"name\": \"Video\", \"width\": " + std::to_string(c.width) +
        ", \"height\": " + std::to_string(c.height) + ", \"packets\": " + std::to_string(c.packets) +
        ", \"key_frames\": " + std::to_string(c.key_frames) + "}, \"valid\": true}\n";

    const zrn_run run = run_zrn({"info", "--json", path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, expected);
}

TEST_P(InfoOnTestMovie, TextNamesTheSameFacts)
{
    const movie_case& c = GetParam();
    const zrn_run run = run_zrn({"info", test_movie(c.movie)});
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string size = std::to_string(c.width) + "x" + std::to_string(c.height);
    const std::vector<std::string> facts = {
        "picture:          " + size,
        std::to_string(c.rate_numerator) + "/" + std::to_string(c.rate_denominator),
        "\"Video\", " + size + ", " + std::to_string(c.packets) + " packets, " + std::to_string(c.key_frames) +
            " key frames",
    };
    for (const std::string& fact : facts) {
        EXPECT_NE(run.out.find(fact), std::string::npos) << fact << "\n" << run.out;
    }
    for (size_t i = 0; i < c.audio.size(); ++i) {
        const std::string fact = "audio track " + std::to_string(i) + " ";
        const std::string details = std::string("\"") + c.audio[i].name + "\", " + std::to_string(c.audio[i].channels) +
            (c.audio[i].channels == 1 ? " channel, " : " channels, ") + std::to_string(c.audio[i].sample_rate) + " Hz";
        EXPECT_NE(run.out.find(fact), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(details), std::string::npos) << details << "\n" << run.out;
    }
    if (c.audio.empty()) {
        EXPECT_NE(run.out.find("audio tracks:     none"), std::string::npos) << run.out;
    }
}

INSTANTIATE_TEST_SUITE_P(Movies, InfoOnTestMovie, ::testing::ValuesIn(movie_cases),
                         [](const auto& info) { return std::string(info.param.movie); });

// Track names come from the file as they are; the JSON must still parse.
TEST(InfoJson, EscapesTrackNames)
{
    const struct {
        const char* name;
        std::string stored;  // the name bytes in the file
        std::string json;
    } cases[] = {
        {"quote_and_backslash", "say \"hi\" \\o/", "\"say \\\"hi\\\" \\\\o/\""},
        {"control_characters", "tab\there\nbell\x07", "\"tab\\u0009here\\u000abell\\u0007\""},
        {"utf8_kept", "caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\""},
        {"invalid_utf8_replaced", "a\xff" "b\xc3", "\"a\\ufffdb\\ufffd\""},
        {"overlong_form_replaced", "\xc0\xaf", "\"\\ufffd\\ufffd\""},
        // A careless file may fill all 64 bytes; the name ends there.
        {"no_terminator", std::string(64, 'n'), "\"" + std::string(64, 'n') + "\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        scratch_dir dir;
        const fake_movie movie = write_fake_movie(dir, {});
        char name[64] = {};
        memcpy(name, c.stored.data(), std::min<size_t>(c.stored.size(), sizeof(name)));
        ASSERT_TRUE(zarn_writer_patch(movie.path.c_str(), movie.layout.video_track_header + 4, name, sizeof(name)));
        const zrn_run run = run_zrn({"info", "--json", movie.path});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("\"video\": {\"name\": " + c.json + ", "), std::string::npos) << run.out;
    }
}

TEST(InfoJson, DurationIsExactSeconds)
{
    const struct {
        int64_t units;
        const char* json;
    } cases[] = {
        {0, "0"}, {20000000, "2"}, {10010000, "1.001"}, {1, "0.0000001"}, {-5000000, "-0.5"},
        {INT64_MAX, "922337203685.4775807"},
    };
    for (const auto& c : cases) {
        scratch_dir dir;
        const fake_movie movie = write_fake_movie(dir, {});
        ASSERT_TRUE(zarn_writer_patch(movie.path.c_str(), 32, &c.units, sizeof(c.units)));
        const zrn_run run = run_zrn({"info", "--json", movie.path});
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(std::string("\"duration\": ") + c.json + ","), std::string::npos)
            << c.units << ": " << run.out;
    }
}

}  // namespace
