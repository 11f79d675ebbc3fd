// zrn decode: a movie's shown pictures as YUV4MPEG2 and one audio track as a
// 16-bit WAV, decoded by the codec's own video and audio tracks.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "commands/cli.h"
#include "commands/commands.h"
#include "common/zarn_format.h"
#include "formats/wav.h"
#include "formats/y4m.h"

namespace {

const cli_command_syntax syntax = {
    "decode",
    "FILE [--video OUT.y4m] [--audio OUT.wav] [--audio-track N]",
    "Decodes a movie with the player's own decoders. Every picture the stream\n"
    "shows goes to OUT.y4m in stream order (YUV4MPEG2, 4:2:0 C420jpeg, the movie's\n"
    "frame rate); frames that show no picture write nothing. Every sample of one\n"
    "audio track goes to OUT.wav as 16-bit PCM with the stream's exact length, in\n"
    "WAV channel order (WAVE_FORMAT_EXTENSIBLE with a channel mask for 3 or more\n"
    "channels). '-' writes to standard output; /dev/null decodes for timing only.\n"
    "At least one of --video and --audio is needed.\n",
    {
        {"--video", "OUT.y4m", "write the pictures here"},
        {"--audio", "OUT.wav", "write the audio track here"},
        {"--audio-track", "N", "which audio track to decode, from 0 (default 0)"},
    },
    1,
    1,
    {"zrn decode movie.zrn --video out.y4m --audio out.wav",
     "zrn decode movie.zrn --audio second.wav --audio-track 1", "time zrn decode movie.zrn --video /dev/null"},
};

// Sample frames decoded per block; a block is always whole sample frames, so
// the codec never pads one with silence before the stream's end.
constexpr int64_t FRAMES_PER_BLOCK = 1024;

int decode_audio(cli_movie* movie, int32_t index, const std::string& out_path)
{
    const zarn_track_header& header = movie->decoder.audio_track_headers[index];
    zarn_audio_track* track = nullptr;
    int32_t result = zarn_audio_track_create(&track, &header, movie->file);
    if (result != ZARN_OK) {
        return cli_fail(movie->path, "audio track " + std::to_string(index) + ": " + cli_reason(result));
    }
    // The length in sample frames, as the stream's last granule position
    // gives it; the codec's blocks would pad the last one with silence.
    const ogg_int64_t total = ov_pcm_total(&track->vorbis_file, -1);
    const int32_t channels = header.audio.channels;
    if (total < 0) {
        zarn_audio_track_free(track);
        return cli_fail(movie->path, "audio track " + std::to_string(index) + ": can't tell its length");
    }

    std::string error;
    wav_writer writer;
    if (!wav_writer_open(&writer, out_path.c_str(), channels, header.audio.sample_rate, total, &error)) {
        zarn_audio_track_free(track);
        return cli_fail(out_path, error);
    }
    std::vector<int16_t> block(static_cast<size_t>(FRAMES_PER_BLOCK * channels));
    int status = ZRN_EXIT_OK;
    const ogg_int64_t start = ov_pcm_tell(&track->vorbis_file);
    for (int64_t done = 0; done < total && status == ZRN_EXIT_OK;) {
        int64_t frames = std::min<int64_t>(FRAMES_PER_BLOCK, total - done);
        const int32_t bytes = static_cast<int32_t>(frames * channels * static_cast<int64_t>(sizeof(int16_t)));
        zarn_audio_track_decode_block(track, reinterpret_cast<uint8_t*>(block.data()), bytes);
        // A stream whose last granule position promises more than its
        // packets hold ends early: keep what was decoded and stop, rather
        // than writing silence up to a length a damaged file may make huge.
        const int64_t decoded = ov_pcm_tell(&track->vorbis_file) - start - done;
        const bool ended = decoded < frames;
        frames = std::clamp<int64_t>(decoded, 0, frames);
        wav_reorder_vorbis_to_wav(block.data(), frames, channels);
        if (!wav_writer_write(&writer, block.data(), frames, &error)) {
            status = cli_fail(out_path, error);
        }
        done += frames;
        if (ended) {
            break;
        }
    }
    if (!wav_writer_close(&writer, &error) && status == ZRN_EXIT_OK) {
        status = cli_fail(out_path, error);
    }
    zarn_audio_track_free(track);
    return status;
}

int decode_video(cli_movie* movie, const std::string& out_path)
{
    zarn_video_track* track = movie->video;
    const zarn_header& header = movie->decoder.header;
    // The audio track read its data from the same file; the video track
    // expects it at the first packet.
    if (zarn_fseek(movie->file, track->header.video.data_position, SEEK_SET) != 0) {
        return cli_fail(movie->path, cli_reason(ZARN_VIDEO_TRACK_ERROR_SEEK_FIRST_PACKET));
    }
    std::string error;
    y4m_writer writer;
    if (!y4m_writer_open(&writer, out_path.c_str(), header.width, header.height, header.frame_rate_numerator,
                         header.frame_rate_denominator, &error)) {
        return cli_fail(out_path, error);
    }
    int status = ZRN_EXIT_OK;
    for (;;) {
        int32_t result = zarn_video_track_decode_frame(track);
        if (result != ZARN_OK) {
            status = cli_fail(movie->path, cli_reason(result));
            break;
        }
        if ((track->packet_header.flags & PACKET_FLAG_END_OF_STREAM) != 0) {
            break;
        }
        if (track->picture == nullptr) {
            continue;  // a frame that is not shown
        }
        result = zarn_video_track_get_frame_image(track);
        if (result != ZARN_OK) {
            status = cli_fail(movie->path, cli_reason(result));
            break;
        }
        const vpx_image_t* image = track->yuv_frame;
        if (!y4m_writer_write_frame(&writer, image->planes[VPX_PLANE_Y], image->stride[VPX_PLANE_Y],
                                    image->planes[VPX_PLANE_U], image->stride[VPX_PLANE_U],
                                    image->planes[VPX_PLANE_V], image->stride[VPX_PLANE_V], &error)) {
            status = cli_fail(out_path, error);
            break;
        }
    }
    if (!y4m_writer_close(&writer, &error) && status == ZRN_EXIT_OK) {
        status = cli_fail(out_path, error);
    }
    return status;
}

}  // namespace

int zrn_decode(int argc, char** argv)
{
    cli_args args;
    const int parsed = cli_parse(syntax, argc, argv, &args);
    if (parsed >= 0) {
        return parsed;
    }
    const std::string* video_out = args.value("--video");
    const std::string* audio_out = args.value("--audio");
    if (video_out == nullptr && audio_out == nullptr) {
        return cli_usage_error(syntax, "nothing to do: give --video, --audio or both");
    }
    int64_t audio_index = 0;
    if (const std::string* text = args.value("--audio-track")) {
        if (audio_out == nullptr) {
            return cli_usage_error(syntax, "--audio-track needs --audio");
        }
        if (!cli_parse_int(*text, 0, INT32_MAX, &audio_index)) {
            return cli_usage_error(syntax, "--audio-track wants a track number from 0, not '" + *text + "'");
        }
    }
    if (video_out != nullptr && audio_out != nullptr && *video_out == "-" && *audio_out == "-") {
        return cli_usage_error(syntax, "only one of --video and --audio can write to standard output");
    }

    cli_movie movie;
    int status = cli_movie_open(&movie, args.operands[0]);
    if (status == ZRN_EXIT_OK && audio_out != nullptr && audio_index >= movie.decoder.header.audio_track_count) {
        const int32_t count = movie.decoder.header.audio_track_count;
        status = cli_usage_error(syntax, movie.path + " has no audio track " + std::to_string(audio_index) + " (it has " +
                                           std::to_string(count) + (count == 1 ? " track)" : " tracks)"));
    }
    if (status == ZRN_EXIT_OK && audio_out != nullptr) {
        status = decode_audio(&movie, static_cast<int32_t>(audio_index), *audio_out);
    }
    if (status == ZRN_EXIT_OK && video_out != nullptr) {
        status = decode_video(&movie, *video_out);
    }
    cli_movie_close(&movie);
    return status;
}
