// The movie writer: writes .zrn files from already compressed VP8 frames and
// Ogg Vorbis streams. Used by the zrn tool and by the tests, which also use
// its layout record and options to make deliberately broken movies.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/zarn_format.h"

struct zarn_writer_audio_track {
    std::string name;
    int32_t channels = 0;
    int32_t sample_rate = 0;
    std::vector<uint8_t> ogg_data;  // one Ogg Vorbis stream, unscrambled
};

struct zarn_writer_movie {
    int32_t width = 0;
    int32_t height = 0;
    int32_t frame_rate_numerator = 0;
    int32_t frame_rate_denominator = 1;
    std::string video_name;
    uint32_t header_word = 0;
    std::vector<zarn_writer_audio_track> audio_tracks;
};

// Ways to write a movie wrong on purpose.
struct zarn_writer_options {
    bool write_end_of_stream = true;
    // Written as frame_blob_size when set, instead of the largest packet size.
    bool override_frame_blob_size = false;
    uint32_t frame_blob_size = 0;
};

// Where each record of a written movie lies.
struct zarn_movie_layout {
    int64_t movie_header = 0;                  // always 0
    std::vector<int64_t> audio_track_headers;  // one per audio track
    std::vector<int64_t> audio_track_data;
    int64_t video_track_header = 0;
    std::vector<int64_t> packet_headers;       // one per packet, in order
    int64_t end_of_stream_header = -1;         // -1 when not written
    int64_t file_size = 0;
};

struct zarn_writer {
    FILE* file = nullptr;
    zarn_header header{};
    zarn_writer_options options;
    zarn_movie_layout layout;
    int64_t last_timestamp = 0;
    uint32_t largest_packet = 0;
    std::vector<uint8_t> scratch;  // scrambling buffer, reused
};

// Each returns true on success; on failure it prints one "zarn_writer_...()"
// line on standard error and the writer must only be finished or abandoned.

// Creates `path` and writes the movie header (completed by finish), the audio
// tracks with their scrambled data and the video track header.
bool zarn_writer_begin(zarn_writer* writer, const char* path, const zarn_writer_movie& movie,
                       const zarn_writer_options& options = {});
// Appends one video packet; `data` is the VP8 frame, scrambled on the way out.
bool zarn_writer_add_packet(zarn_writer* writer, int64_t timestamp, bool key_frame,
                            const uint8_t* data, uint32_t size);
// Writes the end-of-stream header, then the final movie header: duration
// (100-ns units; a negative value means the last timestamp plus one frame
// period) and frame_blob_size. Closes the file.
bool zarn_writer_finish(zarn_writer* writer, int64_t duration = -1);
// Closes the file without completing it.
void zarn_writer_abandon(zarn_writer* writer);

// Test helpers on written files: overwrite bytes at an offset, cut the file.
bool zarn_writer_patch(const char* path, int64_t offset, const void* bytes, size_t size);
bool zarn_writer_truncate(const char* path, int64_t size);
