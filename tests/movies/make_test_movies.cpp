// Makes the build's test movies in the folder given as the only argument:
// generated test-card pictures (tools/encode/zarn_test_pattern.h) encoded as
// VP8, sine tones (one frequency per channel) encoded as Ogg Vorbis, written
// with the movie writer. Beside each movie it leaves every audio track's Ogg
// stream, unscrambled, as NAME.a<N>.ogg and NAME.zrn.a<N>.ogg, for tests that
// decode it on their own. The output is the same on every run.
#include <cstdio>
#include <string>
#include <vector>

#include "writer/zarn_writer.h"
#include "zarn_encode.h"
#include "zarn_encode_sanitizer.h"
#include "zarn_test_pattern.h"

ZARN_ENCODE_LEAK_SUPPRESSIONS

namespace {

struct audio_plan {
    int32_t channels;
    int32_t sample_rate;
};

struct movie_plan {
    const char* name;
    int32_t width;
    int32_t height;
    int32_t frame_rate_numerator;
    int32_t frame_rate_denominator;
    int32_t frames;
    int32_t key_frame_interval;
    std::vector<audio_plan> audio;  // each lasts as long as the video
};

const movie_plan MOVIES[] = {
    {"video_64x48", 64, 48, 25, 1, 50, 10, {}},
    {"video_65x49", 65, 49, 25, 1, 25, 10, {}},
    {"keyframes_only", 64, 48, 1, 1, 10, 1, {}},
    {"keyint10s", 64, 48, 1, 1, 12, 10, {}},
    {"stereo", 64, 48, 25, 1, 50, 10, {{2, 44100}}},
    {"mono", 64, 48, 25, 1, 50, 10, {{1, 22050}}},
    {"six_channel", 64, 48, 25, 1, 50, 10, {{6, 48000}}},
    {"two_audio", 64, 48, 25, 1, 50, 10, {{2, 44100}, {1, 22050}}},
    {"ntsc", 64, 48, 30000, 1001, 30, 10, {}},
};

constexpr int32_t VIDEO_KBPS = 200;
constexpr float AUDIO_QUALITY = 0.3f;

int64_t frame_time(int64_t index, const movie_plan& plan)
{
    return index * ZARN_TIME_UNITS_PER_SECOND * plan.frame_rate_denominator / plan.frame_rate_numerator;
}

bool fail(const movie_plan& plan, const std::string& reason)
{
    fprintf(stderr, "make_test_movies: %s: %s\n", plan.name, reason.c_str());
    return false;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const bool ok = bytes.empty() || fwrite(bytes.data(), bytes.size(), 1, file) == 1;
    return fclose(file) == 0 && ok;
}

bool make_movie(const std::string& dir, const movie_plan& plan)
{
    std::string error;
    zarn_writer_movie movie;
    movie.width = plan.width;
    movie.height = plan.height;
    movie.frame_rate_numerator = plan.frame_rate_numerator;
    movie.frame_rate_denominator = plan.frame_rate_denominator;
    movie.video_name = "Video";
    const std::string base = dir + "/" + plan.name;
    for (size_t n = 0; n < plan.audio.size(); ++n) {
        const audio_plan& audio = plan.audio[n];
        // As many samples as the video lasts, rounded down.
        const int64_t frames = static_cast<int64_t>(plan.frames) * audio.sample_rate *
                               plan.frame_rate_denominator / plan.frame_rate_numerator;
        std::vector<double> frequencies;
        for (int32_t c = 0; c < audio.channels; ++c) {
            frequencies.push_back(zarn_test_tone_frequency(c, audio.channels));
        }
        const std::vector<int16_t> samples = zarn_test_tones(frequencies, audio.sample_rate, frames, 0.5);
        zarn_writer_audio_track track;
        track.name = "Audio " + std::to_string(n + 1);
        track.channels = audio.channels;
        track.sample_rate = audio.sample_rate;
        if (!zarn_vorbis_encode(samples.data(), frames, audio.channels, audio.sample_rate, AUDIO_QUALITY,
                                &track.ogg_data, &error)) {
            return fail(plan, error);
        }
        const std::string suffix = ".a" + std::to_string(n) + ".ogg";
        if (!write_file(base + suffix, track.ogg_data) || !write_file(base + ".zrn" + suffix, track.ogg_data)) {
            return fail(plan, "can't write the Ogg stream");
        }
        movie.audio_tracks.push_back(std::move(track));
    }

    zarn_vp8_settings settings;
    settings.width = plan.width;
    settings.height = plan.height;
    settings.frame_rate_numerator = plan.frame_rate_numerator;
    settings.frame_rate_denominator = plan.frame_rate_denominator;
    settings.target_kbps = VIDEO_KBPS;
    settings.key_frame_interval = plan.key_frame_interval;
    zarn_vp8_encoder* encoder = nullptr;
    if (!zarn_vp8_encoder_create(&encoder, settings, &error)) {
        return fail(plan, error);
    }
    std::vector<zarn_vp8_packet> packets;
    zarn_test_picture picture;
    bool ok = true;
    for (int32_t i = 0; ok && i < plan.frames; ++i) {
        zarn_test_card(&picture, plan.width, plan.height, i);
        ok = zarn_vp8_encoder_encode(encoder, picture.y(), plan.width, picture.u(), picture.chroma_width(),
                                     picture.v(), picture.chroma_width(), &packets, &error);
    }
    ok = ok && zarn_vp8_encoder_finish(encoder, &packets, &error);
    zarn_vp8_encoder_free(encoder);
    if (!ok) {
        return fail(plan, error);
    }
    // The tests rely on exactly this shape: one packet per frame, key frames
    // exactly where asked.
    if (packets.size() != static_cast<size_t>(plan.frames)) {
        return fail(plan, "the encoder gave " + std::to_string(packets.size()) + " packets");
    }
    for (const zarn_vp8_packet& packet : packets) {
        const bool key_expected = packet.frame_index % plan.key_frame_interval == 0;
        if (packet.key_frame != key_expected) {
            return fail(plan, "frame " + std::to_string(packet.frame_index) + " has the wrong frame type");
        }
    }

    zarn_writer writer;
    const std::string path = base + ".zrn";
    if (!zarn_writer_begin(&writer, path.c_str(), movie)) {
        zarn_writer_abandon(&writer);
        return fail(plan, "can't write the movie");
    }
    for (const zarn_vp8_packet& packet : packets) {
        if (!zarn_writer_add_packet(&writer, frame_time(packet.frame_index, plan), packet.key_frame,
                                    packet.data.data(), static_cast<uint32_t>(packet.data.size()))) {
            zarn_writer_abandon(&writer);
            return fail(plan, "can't write the movie");
        }
    }
    if (!zarn_writer_finish(&writer, frame_time(plan.frames, plan))) {
        return fail(plan, "can't write the movie");
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: make_test_movies DIR\n");
        return 2;
    }
    for (const movie_plan& plan : MOVIES) {
        if (!make_movie(argv[1], plan)) {
            return 1;
        }
    }
    return 0;
}
