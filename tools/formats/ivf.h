// IVF, the plain container of VP8 frames: a 32-byte file header ("DKIF",
// the codec's fourcc, the picture size, the time base and the frame count)
// and, per frame, a 12-byte header (payload size and a 64-bit timestamp in
// units of the time base) before the frame's bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct ivf_writer {
    FILE* file = nullptr;
    uint32_t frames = 0;
};

// Seconds per tick = time_base_numerator / time_base_denominator. The frame
// count is written by ivf_finish. Each returns false with *error set on a
// failure; the writer must then only be abandoned.
bool ivf_begin(ivf_writer* writer, const char* path, const char fourcc[4], uint16_t width, uint16_t height,
               uint32_t time_base_numerator, uint32_t time_base_denominator, std::string* error);
bool ivf_add_frame(ivf_writer* writer, int64_t timestamp, const uint8_t* data, uint32_t size,
                   std::string* error);
bool ivf_finish(ivf_writer* writer, std::string* error);
void ivf_abandon(ivf_writer* writer);
