// The on-disk records of a .zrn movie, laid out byte for byte as they are
// stored (little-endian) so that they are read and written whole.
//
// A movie is: the movie header; for each audio track its track header and
// `data_size` bytes of scrambled Ogg Vorbis data; the video track header; the
// video packets (packet header + scrambled VP8 frame); an end-of-stream packet
// header. Times are signed 64-bit counts of 100-ns units.
#pragma once

#include <cstddef>
#include <cstdint>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "records are read and written in the machine's byte order, which must be little-endian");

// The two magic words, "KTW " and "ZARN", as little-endian 32-bit values.
constexpr uint32_t ZARN_MAGIC_KTW = 0x2057544Bu;
constexpr uint32_t ZARN_MAGIC_ZARN = 0x4E52415Au;

// Packet flags.
constexpr uint32_t PACKET_FLAG_KEY_FRAME = 4;
constexpr uint32_t PACKET_FLAG_END_OF_STREAM = 8;

// Track type codes; the writer stores them in the first word of a track header.
constexpr int32_t ZARN_TRACK_TYPE_AUDIO = 1;
constexpr int32_t ZARN_TRACK_TYPE_CAPTION = 2;
constexpr int32_t ZARN_TRACK_TYPE_VIDEO = 3;

// 100-ns units per second.
constexpr int64_t ZARN_TIME_UNITS_PER_SECOND = 10000000;

#pragma pack(push, 4)

struct zarn_header {
    uint32_t magic[2];                // ZARN_MAGIC_KTW, ZARN_MAGIC_ZARN
    uint32_t reserved0;               // not read; the writer stores the format version
    int32_t frame_rate_numerator;     // frames per second = numerator / denominator
    int32_t frame_rate_denominator;
    uint32_t reserved1[3];            // not read
    int64_t duration;                 // 100-ns units
    int32_t audio_track_count;
    int32_t caption_track_count;      // not read
    int32_t video_track_count;
    uint32_t frame_blob_size;         // largest packet payload; 0 = encoding never finished
    uint32_t reserved2[2];            // not read
    int32_t width;
    int32_t height;
};

struct zarn_audio_track_fields {
    int32_t channels;
    int32_t sample_rate;              // Hz
    uint32_t reserved0;               // not read
    int64_t data_position;            // in memory only: file position of the track data
    uint32_t data_size;               // bytes of track data after the header
    uint32_t reserved1;               // not read
};

struct zarn_video_track_fields {
    int32_t width;
    int32_t height;
    uint32_t reserved0[2];            // not read
    uint32_t header_word;             // passed through to callers, never interpreted
    int64_t data_position;            // in memory only: file position of the first packet
};

struct zarn_track_header {
    uint32_t type;                    // not read; the writer stores the track type code
    char name[64];                    // NUL-terminated within the 64 bytes
    union {
        zarn_audio_track_fields audio;
        zarn_video_track_fields video;
    };
};

struct zarn_packet_header {
    int64_t timestamp;                // presentation time, 100-ns units
    uint32_t size;                    // payload bytes after this header
    uint32_t flags;                   // PACKET_FLAG_KEY_FRAME, PACKET_FLAG_END_OF_STREAM
};

#pragma pack(pop)

static_assert(sizeof(zarn_header) == 72);
static_assert(offsetof(zarn_header, magic) == 0);
static_assert(offsetof(zarn_header, frame_rate_numerator) == 12);
static_assert(offsetof(zarn_header, frame_rate_denominator) == 16);
static_assert(offsetof(zarn_header, duration) == 32);
static_assert(offsetof(zarn_header, audio_track_count) == 40);
static_assert(offsetof(zarn_header, caption_track_count) == 44);
static_assert(offsetof(zarn_header, video_track_count) == 48);
static_assert(offsetof(zarn_header, frame_blob_size) == 52);
static_assert(offsetof(zarn_header, width) == 64);
static_assert(offsetof(zarn_header, height) == 68);

static_assert(sizeof(zarn_track_header) == 96);
static_assert(offsetof(zarn_track_header, name) == 4);
static_assert(offsetof(zarn_track_header, audio.channels) == 68);
static_assert(offsetof(zarn_track_header, audio.sample_rate) == 72);
static_assert(offsetof(zarn_track_header, audio.data_position) == 80);
static_assert(offsetof(zarn_track_header, audio.data_size) == 88);
static_assert(offsetof(zarn_track_header, video.width) == 68);
static_assert(offsetof(zarn_track_header, video.height) == 72);
static_assert(offsetof(zarn_track_header, video.header_word) == 84);
static_assert(offsetof(zarn_track_header, video.data_position) == 88);

static_assert(sizeof(zarn_packet_header) == 16);
static_assert(offsetof(zarn_packet_header, timestamp) == 0);
static_assert(offsetof(zarn_packet_header, size) == 8);
static_assert(offsetof(zarn_packet_header, flags) == 12);
