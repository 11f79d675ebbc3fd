// What the engine tests share: the test movies and a scratch folder, an
// independent reader and VP8 decode of a movie's packets, writing variants
// of a movie, an event recorder, and waiting for the worker.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/zarn_format.h"
#include "zarn.h"

namespace engine {

// Path of a build test movie (video_64x48.zrn ...).
std::string test_movie(const std::string& name);
// A fresh path in this test program's scratch folder.
std::string scratch_path(const std::string& name);
// Copies a test movie to a scratch path and returns that path.
std::string scratch_copy(const std::string& movie, const std::string& name);

// One video packet as stored, its payload descrambled.
struct packet {
    int64_t position = 0;  // of the packet header
    zarn_packet_header header{};
    std::vector<uint8_t> payload;
};
struct movie_records {
    zarn_header header{};
    std::vector<zarn_track_header> audio_headers;
    std::vector<std::vector<uint8_t>> audio_data;  // descrambled Ogg streams
    int64_t video_header_position = 0;
    zarn_track_header video_header{};
    std::vector<packet> packets;  // without the end-of-stream header
};
movie_records read_records(const std::string& path);

// A picture's visible samples: Y width x height, U and V rounded up halves.
struct picture {
    int64_t timestamp = 0;
    std::vector<uint8_t> planes[3];
    bool operator==(const picture& other) const;
};
picture picture_from_planes(const uint8_t* const data[3], const int32_t stride[3], int32_t width, int32_t height);
picture picture_from_frame(const zarn_frame& frame);

// Every picture libvpx shows for the packets, in order, each stamped with
// its packet's time.
std::vector<picture> decode_pictures(const movie_records& records);
// The picture shown at `time` (seconds): the last shown one not later.
const picture& picture_at(const std::vector<picture>& pictures, double time);

// Writes `records` (its header fields, tracks and packets) as a new movie.
void write_movie(const std::string& path, const movie_records& records);

// Records the events a movie delivers.
struct event_log {
    std::vector<int32_t> events;
    static void callback(void* user_data, int32_t event);
};

// Polls `done` every millisecond for up to `seconds`; returns its last answer.
bool wait_until(const std::function<bool()>& done, double seconds);

// The number of threads of this process.
int thread_count();

// Opens `path` and expects success; fails the test otherwise.
zarn_decoder* open_movie(const std::string& path, event_log* events = nullptr);

// The waiting frame taken as planes (a frame must be waiting).
picture take_picture(zarn_decoder* movie);

}  // namespace engine
