// zrn: looks into, decodes and makes Zarn movies. `zrn COMMAND ARGS...` runs
// one command of the table below; each command parses its own arguments.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "commands/cli.h"
#include "commands/commands.h"

namespace {

struct zrn_command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;  // one line
    const char* example;  // one whole command line
};

// One line per command, in the order `zrn --help` lists them.
const zrn_command commands[] = {
    {"info", zrn_info, "show a movie's facts (--json for one JSON object)", "zrn info --json movie.zrn"},
    {"decode", zrn_decode, "decode a movie's pictures to Y4M and an audio track to WAV",
     "zrn decode movie.zrn --video out.y4m --audio out.wav"},
    {"create", zrn_create, "encode a movie from Y4M pictures and WAV sound",
     "zrn create -o movie.zrn --video in.y4m --audio in.wav"},
    {"play", zrn_play, "play a movie in real time with sound, no window", "zrn play movie.zrn --loop"},
    {"check", zrn_check, "check that movies open as the player opens them and decode to the end",
     "zrn check *.zrn"},
    {"extract", zrn_extract, "copy the video packets out to IVF and an audio track to Ogg",
     "zrn extract movie.zrn --video movie.ivf --audio movie.ogg"},
    {"remux", zrn_remux, "move the streams between .zrn and WebM, without re-encoding",
     "zrn remux movie.zrn movie.webm"},
};

void print_help(FILE* out)
{
    fprintf(out, "usage: zrn COMMAND [ARGS...]\n"
                 "       zrn COMMAND --help\n\n"
                 "Looks into, decodes and makes Zarn movies (.zrn).\n\ncommands:\n");
    size_t width = 0;
    for (const zrn_command& command : commands) {
        width = std::max(width, strlen(command.name));
    }
    for (const zrn_command& command : commands) {
        fprintf(out, "  %-*s  %s\n  %-*s  e.g. %s\n", static_cast<int>(width), command.name, command.summary,
                static_cast<int>(width), "", command.example);
    }
    fprintf(out, "\nexit status: 0 success, 1 unreadable or broken movie, 2 wrong command line\n");
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "zrn: no command given\n");
        print_help(stderr);
        return ZRN_EXIT_USAGE;
    }
    const char* name = argv[1];
    if (strcmp(name, "--help") == 0 || strcmp(name, "-h") == 0 || strcmp(name, "help") == 0) {
        print_help(stdout);
        return ZRN_EXIT_OK;
    }
    for (const zrn_command& command : commands) {
        if (strcmp(name, command.name) == 0) {
            return command.run(argc - 1, argv + 1);
        }
    }
    fprintf(stderr, "zrn: unknown command '%s'\nusage: zrn COMMAND [ARGS...] (see 'zrn --help')\n", name);
    return ZRN_EXIT_USAGE;
}
