// Shared pieces of the track tests: small movies made on the spot with the
// writer and libvpx's VP8 encoder, an independent reader of a movie's
// records, recording and counting services, and the test movies.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <vpx/vpx_image.h>

#include "common/zarn_file.h"
#include "common/zarn_format.h"
#include "decoder/zarn_decoder.h"
#include "writer/zarn_writer.h"

namespace tracks {

// One compressed VP8 frame.
struct encoded_frame {
    std::vector<uint8_t> data;
    bool key_frame = false;
};

// Encodes `count` generated pictures (a pattern that moves from frame to
// frame) of `width` x `height`. Frame i is a key frame when
// `key_interval` > 0 and i % key_interval == 0, or when key_interval is 0
// and i == 0.
std::vector<encoded_frame> encode_frames(int32_t width, int32_t height, int32_t count, int32_t key_interval);

// Writes a movie of the given frames, frame i at `timestamps[i]`.
zarn_movie_layout write_movie(const std::string& path, int32_t width, int32_t height,
                              const std::vector<encoded_frame>& frames, const std::vector<int64_t>& timestamps,
                              const zarn_writer_options& options = {},
                              const std::vector<zarn_writer_audio_track>& audio = {});

// Timestamps i * period for `count` frames.
std::vector<int64_t> timestamps_every(int64_t period, int32_t count);

// A fresh path in the test's scratch folder.
std::string scratch_path(const std::string& name);

// Path of a test movie by name (video_64x48.zrn, keyframes_only.zrn ...).
// The build's generated movies are used when present; otherwise an
// equivalent one is made once in the scratch folder (audio from the Ogg
// streams generated beside the test). Also gives `<movie>.a<N>.ogg`.
std::string test_movie(const std::string& name);
// Copies a file; returns false on failure.
bool copy_file(const std::string& from, const std::string& to);

// A movie's records as an independent reader finds them.
struct packet_record {
    int64_t position = 0;  // of the packet header
    zarn_packet_header header{};
};
struct movie_records {
    zarn_header header{};
    std::vector<int64_t> audio_header_positions;
    std::vector<zarn_track_header> audio_headers;
    int64_t video_header_position = 0;
    zarn_track_header video_header{};
    std::vector<packet_record> packets;  // not counting the end of stream
    int64_t end_of_stream_position = -1;
    int64_t file_size = 0;
};
movie_records read_records(const std::string& path);
// The descrambled payload of packet `index`.
std::vector<uint8_t> read_payload(const std::string& path, const movie_records& records, size_t index);

// The visible samples of one I420 picture, plane by plane, chroma rounded up.
struct picture_samples {
    std::vector<uint8_t> planes[3];
};
picture_samples visible_samples(const vpx_image_t* image, int32_t width, int32_t height);

// Memory services that note the largest single request.
struct counting_memory {
    counting_memory();
    ~counting_memory();
    static size_t largest;
    static size_t count;
};

// File services that note where each read starts and how many bytes it asks.
struct read_record {
    int64_t position;
    size_t bytes;
};
struct recording_files {
    recording_files();
    ~recording_files();
    static std::vector<read_record> reads;
};

// A movie file opened and its headers read the way the zrn tool does it: a
// value-initialised decoder record with only `file` set.
struct opened_movie {
    zarn_file* file = nullptr;
    zarn_decoder decoder{};
    int32_t result = 0;  // of zarn_decoder_read_headers, or the file's code
    explicit opened_movie(const std::string& path);
    ~opened_movie();
    opened_movie(const opened_movie&) = delete;
    opened_movie& operator=(const opened_movie&) = delete;
};

}  // namespace tracks
