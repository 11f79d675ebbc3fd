// zrn play: plays a movie in real time through the codec's public interface
// only, with sound on ALSA's "default" device and no window. It takes each
// picture as it falls due, as the player does, and counts the pictures shown
// and those that fell due but were replaced before they were taken.
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "commands/cli.h"
#include "commands/commands.h"
#include "zarn.h"

namespace {

const cli_command_syntax syntax = {
    "play",
    "FILE [--loop] [--start SECONDS]",
    "Plays a movie in real time as the player does, through the codec's public\n"
    "interface, with sound on ALSA's \"default\" device and no window. Each picture\n"
    "is taken as it falls due. Shows the time as 'hh:mm:ss / hh:mm:ss' (one line\n"
    "kept up to date on a terminal, a line per second otherwise) and, at the end,\n"
    "how many pictures were shown and how many were dropped. Ends at the end of\n"
    "the movie, or runs on with --loop; Ctrl+C stops and closes cleanly (exit 0).\n"
    "A movie the codec cannot open (also when its sound device cannot be opened)\n"
    "exits 1 after the codec's own lines.\n",
    {
        {"--loop", nullptr, "start again from the beginning at the end"},
        {"--start", "SECONDS", "start at this time (decimal seconds)"},
    },
    1,
    1,
    {"zrn play movie.zrn", "zrn play movie.zrn --loop --start 30.5"},
};

volatile sig_atomic_t interrupted = 0;

void on_interrupt(int)
{
    interrupted = 1;
}

struct play_events {
    bool ended = false;
    int64_t loops = 0;
};

void on_event(void* user_data, int32_t event)
{
    play_events* events = static_cast<play_events*>(user_data);
    if (event == ZARN_EVENT_END_OF_MOVIE) {
        events->ended = true;
        ++events->loops;
    }
}

std::string clock_text(double seconds)
{
    const int64_t whole = seconds > 0.0 ? static_cast<int64_t>(seconds) : 0;
    char text[32];
    snprintf(text, sizeof(text), "%02" PRId64 ":%02" PRId64 ":%02" PRId64, whole / 3600, whole / 60 % 60,
             whole % 60);
    return text;
}

bool parse_seconds(const std::string& text, double* out)
{
    errno = 0;
    char* end = nullptr;
    const double value = strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || errno != 0 || !std::isfinite(value) || value < 0.0) {
        return false;
    }
    *out = value;
    return true;
}

// Plays until the end (unless looping) or an interrupt; returns the exit status.
int run(zarn_decoder* movie, const std::string& path, play_events* events, bool loop)
{
    const zarn_track_header* track = nullptr;
    zarn_video_track_info info{};
    double duration = 0.0;
    if (zarn_get_track(movie, ZARN_TRACK_VIDEO, 0, &track) != ZARN_OK ||
        zarn_get_video_track_info(movie, track, &info) != ZARN_OK || zarn_get_duration(movie, &duration) != ZARN_OK) {
        return cli_fail(path, "the codec gives no video track information");
    }
    int32_t result = zarn_play(movie);
    if (result != ZARN_OK) {
        return cli_fail(path, "can't start playing (codec code " + std::to_string(result) + ")");
    }

    const bool terminal = isatty(STDOUT_FILENO) != 0;
    const std::string total = clock_text(duration);
    int64_t shown = 0;
    int64_t dropped = 0;
    int64_t last_index = -1;
    int64_t last_second = -1;
    while (!interrupted) {
        zarn_pulse_events(movie);
        int32_t state = ZARN_STATE_PLAYING;
        zarn_get_state(movie, &state);
        // The movie has rewound by the time its end event is delivered.
        if ((events->ended || state == ZARN_STATE_STOPPED) && !loop) {
            break;
        }
        bool ready = false;
        zarn_is_frame_ready(movie, &ready);
        double time = 0.0;
        zarn_get_time(movie, &time);
        if (ready) {
            zarn_frame frame;
            zarn_get_current_frame(movie, &frame);
            ++shown;
            // Pictures whose time came and went since the last one taken.
            const int64_t index = static_cast<int64_t>(std::floor(time * info.frame_rate + 1e-6));
            if (last_index >= 0 && index > last_index + 1) {
                dropped += index - last_index - 1;
            }
            last_index = index;
        }
        const int64_t second = static_cast<int64_t>(time);
        if (second != last_second) {
            last_second = second;
            if (terminal) {
                printf("\r%s / %s", clock_text(time).c_str(), total.c_str());
            } else {
                printf("%s / %s\n", clock_text(time).c_str(), total.c_str());
            }
            fflush(stdout);
        }
        if (events->ended) {
            events->ended = false;  // looping: count on from the start
            last_index = -1;
        }
        usleep(1000);
    }
    if (terminal) {
        printf("\n");
    }
    int32_t state = ZARN_STATE_STOPPED;
    zarn_get_state(movie, &state);
    if (state != ZARN_STATE_STOPPED) {
        zarn_stop(movie);
    }
    printf("%s: %" PRId64 " pictures shown, %" PRId64 " dropped%s\n", path.c_str(), shown, dropped,
           interrupted ? " (interrupted)" : "");
    return ZRN_EXIT_OK;
}

}  // namespace

int zrn_play(int argc, char** argv)
{
    cli_args args;
    const int parsed = cli_parse(syntax, argc, argv, &args);
    if (parsed >= 0) {
        return parsed;
    }
    double start = 0.0;
    if (const std::string* text = args.value("--start")) {
        if (!parse_seconds(*text, &start)) {
            return cli_usage_error(syntax, "--start wants seconds from 0, not '" + *text + "'");
        }
    }
    const std::string& path = args.operands[0];
    const bool loop = args.has("--loop");

    if (zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr) != ZARN_OK) {
        return cli_fail(path, "the codec refuses its interface version");
    }
    play_events events;
    zarn_decoder* movie = nullptr;
    const int32_t result = zarn_open(path.c_str(), &movie, on_event, &events);
    if (result != ZARN_OK) {
        zarn_finalise();
        return cli_fail(path, "the codec can't open it (code " + std::to_string(result) +
                                  "; its lines above say why)");
    }

    struct sigaction action = {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    int status = ZRN_EXIT_OK;
    zarn_set_loop(movie, loop);
    if (start > 0.0) {
        const int32_t seek = zarn_set_time(movie, start);
        if (seek != ZARN_OK) {
            status = cli_fail(path, "can't seek to " + std::to_string(start) + " s (codec code " +
                                        std::to_string(seek) + ")");
        }
    }
    if (status == ZRN_EXIT_OK) {
        status = run(movie, path, &events, loop);
    }
    zarn_close(movie);
    zarn_finalise();
    return status;
}
