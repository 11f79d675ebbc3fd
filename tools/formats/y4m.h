// YUV4MPEG2 (.y4m) pictures: a reader for 8-bit 4:2:0 input and a writer
// that stores I420 frames with C420jpeg chroma. A plane of chroma holds
// (width+1)/2 x (height+1)/2 samples.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct y4m_reader {
    FILE* file = nullptr;
    bool owns_file = false;
    int32_t width = 0;
    int32_t height = 0;
    int32_t frame_rate_numerator = 0;
    int32_t frame_rate_denominator = 0;
    std::string colorspace;  // as written after 'C', "420jpeg" when absent
    int64_t frames_read = 0;
};

// Each returns true on success, or false with *error set to a short reason.

// Opens `path` ("-" for standard input) and reads the stream header. Accepts
// the 4:2:0 colour spaces 420jpeg, 420, 420mpeg2 and 420paldv (and no C
// field, which means 420jpeg); sizes 1..16383; a frame rate above 0.
bool y4m_reader_open(y4m_reader* reader, const char* path, std::string* error);
// Reads the next frame into *planes as packed Y, U, V planes. Sets *got to
// false at a clean end of the stream; a cut frame is an error.
bool y4m_reader_read_frame(y4m_reader* reader, std::vector<uint8_t>* planes, bool* got,
                           std::string* error);
void y4m_reader_close(y4m_reader* reader);

// Bytes of one packed I420 frame.
size_t y4m_frame_size(int32_t width, int32_t height);

struct y4m_writer {
    FILE* file = nullptr;
    bool owns_file = false;
    int32_t width = 0;
    int32_t height = 0;
};

// Creates `path` ("-" for standard output) and writes the stream header
// "YUV4MPEG2 W H F num:den Ip A1:1 C420jpeg".
bool y4m_writer_open(y4m_writer* writer, const char* path, int32_t width, int32_t height,
                     int32_t frame_rate_numerator, int32_t frame_rate_denominator, std::string* error);
// Writes "FRAME" and the three planes, reading width x height luma and
// (width+1)/2 x (height+1)/2 chroma samples through the given strides.
bool y4m_writer_write_frame(y4m_writer* writer, const uint8_t* y, int32_t y_stride, const uint8_t* u,
                            int32_t u_stride, const uint8_t* v, int32_t v_stride, std::string* error);
// Flushes and closes; false when anything written earlier was lost.
bool y4m_writer_close(y4m_writer* writer, std::string* error);
