// Small helpers of the encoder tests: decoding an in-memory Ogg Vorbis stream
// with Tremor (the codec's decoder) and measuring a tone in a channel.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>
#include <vector>

#include <tremor/ivorbisfile.h>

struct decoded_audio {
    bool ok = false;
    int channels = 0;
    long sample_rate = 0;
    std::vector<int16_t> samples;  // interleaved, Vorbis order
    int64_t frames() const { return channels > 0 ? static_cast<int64_t>(samples.size()) / channels : 0; }
};

struct memory_source {
    const std::vector<uint8_t>* bytes;
    size_t at;
};

inline decoded_audio decode_with_tremor(const std::vector<uint8_t>& ogg)
{
    ov_callbacks callbacks{};
    callbacks.read_func = [](void* ptr, size_t size, size_t count, void* source) -> size_t {
        auto* in = static_cast<memory_source*>(source);
        const size_t left = in->bytes->size() - in->at;
        const size_t bytes = size == 0 ? 0 : std::min(left / size, count) * size;
        memcpy(ptr, in->bytes->data() + in->at, bytes);
        in->at += bytes;
        return size == 0 ? 0 : bytes / size;
    };
    callbacks.seek_func = [](void* source, ogg_int64_t offset, int whence) -> int {
        auto* in = static_cast<memory_source*>(source);
        const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(in->at)
                                                                         : static_cast<int64_t>(in->bytes->size());
        const int64_t to = base + offset;
        if (to < 0 || to > static_cast<int64_t>(in->bytes->size())) {
            return -1;
        }
        in->at = static_cast<size_t>(to);
        return 0;
    };
    callbacks.close_func = [](void*) -> int { return 0; };
    callbacks.tell_func = [](void* source) -> long { return static_cast<long>(static_cast<memory_source*>(source)->at); };

    decoded_audio out;
    memory_source source{&ogg, 0};
    OggVorbis_File file;
    if (ov_open_callbacks(&source, &file, nullptr, 0, callbacks) != 0) {
        return out;
    }
    const vorbis_info* info = ov_info(&file, -1);
    out.channels = info->channels;
    out.sample_rate = info->rate;
    char buffer[8192];
    int section = 0;
    for (;;) {
        const long got = ov_read(&file, buffer, sizeof(buffer), &section);
        if (got < 0) {
            ov_clear(&file);
            return out;
        }
        if (got == 0) {
            break;
        }
        const size_t count = static_cast<size_t>(got) / 2;
        const size_t at = out.samples.size();
        out.samples.resize(at + count);
        memcpy(out.samples.data() + at, buffer, count * 2);
    }
    ov_clear(&file);
    out.ok = true;
    return out;
}

// The amplitude (0..1 of full scale) of the `frequency` Hz component of
// channel `channel`, over whole samples from `skip` on.
inline double tone_amplitude(const std::vector<int16_t>& samples, int channels, int channel, double rate,
                             double frequency, int64_t skip = 0)
{
    const int64_t frames = static_cast<int64_t>(samples.size()) / channels;
    double in_phase = 0;
    double quadrature = 0;
    int64_t count = 0;
    for (int64_t i = skip; i < frames; ++i) {
        const double x = samples[static_cast<size_t>(i * channels + channel)] / 32767.0;
        const double phase = 6.283185307179586 * frequency * static_cast<double>(i) / rate;
        in_phase += x * std::sin(phase);
        quadrature += x * std::cos(phase);
        ++count;
    }
    return count == 0 ? 0 : 2.0 * std::sqrt(in_phase * in_phase + quadrature * quadrature) / static_cast<double>(count);
}
