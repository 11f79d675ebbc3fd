// zrn create: encodes a movie from a Y4M picture stream and WAV sound files,
// VP8 video and one Ogg Vorbis track per WAV, and writes it with the movie
// writer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "commands/cli.h"
#include "commands/commands.h"
#include "formats/wav.h"
#include "formats/y4m.h"
#include "writer/zarn_writer.h"
#include "zarn_encode.h"
#include "zarn_encode_sanitizer.h"

ZARN_ENCODE_LEAK_SUPPRESSIONS

namespace {

constexpr int64_t DEFAULT_KEYINT = 10;
constexpr int64_t DEFAULT_VIDEO_KBPS = 500;
constexpr double DEFAULT_AUDIO_QUALITY = 0.3;

const cli_command_syntax SYNTAX = {
    "create",
    "-o OUT.zrn --video IN.y4m [--audio IN.wav]... [--keyint N] [--video-kbps K] [--audio-quality Q]",
    "Encodes a movie: the pictures of IN.y4m as the VP8 video track and each\n"
    "IN.wav, in the order given, as an Ogg Vorbis audio track (\"Audio 1\",\n"
    "\"Audio 2\", ...). The movie lasts as long as its pictures, at the Y4M\n"
    "file's frame rate. Encoding is deterministic: the same input and options\n"
    "give the same file.\n"
    "IN.y4m: 8-bit 4:2:0 YUV4MPEG2 (C420jpeg, C420, C420mpeg2 or C420paldv),\n"
    "up to 16383x16383. IN.wav: 16-bit PCM, 1 to 8 channels, plain or\n"
    "WAVE_FORMAT_EXTENSIBLE, in the standard WAV channel order. '-' reads\n"
    "standard input (for one of the inputs).\n",
    {
        {"--output", "OUT.zrn", "the movie to write (required)", "-o"},
        {"--video", "IN.y4m", "the pictures (required)"},
        {"--audio", "IN.wav", "a sound track; give it again for more tracks", nullptr, true},
        {"--keyint", "N", "a key frame every N frames, at 0, N, 2N, ... (default 10; 1 = all)"},
        {"--video-kbps", "K", "VP8 target bit rate in kbit/s (default 500)"},
        {"--audio-quality", "Q", "Vorbis VBR quality from -0.1 to 1.0 (default 0.3)"},
    },
    0,
    0,
    {"zrn create -o movie.zrn --video pictures.y4m --audio sound.wav",
     "zrn create -o two.zrn --video pictures.y4m --audio en.wav --audio fr.wav --keyint 25"},
};

bool parse_quality(const std::string& text, double* quality)
{
    char* end = nullptr;
    const double value = strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= -0.1 && value <= 1.0)) {
        return false;
    }
    *quality = value;
    return true;
}

// Frame `index`'s time in 100-ns units, without overflow for any frame rate.
int64_t frame_time(int64_t index, int32_t numerator, int32_t denominator)
{
    const __int128 units = static_cast<__int128>(index) * ZARN_TIME_UNITS_PER_SECOND * denominator;
    return static_cast<int64_t>(units / numerator);
}

// Removes a movie left unfinished by a failure, and returns the exit status.
int abandon(zarn_writer* writer, const std::string& output, int status)
{
    zarn_writer_abandon(writer);
    remove(output.c_str());
    return status;
}

}  // namespace

int zrn_create(int argc, char** argv)
{
    cli_args args;
    if (const int status = cli_parse(SYNTAX, argc, argv, &args); status >= 0) {
        return status;
    }
    const std::string* output = args.value("--output");
    const std::string* video_path = args.value("--video");
    if (output == nullptr) {
        return cli_usage_error(SYNTAX, "no output movie given (-o OUT.zrn)");
    }
    if (video_path == nullptr) {
        return cli_usage_error(SYNTAX, "no pictures given (--video IN.y4m)");
    }
    int64_t keyint = DEFAULT_KEYINT;
    if (const std::string* text = args.value("--keyint"); text != nullptr && !cli_parse_int(*text, 1, INT32_MAX, &keyint)) {
        return cli_usage_error(SYNTAX, "--keyint takes a whole number of 1 or more");
    }
    int64_t kbps = DEFAULT_VIDEO_KBPS;
    if (const std::string* text = args.value("--video-kbps"); text != nullptr && !cli_parse_int(*text, 1, 1000000, &kbps)) {
        return cli_usage_error(SYNTAX, "--video-kbps takes a whole number from 1 to 1000000");
    }
    double quality = DEFAULT_AUDIO_QUALITY;
    if (const std::string* text = args.value("--audio-quality"); text != nullptr && !parse_quality(*text, &quality)) {
        return cli_usage_error(SYNTAX, "--audio-quality takes a number from -0.1 to 1.0");
    }
    const std::vector<std::string> audio_paths = args.all("--audio");
    int stdin_inputs = *video_path == "-" ? 1 : 0;
    for (const std::string& path : audio_paths) {
        stdin_inputs += path == "-" ? 1 : 0;
    }
    if (stdin_inputs > 1) {
        return cli_usage_error(SYNTAX, "only one input can be standard input");
    }

    // The audio tracks come first in the file, so they are encoded first.
    zarn_writer_movie movie;
    std::string error;
    for (const std::string& path : audio_paths) {
        wav_audio audio;
        if (!wav_read(path.c_str(), &audio, &error)) {
            return cli_fail(path, error);
        }
        wav_reorder_wav_to_vorbis(audio.samples.data(), audio.frames(), audio.channels);
        zarn_writer_audio_track track;
        track.name = "Audio " + std::to_string(movie.audio_tracks.size() + 1);
        track.channels = audio.channels;
        track.sample_rate = audio.sample_rate;
        if (!zarn_vorbis_encode(audio.samples.data(), audio.frames(), audio.channels, audio.sample_rate,
                                static_cast<float>(quality), &track.ogg_data, &error)) {
            return cli_fail(path, error);
        }
        movie.audio_tracks.push_back(std::move(track));
    }

    y4m_reader pictures;
    if (!y4m_reader_open(&pictures, video_path->c_str(), &error)) {
        return cli_fail(*video_path, error);
    }
    struct reader_closer {
        y4m_reader* reader;
        ~reader_closer() { y4m_reader_close(reader); }
    } close_pictures{&pictures};

    zarn_vp8_settings settings;
    settings.width = pictures.width;
    settings.height = pictures.height;
    settings.frame_rate_numerator = pictures.frame_rate_numerator;
    settings.frame_rate_denominator = pictures.frame_rate_denominator;
    settings.target_kbps = static_cast<int32_t>(kbps);
    settings.key_frame_interval = static_cast<int32_t>(keyint);
    zarn_vp8_encoder* encoder = nullptr;
    if (!zarn_vp8_encoder_create(&encoder, settings, &error)) {
        return cli_fail(*video_path, error);
    }
    struct encoder_freer {
        zarn_vp8_encoder* encoder;
        ~encoder_freer() { zarn_vp8_encoder_free(encoder); }
    } free_encoder{encoder};

    // See that the output can be made before the writer would report it in
    // a line of its own.
    if (FILE* probe = fopen(output->c_str(), "wb")) {
        fclose(probe);
    } else {
        return cli_fail(*output, "can't create the movie");
    }
    movie.width = pictures.width;
    movie.height = pictures.height;
    movie.frame_rate_numerator = pictures.frame_rate_numerator;
    movie.frame_rate_denominator = pictures.frame_rate_denominator;
    movie.video_name = "Video";
    zarn_writer writer;
    if (!zarn_writer_begin(&writer, output->c_str(), movie)) {
        return abandon(&writer, *output, cli_fail(*output, "can't write the movie"));
    }

    const int32_t num = pictures.frame_rate_numerator;
    const int32_t den = pictures.frame_rate_denominator;
    const int32_t width = pictures.width;
    const int32_t chroma_width = (width + 1) / 2;
    const size_t luma_size = static_cast<size_t>(width) * static_cast<size_t>(pictures.height);
    const size_t chroma_size = static_cast<size_t>(chroma_width) * static_cast<size_t>((pictures.height + 1) / 2);
    std::vector<uint8_t> planes;
    std::vector<zarn_vp8_packet> packets;
    int64_t frames = 0;
    bool more = true;
    while (more) {
        bool got = false;
        if (!y4m_reader_read_frame(&pictures, &planes, &got, &error)) {
            return abandon(&writer, *output, cli_fail(*video_path, error));
        }
        packets.clear();
        bool encoded = false;
        if (got) {
            encoded = zarn_vp8_encoder_encode(encoder, planes.data(), width, planes.data() + luma_size,
                                              chroma_width, planes.data() + luma_size + chroma_size,
                                              chroma_width, &packets, &error);
            ++frames;
        } else {
            encoded = zarn_vp8_encoder_finish(encoder, &packets, &error);
            more = false;
        }
        if (!encoded) {
            return abandon(&writer, *output, cli_fail(*video_path, error));
        }
        for (const zarn_vp8_packet& packet : packets) {
            if (!zarn_writer_add_packet(&writer, frame_time(packet.frame_index, num, den), packet.key_frame,
                                        packet.data.data(), static_cast<uint32_t>(packet.data.size()))) {
                return abandon(&writer, *output, cli_fail(*output, "can't write the movie"));
            }
        }
    }
    if (frames == 0) {
        return abandon(&writer, *output, cli_fail(*video_path, "no pictures in the stream"));
    }
    if (!zarn_writer_finish(&writer, frame_time(frames, num, den))) {
        remove(output->c_str());
        return cli_fail(*output, "can't write the movie");
    }
    return ZRN_EXIT_OK;
}
