// The VP8 video track: reads packets from the movie file, descrambles and
// decodes them with libvpx, and copies shown pictures into I420 frame images.
// A key-frame index built at creation makes seeking cheap. Used only from the
// decoder's worker thread.
#pragma once

#include <cstdint>
#include <vpx/vp8dx.h>
#include <vpx/vpx_decoder.h>

#include "../common/zarn_file.h"
#include "../common/zarn_format.h"

struct zarn_keyframe_info {
    int64_t position;   // file position of the key frame's packet header
    int64_t timestamp;  // 100-ns units
};

struct zarn_video_track {
    zarn_track_header header;           // copy, with video.data_position
    zarn_file* file;                    // not owned
    vpx_codec_ctx_t decoder;
    zarn_packet_header packet_header;   // the packet last read by decode or seek
    uint8_t* frame_blob;                // frame_blob_size bytes: one payload at a time
    uint32_t frame_blob_size;
    vpx_image_t* yuv_frame;             // the frame image (I420, alignment 4)
    zarn_keyframe_info* keyframe_info;  // key frames in stream order
    int32_t keyframe_count;
    // The picture of the last decoded packet, owned by libvpx and valid until
    // the next decode; null when that packet shows no picture (an alternate
    // reference frame) or once it has been copied.
    vpx_image_t* picture;
};

// Creates the track from the in-memory video track header (with
// data_position) and the open file (not owned), with a payload buffer of
// `frame_blob_size` bytes; scans the whole packet stream for key frames and
// leaves the file at the first packet. `*track` must be null; it is set on
// success and left null on failure. Returns 0 or -16000 to -16005: -16002
// also for a picture size of 0 or above 16384, -16004 (after the scan's
// line) for a stream the scan refuses.
int32_t zarn_video_track_create(zarn_video_track** track, const zarn_track_header* track_header,
                                zarn_file* file, uint32_t frame_blob_size);
// Reads and decodes the next packet; `picture` then holds its picture, or
// null when the frame is not to be shown. An end-of-stream header returns 0
// with PACKET_FLAG_END_OF_STREAM in packet_header, decodes nothing and
// leaves `picture` as it was. Returns 0, -16011 (header unreadable), -16012
// (payload empty or unreadable), -16013 (libvpx refused the frame, or its
// size differs from the track's) or -16024 (size above frame_blob_size,
// refused before the payload is read).
int32_t zarn_video_track_decode_frame(zarn_video_track* track);
// Copies `picture` into the track's frame image (yuv_frame) and clears it,
// so each decoded picture is copied once. Chroma is copied with its size
// rounded up, so odd sizes leave no visible sample undefined. Returns 0, or
// -16021 with the image unchanged when there is no picture to copy.
int32_t zarn_video_track_get_frame_image(zarn_video_track* track);
// The same into another image of the track's size and format (the decoder
// alternates between several so a frame being read is never overwritten).
int32_t zarn_video_track_copy_frame_image(zarn_video_track* track, vpx_image_t* image);
// Positions the track so the picture for `time` (seconds) is decoded: from
// the last key frame at or before it, decodes up to the last packet not later
// than it (at least the first packet). Should that packet show no picture,
// decoding goes on to the next one that does, or to the end-of-stream
// header. The next decode reads the packet after the last one decoded.
// Does not copy the picture. Returns 0 or -16006 to -16010.
int32_t zarn_video_track_set_time(zarn_video_track* track, double time);
// Builds the key-frame index (called by create): two passes over the packet
// stream, reading headers only. Refuses a stream whose first packet is no
// key frame (-16022) and a packet larger than frame_blob_size (-16023).
// Returns 0 or -16014 to -16020, -16022, -16023; the file is left anywhere.
int32_t zarn_video_track_scan_for_key_frames(zarn_video_track* track);
// Releases everything the track owns and the track. Accepts null.
void zarn_video_track_free(zarn_video_track* track);
