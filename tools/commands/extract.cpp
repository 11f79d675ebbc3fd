// zrn extract: a movie's video packets as an IVF file and one audio track's
// Ogg Vorbis stream, both exactly as the movie holds them once descrambled.
#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "commands/cli.h"
#include "commands/commands.h"
#include "commands/movie_packets.h"
#include "formats/ivf.h"
#include "formats/ogg_vorbis.h"

namespace {

const cli_command_syntax syntax = {
    "extract",
    "FILE [--video OUT.ivf] [--audio OUT.ogg] [--audio-track N]",
    "Copies a movie's streams out without decoding them. OUT.ivf gets every video\n"
    "packet's VP8 frame unchanged, in stream order (fourcc VP80, the movie's picture\n"
    "size). Its time base is one frame period (the movie's frame rate turned upside\n"
    "down) when every packet's timestamp is a whole tick, that is, when a tick\n"
    "count converted back to 100-ns units (truncating) gives the timestamp again;\n"
    "otherwise it is 1/10000000 s and the ticks are the timestamps themselves.\n"
    "OUT.ogg gets one audio track's Ogg Vorbis stream byte for byte.\n"
    "At least one of --video and --audio is needed.\n",
    {
        {"--video", "OUT.ivf", "write the video packets here"},
        {"--audio", "OUT.ogg", "write the audio track here"},
        {"--audio-track", "N", "which audio track to write, from 0 (default 0)"},
    },
    1,
    1,
    {"zrn extract movie.zrn --video movie.ivf --audio movie.ogg",
     "zrn extract movie.zrn --audio second.ogg --audio-track 1"},
};

constexpr uint32_t FINE_TIME_BASE = 10000000;  // 100 ns per tick

// The tick of `timestamp` in a time base of `seconds_numerator` /
// `seconds_denominator` seconds, when converting that tick back to 100-ns
// units (truncating, as the movie's times are made) gives the timestamp.
bool exact_tick(int64_t timestamp, int64_t seconds_numerator, int64_t seconds_denominator, int64_t* tick)
{
    if (timestamp < 0) {
        return false;
    }
    // units per tick = 10^7 * numerator / denominator
    const __int128 units_numerator = static_cast<__int128>(FINE_TIME_BASE) * seconds_numerator;
    const __int128 scaled = static_cast<__int128>(timestamp) * seconds_denominator;
    const __int128 candidate = (scaled + units_numerator - 1) / units_numerator;  // rounded up
    if (candidate * units_numerator / seconds_denominator != timestamp) {
        return false;
    }
    *tick = static_cast<int64_t>(candidate);
    return true;
}

int extract_audio(cli_movie* movie, int32_t index, const std::string& out_path)
{
    const std::string track = "audio track " + std::to_string(index);
    std::vector<uint8_t> data;
    std::string reason;
    if (!movie_read_audio(movie, index, &data, &reason)) {
        return cli_fail(movie->path, track + ": " + reason);
    }
    // The stream is copied as it is, but only once it is known to be the
    // Ogg Vorbis stream the file's name will promise.
    vorbis_stream stream;
    if (!ogg_vorbis_read(data.data(), data.size(), &stream, &reason)) {
        return cli_fail(movie->path, track + ": " + reason);
    }
    FILE* out = fopen(out_path.c_str(), "wb");
    if (out == nullptr) {
        return cli_fail(out_path, "can't create the file");
    }
    const bool ok = data.empty() || fwrite(data.data(), data.size(), 1, out) == 1;
    if (fclose(out) != 0 || !ok) {
        return cli_fail(out_path, "can't write the file");
    }
    return ZRN_EXIT_OK;
}

int extract_video(cli_movie* movie, const std::string& out_path)
{
    const zarn_header& header = movie->decoder.header;
    if (header.width > 0xFFFF || header.height > 0xFFFF) {
        return cli_fail(movie->path, "the picture is too large for an IVF file");
    }
    // First the timestamps alone, to choose the time base.
    std::string reason;
    if (!movie_rewind_packets(movie, &reason)) {
        return cli_fail(movie->path, reason);
    }
    const int64_t period_numerator = header.frame_rate_denominator;  // seconds per frame
    const int64_t period_denominator = header.frame_rate_numerator;
    bool frame_ticks = period_numerator > 0 && period_denominator > 0;
    movie_packet packet;
    for (;;) {
        const movie_read_result got = movie_next_packet(movie, &packet, false, &reason);
        if (got == movie_read_result::failed) {
            return cli_fail(movie->path, reason);
        }
        if (got == movie_read_result::end) {
            break;
        }
        int64_t tick = 0;
        frame_ticks = frame_ticks && exact_tick(packet.timestamp, period_numerator, period_denominator, &tick);
    }

    std::string error;
    ivf_writer writer;
    const uint32_t numerator = frame_ticks ? static_cast<uint32_t>(period_numerator) : 1;
    const uint32_t denominator = frame_ticks ? static_cast<uint32_t>(period_denominator) : FINE_TIME_BASE;
    if (!ivf_begin(&writer, out_path.c_str(), "VP80", static_cast<uint16_t>(header.width),
                   static_cast<uint16_t>(header.height), numerator, denominator, &error)) {
        ivf_abandon(&writer);
        return cli_fail(out_path, error);
    }
    if (!movie_rewind_packets(movie, &reason)) {
        ivf_abandon(&writer);
        return cli_fail(movie->path, reason);
    }
    for (;;) {
        const movie_read_result got = movie_next_packet(movie, &packet, true, &reason);
        if (got == movie_read_result::failed) {
            ivf_abandon(&writer);
            return cli_fail(movie->path, reason);
        }
        if (got == movie_read_result::end) {
            break;
        }
        int64_t tick = packet.timestamp;
        if (frame_ticks) {
            exact_tick(packet.timestamp, period_numerator, period_denominator, &tick);
        }
        if (!ivf_add_frame(&writer, tick, packet.payload.data(), static_cast<uint32_t>(packet.payload.size()),
                           &error)) {
            ivf_abandon(&writer);
            return cli_fail(out_path, error);
        }
    }
    if (!ivf_finish(&writer, &error)) {
        return cli_fail(out_path, error);
    }
    return ZRN_EXIT_OK;
}

}  // namespace

int zrn_extract(int argc, char** argv)
{
    cli_args args;
    const int parsed = cli_parse(syntax, argc, argv, &args);
    if (parsed >= 0) {
        return parsed;
    }
    const std::string* video_path = args.value("--video");
    const std::string* audio_path = args.value("--audio");
    if (video_path == nullptr && audio_path == nullptr) {
        return cli_usage_error(syntax, "nothing to extract: give --video, --audio or both");
    }
    int64_t track = 0;
    if (const std::string* text = args.value("--audio-track")) {
        if (audio_path == nullptr) {
            return cli_usage_error(syntax, "--audio-track needs --audio");
        }
        if (!cli_parse_int(*text, 0, INT32_MAX, &track)) {
            return cli_usage_error(syntax, "--audio-track wants a track number from 0, not '" + *text + "'");
        }
    }

    cli_movie movie;
    int status = cli_movie_open(&movie, args.operands[0]);
    if (status == ZRN_EXIT_OK && audio_path != nullptr) {
        const int32_t count = movie.decoder.header.audio_track_count;
        if (track >= count) {
            status = cli_fail(movie.path, count == 0 ? std::string("the movie has no audio track")
                                                     : "the movie has no audio track " + std::to_string(track) +
                                                           " (it has " + std::to_string(count) + ")");
        } else {
            status = extract_audio(&movie, static_cast<int32_t>(track), *audio_path);
        }
    }
    if (status == ZRN_EXIT_OK && video_path != nullptr) {
        status = extract_video(&movie, *video_path);
    }
    cli_movie_close(&movie);
    return status;
}
