// zrn check: whether movies are playable. Each is opened through zarn_open
// exactly as the player opens it (so a movie with sound needs its sound
// device), then every packet of every track is decoded.
#include <cinttypes>
#include <cstdio>
#include <string>

#include "commands/cli.h"
#include "commands/commands.h"
#include "common/zarn_format.h"
#include "zarn.h"

namespace {

const cli_command_syntax syntax = {
    "check",
    "FILE...",
    "Checks that each movie is playable: opens it through the codec's public\n"
    "interface exactly as the player does (a movie with sound needs ALSA's\n"
    "\"default\" device), then decodes every video packet and every audio track\n"
    "to its end. Prints one line per movie; exit 0 when all are playable, else\n"
    "1, with the reason for each movie that is not.\n",
    {},
    1,
    1 << 20,
    {"zrn check movie.zrn", "zrn check *.zrn"},
};

struct check_counts {
    int64_t packets = 0;
    int64_t pictures = 0;
};

// Decodes every video packet; returns an empty string or the reason.
std::string check_video(cli_movie* movie, check_counts* counts)
{
    zarn_video_track* track = movie->video;
    if (zarn_fseek(movie->file, track->header.video.data_position, SEEK_SET) != 0) {
        return cli_reason(ZARN_VIDEO_TRACK_ERROR_SEEK_FIRST_PACKET);
    }
    for (;;) {
        const int32_t result = zarn_video_track_decode_frame(track);
        if (result != ZARN_OK) {
            return "video packet " + std::to_string(counts->packets) + ": " + cli_reason(result);
        }
        if ((track->packet_header.flags & PACKET_FLAG_END_OF_STREAM) != 0) {
            return "";
        }
        ++counts->packets;
        if (track->picture != nullptr) {
            ++counts->pictures;
        }
    }
}

// Decodes audio track `index` to its end; returns an empty string or the
// reason.
std::string check_audio(cli_movie* movie, int32_t index)
{
    const std::string name = "audio track " + std::to_string(index);
    zarn_audio_track* track = nullptr;
    const int32_t result =
        zarn_audio_track_create(&track, &movie->decoder.audio_track_headers[index], movie->file);
    if (result != ZARN_OK) {
        return name + ": " + cli_reason(result);
    }
    std::string reason;
    char block[4096];
    int bitstream = 0;
    for (;;) {
        const long got = ov_read(&track->vorbis_file, block, sizeof(block), &bitstream);
        if (got == 0) {
            break;
        }
        if (got < 0) {
            reason = name + ": damaged Vorbis data (Tremor code " + std::to_string(got) + ")";
            break;
        }
    }
    zarn_audio_track_free(track);
    return reason;
}

// Returns ZRN_EXIT_OK after the movie's "playable" line, or the failure.
int check_movie(const std::string& path)
{
    zarn_decoder* opened = nullptr;
    const int32_t open_result = zarn_open(path.c_str(), &opened, nullptr, nullptr);
    if (open_result == ZARN_OK) {
        zarn_close(opened);
    }

    // Read again with the tracks on their own, to name a reason and to
    // decode everything.
    cli_movie movie;
    int status = cli_movie_open(&movie, path);  // prints its own failure line
    if (status == ZRN_EXIT_OK && open_result != ZARN_OK) {
        status = cli_fail(path, "the codec can't open it (code " + std::to_string(open_result) +
                                    "; its lines above say why: a movie with sound needs a working sound device)");
    }
    check_counts counts;
    if (status == ZRN_EXIT_OK) {
        std::string reason = check_video(&movie, &counts);
        for (int32_t i = 0; reason.empty() && i < movie.decoder.header.audio_track_count; ++i) {
            reason = check_audio(&movie, i);
        }
        if (!reason.empty()) {
            status = cli_fail(path, reason);
        }
    }
    if (status == ZRN_EXIT_OK) {
        printf("%s: playable (%" PRId64 " video packets, %" PRId64 " pictures, %" PRId32 " audio tracks)\n",
               path.c_str(), counts.packets, counts.pictures, movie.decoder.header.audio_track_count);
    }
    cli_movie_close(&movie);
    return status;
}

}  // namespace

int zrn_check(int argc, char** argv)
{
    cli_args args;
    const int parsed = cli_parse(syntax, argc, argv, &args);
    if (parsed >= 0) {
        return parsed;
    }
    if (zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr) != ZARN_OK) {
        return cli_fail(args.operands[0], "the codec refuses its interface version");
    }
    int status = ZRN_EXIT_OK;
    for (const std::string& path : args.operands) {
        if (check_movie(path) != ZRN_EXIT_OK) {
            status = ZRN_EXIT_FAILURE;
        }
    }
    zarn_finalise();
    return status;
}
