// What every zrn command shares: its option table and parser, the help text,
// the usage and error lines with their exit statuses, and opening a movie
// the way the codec opens one (so a broken movie is refused by the codec's
// own checks, and its reason is named in one line).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "decoder/zarn_decoder.h"

// Exit statuses of every command.
constexpr int ZRN_EXIT_OK = 0;
constexpr int ZRN_EXIT_FAILURE = 1;  // unreadable or broken movie, unwritable output
constexpr int ZRN_EXIT_USAGE = 2;    // wrong command line

// One option of a command.
struct cli_option {
    const char* name;         // "--video"
    const char* value_name;   // "OUT.y4m"; null for a flag that takes no value
    const char* help;         // one line
    const char* alias = nullptr;  // another spelling, e.g. "-o"
    bool repeatable = false;  // may be given more than once
};

// What a command accepts and how it describes itself in --help.
struct cli_command_syntax {
    const char* name;         // "decode"
    const char* usage;        // the part after "zrn NAME ": "FILE [--video OUT.y4m]"
    const char* description;  // one or more lines, each ending in '\n'
    std::vector<cli_option> options;
    int min_operands = 0;
    int max_operands = 0;
    std::vector<const char*> examples;  // whole command lines
};

struct cli_args {
    std::vector<std::string> operands;
    std::map<std::string, std::vector<std::string>> values;  // by option name; flags hold ""

    bool has(const char* name) const;
    // The value of a non-repeatable option, or null when it was not given.
    const std::string* value(const char* name) const;
    // Every value of a repeatable option, in command-line order.
    std::vector<std::string> all(const char* name) const;
};

// Parses argv (argv[0] is the command's name). "--name VALUE", "--name=VALUE"
// and "--" (end of options) are understood; --help is always accepted.
// Returns -1 when the command is to run; otherwise the exit status to return
// at once: ZRN_EXIT_OK after printing the help, ZRN_EXIT_USAGE after a usage
// error.
int cli_parse(const cli_command_syntax& syntax, int argc, char** argv, cli_args* args);

// Prints the command's help on standard output.
void cli_print_help(const cli_command_syntax& syntax);

// Prints "zrn NAME: MESSAGE" and the usage line on standard error and
// returns ZRN_EXIT_USAGE.
int cli_usage_error(const cli_command_syntax& syntax, const std::string& message);

// Prints the one line "zrn: FILE: REASON" on standard error and returns
// ZRN_EXIT_FAILURE.
int cli_fail(const std::string& file, const std::string& reason);

// Reads a whole decimal integer within [min, max].
bool cli_parse_int(const std::string& text, int64_t min, int64_t max, int64_t* out);

// A short sentence for a codec result code, for the error line.
std::string cli_reason(int32_t code);

// A movie opened as the codec opens it: the file, the headers read into a
// decoder record, and video track 0 created with its key-frame index. The
// file stands at the first video packet afterwards.
struct cli_movie {
    std::string path;
    zarn_file* file = nullptr;
    zarn_decoder decoder{};  // only file, header and the track headers are used
    zarn_video_track* video = nullptr;
};

// Opens `path` into `movie`. Returns ZRN_EXIT_OK, or prints the error line
// and returns ZRN_EXIT_FAILURE (what was opened is released by close).
int cli_movie_open(cli_movie* movie, const std::string& path);
void cli_movie_close(cli_movie* movie);

// A walk over the packet headers of the video track, from its first packet
// to the end-of-stream header. Leaves the file wherever the walk ended.
enum class cli_walk_result {
    ok,
    cut_short,             // a header could not be read: no end-of-stream header
    no_leading_key_frame,  // the first packet is no key frame
    packet_too_large,      // a payload larger than frame_blob_size
    seek_failed,
};
struct cli_packet_count {
    int64_t packets = 0;     // before the end-of-stream header
    int64_t key_frames = 0;
};
cli_walk_result cli_walk_packets(cli_movie* movie, cli_packet_count* count);
