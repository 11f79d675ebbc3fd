// The encoders behind `zrn create` and the build's generated movies: VP8
// through libvpx and Ogg Vorbis through libvorbisenc and libogg.
//
// This is a shared library of its own that carries libvorbis and
// libvorbisenc inside it and exports nothing but the functions below. Tremor,
// which the codec decodes with, defines functions of the same names as
// libvorbis over different structures; keeping libvorbis hidden in here lets
// one process encode and decode without either library's calls reaching the
// other.
//
// Both encoders are deterministic: the same input and settings give the same
// bytes on every run (one thread, fixed rate control, fixed Ogg serial).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct zarn_vp8_settings {
    int32_t width = 0;
    int32_t height = 0;
    int32_t frame_rate_numerator = 25;
    int32_t frame_rate_denominator = 1;
    int32_t target_kbps = 500;
    // Every keyint-th frame (0, keyint, 2*keyint, ...) is a key frame and no
    // other frame is; 1 makes every frame a key frame.
    int32_t key_frame_interval = 10;
};

// One compressed frame.
struct zarn_vp8_packet {
    std::vector<uint8_t> data;
    int64_t frame_index = 0;  // presentation time in frames
    bool key_frame = false;
};

struct zarn_vp8_encoder;

// Each returns true on success; on failure it sets *error (when not null) to
// a short reason without a final full stop and returns false.

// Sizes up to 16383x16383; a frame rate and a bit rate above 0; an interval
// of 1 or more.
bool zarn_vp8_encoder_create(zarn_vp8_encoder** encoder, const zarn_vp8_settings& settings,
                             std::string* error);
// Encodes the next frame, given as I420 planes with their strides (chroma
// planes of (width+1)/2 x (height+1)/2), and appends what comes out to
// *packets: exactly one packet per frame.
bool zarn_vp8_encoder_encode(zarn_vp8_encoder* encoder, const uint8_t* y, int32_t y_stride,
                             const uint8_t* u, int32_t u_stride, const uint8_t* v, int32_t v_stride,
                             std::vector<zarn_vp8_packet>* packets, std::string* error);
// Drains the encoder at the end of the stream into *packets.
bool zarn_vp8_encoder_finish(zarn_vp8_encoder* encoder, std::vector<zarn_vp8_packet>* packets,
                             std::string* error);
// Accepts null.
void zarn_vp8_encoder_free(zarn_vp8_encoder* encoder);

// The Ogg serial number of every stream zarn_vorbis_encode makes.
constexpr int32_t ZARN_VORBIS_SERIAL = 0x5A524E31;

// Encodes interleaved signed 16-bit samples, channels in Vorbis order, into
// one complete Ogg Vorbis stream (headers, audio, end of stream) in *ogg.
// `quality` is libvorbisenc's VBR quality, -0.1 to 1.0. `frames` counts
// samples per channel; 0 gives a valid empty stream.
bool zarn_vorbis_encode(const int16_t* samples, int64_t frames, int32_t channels, int32_t sample_rate,
                        float quality, std::vector<uint8_t>* ogg, std::string* error);
