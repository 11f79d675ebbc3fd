// Generated pictures and tones for the build's test movies and the player's
// sample movie: a test card that moves from frame to frame (so every frame
// differs and inter frames carry motion) and sine tones of a fixed frequency
// per channel. Header only.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

// One I420 picture, planes packed one after another without padding: Y of
// width x height, then U and V of (width+1)/2 x (height+1)/2.
struct zarn_test_picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> planes;

    int32_t chroma_width() const { return (width + 1) / 2; }
    int32_t chroma_height() const { return (height + 1) / 2; }
    uint8_t* y() { return planes.data(); }
    uint8_t* u() { return y() + static_cast<size_t>(width) * height; }
    uint8_t* v() { return u() + static_cast<size_t>(chroma_width()) * chroma_height(); }
};

// Frame `index` of the card: a diagonal luma gradient that scrolls, eight
// vertical colour bars in the chroma planes, and a white square that crosses
// the picture, one step per frame.
inline void zarn_test_card(zarn_test_picture* picture, int32_t width, int32_t height, int64_t index)
{
    picture->width = width;
    picture->height = height;
    const int32_t cw = picture->chroma_width();
    const int32_t ch = picture->chroma_height();
    picture->planes.assign(static_cast<size_t>(width) * height + 2 * static_cast<size_t>(cw) * ch, 0);

    const int32_t box = width / 6 > 4 ? width / 6 : 4;
    const int32_t box_x = static_cast<int32_t>((index * 3) % (width > box ? width - box + 1 : 1));
    const int32_t box_y = static_cast<int32_t>((index * 2) % (height > box ? height - box + 1 : 1));
    uint8_t* y = picture->y();
    for (int32_t row = 0; row < height; ++row) {
        for (int32_t col = 0; col < width; ++col) {
            const bool in_box = col >= box_x && col < box_x + box && row >= box_y && row < box_y + box;
            const int64_t level = 16 + (col * 2 + row * 3 + index * 5) % 200;
            y[static_cast<size_t>(row) * width + col] = in_box ? 235 : static_cast<uint8_t>(level);
        }
    }
    static const uint8_t bar_u[8] = {128, 16, 166, 54, 202, 90, 240, 128};
    static const uint8_t bar_v[8] = {128, 146, 16, 34, 222, 240, 110, 128};
    uint8_t* u = picture->u();
    uint8_t* v = picture->v();
    for (int32_t row = 0; row < ch; ++row) {
        for (int32_t col = 0; col < cw; ++col) {
            const int32_t bar = static_cast<int32_t>(((col * 8) / cw + index) % 8);
            u[static_cast<size_t>(row) * cw + col] = bar_u[bar];
            v[static_cast<size_t>(row) * cw + col] = bar_v[bar];
        }
    }
}

// The tone of channel `channel` (Vorbis order) of a `channels`-channel
// track in the generated movies: 440 Hz for the first, 220 Hz higher for
// each next one, except the low-frequency channel of 6 to 8 channel tracks
// (their last), which gets 80 Hz: the Vorbis encoder keeps only the lowest
// frequencies of that channel.
inline double zarn_test_tone_frequency(int32_t channel, int32_t channels)
{
    if (channels >= 6 && channels <= 8 && channel == channels - 1) {
        return 80.0;
    }
    return 440.0 + 220.0 * channel;
}

// `frames` interleaved samples per channel of a sine per channel at
// frequencies[c], amplitude `amplitude` (0..1 of full scale).
inline std::vector<int16_t> zarn_test_tones(const std::vector<double>& frequencies, int32_t sample_rate,
                                            int64_t frames, double amplitude)
{
    const size_t channels = frequencies.size();
    std::vector<int16_t> samples(static_cast<size_t>(frames) * channels);
    const double two_pi = 6.283185307179586;
    for (int64_t i = 0; i < frames; ++i) {
        for (size_t c = 0; c < channels; ++c) {
            const double phase = two_pi * frequencies[c] * static_cast<double>(i) / sample_rate;
            samples[static_cast<size_t>(i) * channels + c] =
                static_cast<int16_t>(std::lround(32767.0 * amplitude * std::sin(phase)));
        }
    }
    return samples;
}
