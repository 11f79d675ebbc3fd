// zrn info: a movie's facts, read the way the codec reads them (headers,
// video track with its key-frame index), plus a count of the video packets.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "commands/cli.h"
#include "commands/commands.h"
#include "common/zarn_format.h"

namespace {

const cli_command_syntax syntax = {
    "info",
    "[--json] FILE",
    "Shows a movie's picture size, frame rate, duration, largest packet, its video\n"
    "track (packets and key frames) and its audio tracks. The movie is opened as\n"
    "the player opens it, so a movie the player refuses is refused here too.\n",
    {{"--json", nullptr, "print exactly one JSON object instead of text"}},
    1,
    1,
    {"zrn info movie.zrn", "zrn info --json movie.zrn"},
};

// A track name as a quoted JSON string. The name is NUL-terminated within
// its 64 bytes, or fills them when a file is careless; bytes that are not
// UTF-8 become U+FFFD so the output always parses.
std::string json_string(const char (&name)[64])
{
    const unsigned char* text = reinterpret_cast<const unsigned char*>(name);
    const size_t length = strnlen(name, sizeof(name));
    std::string out = "\"";
    for (size_t i = 0; i < length;) {
        const unsigned char c = text[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            i += 1;
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
            i += 1;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            i += 1;
        } else {
            // Length of a well-formed UTF-8 sequence starting here, or 0.
            size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
            for (size_t k = 1; n != 0 && k < n; ++k) {
                if (i + k >= length || (text[i + k] & 0xC0) != 0x80) {
                    n = 0;
                }
            }
            if (n == 3 && ((c == 0xE0 && text[i + 1] < 0xA0) || (c == 0xED && text[i + 1] > 0x9F))) {
                n = 0;  // overlong form or surrogate
            }
            if (n == 4 && ((c == 0xF0 && text[i + 1] < 0x90) || (c == 0xF4 && text[i + 1] > 0x8F))) {
                n = 0;  // overlong form or beyond U+10FFFF
            }
            if (n == 0) {
                out += "\\ufffd";
                i += 1;
            } else {
                out.append(name + i, n);
                i += n;
            }
        }
    }
    out += '"';
    return out;
}

// Seconds of a count of 100-ns units, exactly: "2", "1.001", "-0.5".
std::string seconds_text(int64_t units)
{
    const bool negative = units < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
    const uint64_t per_second = static_cast<uint64_t>(ZARN_TIME_UNITS_PER_SECOND);
    std::string text = (negative ? "-" : "") + std::to_string(magnitude / per_second);
    uint64_t fraction = magnitude % per_second;
    if (fraction != 0) {
        char digits[16];
        snprintf(digits, sizeof(digits), "%07" PRIu64, fraction);
        std::string decimals = digits;
        decimals.erase(decimals.find_last_not_of('0') + 1);
        text += "." + decimals;
    }
    return text;
}

std::string clock_text(int64_t units)
{
    if (units < 0) {
        return "negative";
    }
    const int64_t millis = units / (ZARN_TIME_UNITS_PER_SECOND / 1000);
    char text[48];
    snprintf(text, sizeof(text), "%02" PRId64 ":%02" PRId64 ":%02" PRId64 ".%03" PRId64, millis / 3600000,
             millis / 60000 % 60, millis / 1000 % 60, millis % 1000);
    return text;
}

void print_json(const cli_movie& movie, const cli_packet_count& count)
{
    const zarn_header& header = movie.decoder.header;
    const zarn_track_header& video = movie.decoder.video_track_headers[0];
    printf("{\"width\": %" PRId32 ", \"height\": %" PRId32 ", \"frame_rate\": [%" PRId32 ", %" PRId32
           "], \"duration\": %s, \"frame_blob_size\": %" PRIu32 ", \"audio_tracks\": [",
           header.width, header.height, header.frame_rate_numerator, header.frame_rate_denominator,
           seconds_text(header.duration).c_str(), header.frame_blob_size);
    for (int32_t i = 0; i < header.audio_track_count; ++i) {
        const zarn_track_header& audio = movie.decoder.audio_track_headers[i];
        printf("%s{\"name\": %s, \"channels\": %" PRId32 ", \"sample_rate\": %" PRId32 ", \"data_size\": %" PRIu32
               "}",
               i == 0 ? "" : ", ", json_string(audio.name).c_str(), audio.audio.channels, audio.audio.sample_rate,
               audio.audio.data_size);
    }
    printf("], \"video\": {\"name\": %s, \"width\": %" PRId32 ", \"height\": %" PRId32 ", \"packets\": %" PRId64
           ", \"key_frames\": %" PRId32 "}, \"valid\": true}\n",
           json_string(video.name).c_str(), video.video.width, video.video.height, count.packets,
           movie.video->keyframe_count);
}

void print_text(const cli_movie& movie, const cli_packet_count& count)
{
    const zarn_header& header = movie.decoder.header;
    const zarn_track_header& video = movie.decoder.video_track_headers[0];
    printf("%s\n", movie.path.c_str());
    printf("  picture:          %" PRId32 "x%" PRId32 "\n", header.width, header.height);
    printf("  frame rate:       %" PRId32 "/%" PRId32 " (%.3f frames per second)\n", header.frame_rate_numerator,
           header.frame_rate_denominator,
           static_cast<double>(header.frame_rate_numerator) / header.frame_rate_denominator);
    printf("  duration:         %s s (%s)\n", seconds_text(header.duration).c_str(),
           clock_text(header.duration).c_str());
    printf("  largest packet:   %" PRIu32 " bytes\n", header.frame_blob_size);
    printf("  video track:      %s, %" PRId32 "x%" PRId32 ", %" PRId64 " packets, %" PRId32 " key frames\n",
           json_string(video.name).c_str(), video.video.width, video.video.height, count.packets,
           movie.video->keyframe_count);
    if (header.audio_track_count == 0) {
        printf("  audio tracks:     none\n");
    }
    for (int32_t i = 0; i < header.audio_track_count; ++i) {
        const zarn_track_header& audio = movie.decoder.audio_track_headers[i];
        printf("  audio track %-4" PRId32 "  %s, %" PRId32 " channel%s, %" PRId32 " Hz, %" PRIu32 " bytes\n", i,
               json_string(audio.name).c_str(), audio.audio.channels, audio.audio.channels == 1 ? "" : "s",
               audio.audio.sample_rate, audio.audio.data_size);
    }
}

}  // namespace

int zrn_info(int argc, char** argv)
{
    cli_args args;
    const int parsed = cli_parse(syntax, argc, argv, &args);
    if (parsed >= 0) {
        return parsed;
    }
    cli_movie movie;
    int status = cli_movie_open(&movie, args.operands[0]);
    if (status == ZRN_EXIT_OK) {
        cli_packet_count count;
        // The video track's creation has walked the same packets already, so
        // a failure here means the file changed underneath us.
        if (cli_walk_packets(&movie, &count) != cli_walk_result::ok) {
            status = cli_fail(movie.path, "the video packets changed while being read");
        } else if (args.has("--json")) {
            print_json(movie, count);
        } else {
            print_text(movie, count);
        }
    }
    cli_movie_close(&movie);
    fflush(stdout);
    return status;
}
