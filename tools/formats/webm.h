// WebM (Matroska) files: a writer of the small subset a movie needs and a
// reader built on libwebm's parser.
//
// The writer lays a file out as players expect it: the EBML header, one
// Segment with a SeekHead, Info (1 ms timecode scale, duration), Tracks, the
// Clusters (a new one at every video key frame, frames as SimpleBlocks) and
// Cues on the video key frames. A frame may carry a DiscardPadding, which
// then goes into a BlockGroup: Vorbis uses it for the samples its last
// packet decodes beyond the stream's end.
//
// The reader takes in the whole structure but no frame data: each frame is
// kept as its place in the file, to be read when it is needed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

constexpr uint64_t WEBM_TRACK_TYPE_VIDEO = 1;
constexpr uint64_t WEBM_TRACK_TYPE_AUDIO = 2;

struct webm_track {
    uint64_t number = 0;  // from 1
    uint64_t type = 0;    // WEBM_TRACK_TYPE_*
    std::string codec_id;  // "V_VP8", "A_VORBIS"
    std::string name;
    std::vector<uint8_t> codec_private;
    uint64_t default_duration = 0;  // ns per frame; 0 for none
    uint64_t width = 0;             // video
    uint64_t height = 0;
    double sampling_frequency = 0;  // audio
    uint64_t channels = 0;
    bool encoded = false;  // read only: the track's frames are compressed or encrypted
};

// ---- Writing ----

struct webm_cue {
    uint64_t time;              // timecode
    uint64_t track;
    uint64_t cluster_position;  // from the start of the Segment's data
};

struct webm_writer {
    FILE* file = nullptr;
    std::vector<webm_track> tracks;
    int64_t segment_size_at = 0;  // the Segment's 8-byte size field
    int64_t segment_data = 0;     // where the Segment's data begins
    int64_t seek_head_at = 0;
    int64_t info_at = 0;
    int64_t tracks_at = 0;
    std::vector<uint8_t> cluster;  // the open cluster's children
    bool cluster_open = false;
    int64_t cluster_time = 0;      // timecode of the open cluster
    std::vector<webm_cue> cues;
};

// Each returns false with *error set on a failure; the writer must then only
// be abandoned.
bool webm_begin(webm_writer* writer, const char* path, const std::vector<webm_track>& tracks,
                std::string* error);
// Appends one frame of track `track` at `timestamp` ns (rounded to the
// millisecond timecode). Frames are given in the order they are to be
// stored, each track's in time order. `discard_padding` (ns) > 0 stores the
// frame in a BlockGroup with that DiscardPadding.
bool webm_add_frame(webm_writer* writer, uint64_t track, int64_t timestamp, bool key_frame, const uint8_t* data,
                    size_t size, int64_t discard_padding, std::string* error);
// Closes the last cluster, writes the cues, the duration (ns) and the sizes.
bool webm_finish(webm_writer* writer, int64_t duration, std::string* error);
void webm_abandon(webm_writer* writer);

// ---- Reading ----

struct webm_frame {
    uint64_t track = 0;
    int64_t timestamp = 0;  // ns
    bool key_frame = false;
    bool laced = false;     // one of several frames in its block
    uint64_t position = 0;  // of the frame's bytes in the file
    uint64_t size = 0;
    int64_t discard_padding = 0;  // ns
};

struct webm_file {
    std::string doc_type;
    uint64_t timecode_scale = 1000000;  // ns per timecode
    double duration = -1;               // in timecodes; < 0 when not given
    std::vector<webm_track> tracks;
    std::vector<webm_frame> frames;     // in file order
};

// Parses a whole file with libwebm's parser. Returns false with *error set
// when the file cannot be read, is no WebM or Matroska file, or is damaged or
// cut short.
bool webm_read(const char* path, webm_file* file, std::string* error);

// Reads one frame's bytes from a file open for reading.
bool webm_read_frame_data(FILE* file, const webm_frame& frame, std::vector<uint8_t>* data, std::string* error);
