// The zrn command line: exit statuses, the one error line for a broken
// movie, usage errors and the help of every command.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "writer/zarn_writer.h"
#include "zrn_test_support.h"

namespace {

// Checks the failure report: the given status, and on standard error exactly
// one line of our own, "zrn: FILE: ..." naming the reason; any other line is
// one of the codec's log lines, which come first.
void expect_error_line(const zrn_run& run, int status, const std::string& file, const std::string& reason)
{
    EXPECT_EQ(run.status, status) << run.err;
    const std::vector<std::string> lines = split_lines(run.err);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("zrn: " + file + ": ", 0), 0u) << lines.back();
    EXPECT_NE(lines.back().find(reason), std::string::npos) << lines.back();
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind("Zarn ", 0), 0u) << "unexpected line: " << lines[i];
    }
}

struct broken_case {
    const char* name;
    // Makes the file in `dir` and returns its path.
    std::function<std::string(const scratch_dir& dir)> make;
    const char* reason;
};

void PrintTo(const broken_case& c, std::ostream* out)
{
    *out << c.name;
}

std::string patched(const scratch_dir& dir, const fake_movie_setup& setup,
                    std::function<void(const fake_movie&)> patch = nullptr)
{
    const fake_movie movie = write_fake_movie(dir, setup);
    if (patch) {
        patch(movie);
    }
    return movie.path;
}

const broken_case broken_cases[] = {
    {"missing_file", [](const scratch_dir& dir) { return dir.path("missing.zrn"); },
     "can't open the file (No such file or directory)"},
    {"directory", [](const scratch_dir& dir) { return dir.root; }, "is a directory"},
    {"empty_file",
     [](const scratch_dir& dir) {
         write_file(dir.path("empty.zrn"), "");
         return dir.path("empty.zrn");
     },
     "too short for a movie header"},
    {"text_file",
     [](const scratch_dir& dir) {
         write_file(dir.path("notes.zrn"), std::string(200, 'x'));
         return dir.path("notes.zrn");
     },
     "not a Zarn movie"},
    {"second_magic_word_wrong",
     [](const scratch_dir& dir) {
         return patched(dir, {}, [](const fake_movie& m) { zarn_writer_patch(m.path.c_str(), 4, "ZARX", 4); });
     },
     "not a Zarn movie"},
    {"partially_encoded",
     [](const scratch_dir& dir) {
         fake_movie_setup setup;
         setup.frame_blob_zero = true;
         return patched(dir, setup);
     },
     "only partially encoded"},
    {"cut_in_movie_header",
     [](const scratch_dir& dir) {
         return patched(dir, {}, [](const fake_movie& m) { zarn_writer_truncate(m.path.c_str(), 40); });
     },
     "too short for a movie header"},
    {"cut_in_audio_track_header",
     [](const scratch_dir& dir) {
         fake_movie_setup setup;
         setup.with_audio = true;
         return patched(dir, setup, [](const fake_movie& m) {
             zarn_writer_truncate(m.path.c_str(), m.layout.audio_track_headers[0] + 50);
         });
     },
     // The file cannot hold the headers its count announces.
     "track counts are out of range for the file"},
    {"cut_in_audio_data",
     [](const scratch_dir& dir) {
         fake_movie_setup setup;
         setup.with_audio = true;
         return patched(dir, setup, [](const fake_movie& m) {
             zarn_writer_truncate(m.path.c_str(), m.layout.audio_track_data[0] + 100);
         });
     },
     "cut short"},
    {"cut_in_video_track_header",
     [](const scratch_dir& dir) {
         fake_movie_setup setup;
         setup.with_audio = true;  // so the cut file is still larger than frame_blob_size
         return patched(dir, setup, [](const fake_movie& m) {
             zarn_writer_truncate(m.path.c_str(), m.layout.video_track_header + 10);
         });
     },
     "video track header is cut short"},
    {"cut_in_packets",
     [](const scratch_dir& dir) {
         return patched(dir, {}, [](const fake_movie& m) {
             zarn_writer_truncate(m.path.c_str(), m.layout.packet_headers[1] + 50);
         });
     },
     "cut short (no end-of-stream header)"},
    {"no_end_of_stream_header",
     [](const scratch_dir& dir) {
         fake_movie_setup setup;
         setup.end_of_stream = false;
         return patched(dir, setup);
     },
     "cut short (no end-of-stream header)"},
    {"first_packet_not_a_key_frame",
     [](const scratch_dir& dir) {
         fake_movie_setup setup;
         setup.first_packet_key = false;
         return patched(dir, setup);
     },
     "doesn't start with a key frame"},
    {"packet_larger_than_frame_blob_size",
     [](const scratch_dir& dir) {
         fake_movie_setup setup;
         setup.frame_blob_too_small = true;
         return patched(dir, setup);
     },
     "larger than frame_blob_size"},
    {"video_track_size_differs",
     [](const scratch_dir& dir) {
         return patched(dir, {}, [](const fake_movie& m) {
             const int32_t width = 32;
             zarn_writer_patch(m.path.c_str(), m.layout.video_track_header + 68, &width, sizeof(width));
         });
     },
     "differs from the movie's"},
    {"negative_audio_track_count",
     [](const scratch_dir& dir) {
         return patched(dir, {}, [](const fake_movie& m) {
             const int32_t count = -1;
             zarn_writer_patch(m.path.c_str(), 40, &count, sizeof(count));
         });
     },
     "track counts are out of range for the file"},
};

class BrokenMovie : public ::testing::TestWithParam<broken_case> {};

TEST_P(BrokenMovie, InfoAndDecodeReportOneErrorLine)
{
    scratch_dir dir;
    const std::string path = GetParam().make(dir);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"info", path}, std::vector<std::string>{"info", "--json", path},
          std::vector<std::string>{"decode", path, "--video", "/dev/null"}}) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        const zrn_run run = run_zrn(args);
        expect_error_line(run, 1, path, GetParam().reason);
        EXPECT_EQ(run.out, "");
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenMovie, ::testing::ValuesIn(broken_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// What only decoding finds: payloads that are not what the headers promise.
TEST(DecodeFailure, PayloadsThatDoNotDecodeEndInTheErrorLine)
{
    scratch_dir dir;
    fake_movie_setup setup;
    setup.with_audio = true;
    const fake_movie movie = write_fake_movie(dir, setup);

    const zrn_run info = run_zrn({"info", movie.path});
    EXPECT_EQ(info.status, 0) << info.err;

    expect_error_line(run_zrn({"decode", movie.path, "--video", "/dev/null"}), 1, movie.path,
                      "not a valid VP8 frame");
    expect_error_line(run_zrn({"decode", movie.path, "--audio", "/dev/null"}), 1, movie.path,
                      "audio track 0: its data is not a valid Ogg Vorbis stream");
}

TEST(DecodeFailure, UnwritableOutputNamesTheOutput)
{
    const std::string movie = test_movie("stereo");
    const std::string out = "/nonexistent-folder/out.y4m";
    expect_error_line(run_zrn({"decode", movie, "--video", out}), 1, out, "");
    const std::string wav = "/nonexistent-folder/out.wav";
    expect_error_line(run_zrn({"decode", movie, "--audio", wav}), 1, wav, "");
}

struct usage_case {
    const char* name;
    std::vector<std::string> args;
    const char* message;  // part of the first line
};

void PrintTo(const usage_case& c, std::ostream* out)
{
    *out << c.name;
}

const usage_case usage_cases[] = {
    {"no_command", {}, "no command given"},
    {"unknown_command", {"play-it"}, "unknown command 'play-it'"},
    {"info_without_file", {"info"}, "no movie given"},
    {"info_with_two_files", {"info", "a.zrn", "b.zrn"}, "unexpected argument 'b.zrn'"},
    {"info_unknown_option", {"info", "--yaml", "a.zrn"}, "unknown option '--yaml'"},
    {"info_flag_with_value", {"info", "--json=yes", "a.zrn"}, "takes no value"},
    {"decode_without_file", {"decode", "--video", "out.y4m"}, "no movie given"},
    {"decode_without_output", {"decode", "a.zrn"}, "nothing to do"},
    {"decode_option_without_value", {"decode", "a.zrn", "--video"}, "needs a value"},
    {"decode_option_twice", {"decode", "a.zrn", "--video", "a.y4m", "--video", "b.y4m"}, "given twice"},
    {"decode_track_not_a_number", {"decode", "a.zrn", "--audio", "a.wav", "--audio-track", "one"}, "--audio-track"},
    {"decode_negative_track", {"decode", "a.zrn", "--audio", "a.wav", "--audio-track", "-1"}, "--audio-track"},
    {"decode_track_without_audio", {"decode", "a.zrn", "--video", "a.y4m", "--audio-track", "0"}, "needs --audio"},
    {"decode_both_to_standard_output", {"decode", "a.zrn", "--video", "-", "--audio", "-"}, "standard output"},
};

class UsageError : public ::testing::TestWithParam<usage_case> {};

TEST_P(UsageError, ExitsWithTwoAndAUsageLine)
{
    const zrn_run run = run_zrn(GetParam().args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    const std::vector<std::string> lines = split_lines(run.err);
    ASSERT_GE(lines.size(), 2u) << run.err;
    EXPECT_NE(lines[0].find(GetParam().message), std::string::npos) << lines[0];
    EXPECT_NE(run.err.find("usage: zrn "), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Cases, UsageError, ::testing::ValuesIn(usage_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UsageErrorOnMovie, MissingAudioTrackIsAUsageError)
{
    const std::string movie = test_movie("stereo");
    const zrn_run run = run_zrn({"decode", movie, "--audio", "/dev/null", "--audio-track", "1"});
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("has no audio track 1 (it has 1 track)"), std::string::npos) << run.err;
    const zrn_run silent = run_zrn({"decode", test_movie("video_64x48"), "--audio", "/dev/null"});
    EXPECT_EQ(silent.status, 2);
    EXPECT_NE(silent.err.find("has no audio track 0 (it has 0 tracks)"), std::string::npos) << silent.err;
}

// The command names `zrn --help` lists, from its "  NAME  summary" lines.
std::vector<std::string> listed_commands(const std::string& help)
{
    std::vector<std::string> names;
    bool in_list = false;
    for (const std::string& line : split_lines(help)) {
        if (line == "commands:") {
            in_list = true;
        } else if (in_list && line.empty()) {
            break;
        } else if (in_list && line.size() > 2 && line[2] != ' ') {
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
        }
    }
    return names;
}

TEST(Help, ListsEveryCommandWithAnExample)
{
    for (const char* flag : {"--help", "-h", "help"}) {
        const zrn_run run = run_zrn({flag});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        const std::vector<std::string> names = listed_commands(run.out);
        for (const char* expected : {"info", "decode"}) {
            EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << run.out;
        }
        for (const std::string& name : names) {
            EXPECT_NE(run.out.find("e.g. zrn " + name + " "), std::string::npos) << name;
        }
    }
}

TEST(Help, EveryCommandDescribesItself)
{
    for (const std::string& name : listed_commands(run_zrn({"--help"}).out)) {
        SCOPED_TRACE(name);
        // --help wins over anything else on the line.
        const zrn_run run = run_zrn({name, "--bogus", "--help"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.rfind("usage: zrn " + name + " ", 0), 0u) << run.out;
        EXPECT_NE(run.out.find("options:"), std::string::npos);
        EXPECT_NE(run.out.find("--help"), std::string::npos);
    }
}

TEST(Help, NamesEachOption)
{
    const struct {
        const char* command;
        std::vector<const char*> options;
    } cases[] = {
        {"info", {"--json"}},
        {"decode", {"--video OUT.y4m", "--audio OUT.wav", "--audio-track N"}},
    };
    for (const auto& c : cases) {
        const zrn_run run = run_zrn({c.command, "--help"});
        for (const char* option : c.options) {
            EXPECT_NE(run.out.find(option), std::string::npos) << c.command << " " << option;
        }
    }
}

}  // namespace
