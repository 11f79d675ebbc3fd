#include "zarn_video_track.h"

#include <cassert>
#include <cstdio>
#include <cstring>

#include "../common/zarn_crypt.h"
#include "../common/zarn_log.h"
#include "../common/zarn_memory.h"
#include "../zarn_results.h"

namespace {

// Pictures larger than this on either side are refused before libvpx is
// asked to allocate an image for them.
constexpr int32_t MAX_PICTURE_SIDE = 16384;

// Skips the payload of the packet whose header was just read.
bool skip_payload(zarn_file* file, const zarn_packet_header& packet)
{
    return zarn_fseek(file, static_cast<int64_t>(packet.size), SEEK_CUR) == 0;
}

// Seconds to 100-ns units, truncated toward zero; times outside the 64-bit
// range (and NaN) are pinned to its ends rather than converted undefinedly.
int64_t seconds_to_units(double time)
{
    const double units = time * static_cast<double>(ZARN_TIME_UNITS_PER_SECOND);
    if (!(units > -9.2e18)) {
        return INT64_MIN;
    }
    if (units >= 9.2e18) {
        return INT64_MAX;
    }
    return static_cast<int64_t>(units);
}

// Copies the visible picture into `image` row by row. Chroma planes are
// copied with their rounded-up size, so an odd width or height leaves no
// column or row of the image undefined.
void copy_picture(const vpx_image_t* picture, vpx_image_t* image, int32_t width, int32_t height)
{
    const int32_t chroma_width = (width + 1) / 2;
    const int32_t chroma_height = (height + 1) / 2;
    for (int plane = 0; plane < 3; ++plane) {
        const int32_t columns = plane == 0 ? width : chroma_width;
        const int32_t rows = plane == 0 ? height : chroma_height;
        const uint8_t* source = picture->planes[plane];
        uint8_t* target = image->planes[plane];
        for (int32_t row = 0; row < rows; ++row) {
            memcpy(target, source, static_cast<size_t>(columns));
            source += picture->stride[plane];
            target += image->stride[plane];
        }
    }
}

}  // namespace

int32_t zarn_video_track_create(zarn_video_track** track, const zarn_track_header* track_header,
                                zarn_file* file, uint32_t frame_blob_size)
{
    assert(track != nullptr);
    assert(*track == nullptr);
    assert(track_header != nullptr);
    assert(file != nullptr);

    zarn_video_track* created = static_cast<zarn_video_track*>(zarn_malloc(sizeof(zarn_video_track)));
    if (created == nullptr) {
        zarn_log_error("zarn_video_track_create() : Couldn't allocate track.");
        return ZARN_VIDEO_TRACK_ERROR_ALLOCATE;
    }
    memset(static_cast<void*>(created), 0, sizeof(zarn_video_track));
    created->header = *track_header;
    created->file = file;
    created->frame_blob_size = frame_blob_size;

    if (vpx_codec_dec_init(&created->decoder, vpx_codec_vp8_dx(), nullptr, 0) != VPX_CODEC_OK) {
        zarn_log_error("zarn_video_track_create() : Couldn't create decompressor.");
        zarn_video_track_free(created);
        return ZARN_VIDEO_TRACK_ERROR_CREATE_DECOMPRESSOR;
    }

    const int32_t width = created->header.video.width;
    const int32_t height = created->header.video.height;
    if (width > 0 && height > 0 && width <= MAX_PICTURE_SIDE && height <= MAX_PICTURE_SIDE) {
        created->yuv_frame = vpx_img_alloc(nullptr, VPX_IMG_FMT_I420, static_cast<unsigned int>(width),
                                           static_cast<unsigned int>(height), 4);
    }
    if (created->yuv_frame == nullptr) {
        zarn_log_error("zarn_video_track_create() : Couldn't allocate yuv frame.");
        zarn_video_track_free(created);
        return ZARN_VIDEO_TRACK_ERROR_ALLOCATE_YUV_FRAME;
    }

    // One byte at least, so that an allocator returning null for 0 bytes
    // is not taken for a failure.
    created->frame_blob = static_cast<uint8_t*>(zarn_malloc(frame_blob_size > 0 ? frame_blob_size : 1));
    if (created->frame_blob == nullptr) {
        zarn_log_error("zarn_video_track_create() : Couldn't allocate frame blob.");
        zarn_video_track_free(created);
        return ZARN_VIDEO_TRACK_ERROR_ALLOCATE_FRAME_BLOB;
    }

    if (zarn_video_track_scan_for_key_frames(created) != ZARN_OK) {
        zarn_log_error("zarn_video_track_create() : Couldn't examine track.");
        zarn_video_track_free(created);
        return ZARN_VIDEO_TRACK_ERROR_EXAMINE;
    }

    if (zarn_fseek(file, created->header.video.data_position, SEEK_SET) != 0) {
        zarn_log_error("zarn_video_track_create() : Couldn't seek to first packet.");
        zarn_video_track_free(created);
        return ZARN_VIDEO_TRACK_ERROR_SEEK_FIRST_PACKET;
    }

    *track = created;
    return ZARN_OK;
}

namespace {

// Appends one record to the key-frame index, growing it geometrically.
bool index_append(zarn_video_track* track, int32_t& capacity, const zarn_keyframe_info& record)
{
    if (track->keyframe_count == capacity) {
        // Every packet header takes 16 bytes of the file, so the index stays far
        // below what 32 bits hold for any file that can be read.
        if (capacity > INT32_MAX / 2 / static_cast<int32_t>(sizeof(zarn_keyframe_info))) {
            return false;
        }
        const int32_t grown = capacity == 0 ? 256 : capacity * 2;
        void* records = zarn_realloc(track->keyframe_info, static_cast<size_t>(grown) * sizeof(zarn_keyframe_info));
        if (records == nullptr) {
            return false;
        }
        track->keyframe_info = static_cast<zarn_keyframe_info*>(records);
        capacity = grown;
    }
    track->keyframe_info[track->keyframe_count++] = record;
    return true;
}

}  // namespace

int32_t zarn_video_track_scan_for_key_frames(zarn_video_track* track)
{
    assert(track != nullptr);
    zarn_file* file = track->file;
    zarn_packet_header packet{};

    // One pass over the packet headers: check each packet against the payload
    // buffer and the stream's start, and note where each key frame lies.
    // Positions are counted rather than asked of the file, and payloads are
    // skipped with one seek each, so a long movie costs one read and one seek
    // per packet.
    int64_t position = track->header.video.data_position;
    if (zarn_fseek(file, position, SEEK_SET) != 0) {
        zarn_log_error("zarn_video_track_scan_for_key_frames() : Couldn't seek to start of track data.");
        return ZARN_VIDEO_TRACK_ERROR_SCAN_SEEK_START;
    }
    if (track->keyframe_info != nullptr) {
        zarn_free(track->keyframe_info);
        track->keyframe_info = nullptr;
    }
    track->keyframe_count = 0;
    int32_t capacity = 0;
    for (bool first = true;; first = false) {
        if (zarn_fread(file, &packet, sizeof(packet), 1) != 1) {
            zarn_log_error("zarn_video_track_scan_for_key_frames() : Couldn't read packet header.");
            return ZARN_VIDEO_TRACK_ERROR_SCAN_READ_HEADER;
        }
        const bool key_frame = (packet.flags & PACKET_FLAG_KEY_FRAME) != 0;
        if (first && !key_frame) {
            // Seeking starts from a key frame; a stream that does not open
            // with one has nothing to start the first picture from.
            zarn_log_error("zarn_video_track_scan_for_key_frames() : Stream doesn't start with a key frame.");
            return ZARN_VIDEO_TRACK_ERROR_SCAN_NO_LEADING_KEY_FRAME;
        }
        if (!key_frame && (packet.flags & PACKET_FLAG_END_OF_STREAM) != 0) {
            return ZARN_OK;
        }
        if (packet.size > track->frame_blob_size) {
            zarn_log_error("zarn_video_track_scan_for_key_frames() : Packet is larger than the frame blob.");
            return ZARN_VIDEO_TRACK_ERROR_SCAN_PACKET_TOO_LARGE;
        }
        if (key_frame && !index_append(track, capacity, {position, packet.timestamp})) {
            zarn_log_error("zarn_video_track_scan_for_key_frames() : Couldn't allocate keyframe info.");
            return ZARN_VIDEO_TRACK_ERROR_SCAN_ALLOCATE_INDEX;
        }
        if (!skip_payload(file, packet)) {
            zarn_log_error("zarn_video_track_scan_for_key_frames() : Couldn't seek to next packet.");
            return ZARN_VIDEO_TRACK_ERROR_SCAN_NEXT_PACKET;
        }
        position += static_cast<int64_t>(sizeof(packet)) + packet.size;
    }
}

int32_t zarn_video_track_decode_frame(zarn_video_track* track)
{
    assert(track != nullptr);

    if (zarn_fread(track->file, &track->packet_header, sizeof(zarn_packet_header), 1) != 1) {
        zarn_log_error("zarn_video_track_decode_frame() : Couldn't read packet header.");
        return ZARN_VIDEO_TRACK_ERROR_READ_HEADER;
    }
    if ((track->packet_header.flags & PACKET_FLAG_END_OF_STREAM) != 0) {
        return ZARN_OK;
    }

    const uint32_t size = track->packet_header.size;
    if (size > track->frame_blob_size) {
        zarn_log_error("zarn_video_track_decode_frame() : Packet is larger than the frame blob.");
        return ZARN_VIDEO_TRACK_ERROR_PACKET_TOO_LARGE;
    }
    if (size == 0 || zarn_fread(track->file, track->frame_blob, size, 1) != 1) {
        zarn_log_error("zarn_video_track_decode_frame() : Couldn't read packet data.");
        return ZARN_VIDEO_TRACK_ERROR_READ_DATA;
    }
    zarn_crypt_decrypt(track->frame_blob, size);

    // Whatever picture the previous packet left is gone once libvpx decodes
    // the next one.
    track->picture = nullptr;
    if (vpx_codec_decode(&track->decoder, track->frame_blob, size, nullptr, 0) != VPX_CODEC_OK) {
        zarn_log_error("zarn_video_track_decode_frame() : Couldn't decode frame.");
        return ZARN_VIDEO_TRACK_ERROR_DECODE;
    }

    // libvpx hands a picture out once per decoded packet, and none for a
    // frame that is not to be shown. A picture of another size than the
    // track's would be copied out of bounds, so such a frame counts as one
    // the track cannot decode.
    vpx_codec_iter_t iterator = nullptr;
    vpx_image_t* picture = vpx_codec_get_frame(&track->decoder, &iterator);
    if (picture != nullptr &&
        (picture->fmt != VPX_IMG_FMT_I420 ||
         picture->d_w != static_cast<unsigned int>(track->header.video.width) ||
         picture->d_h != static_cast<unsigned int>(track->header.video.height))) {
        zarn_log_error("zarn_video_track_decode_frame() : Couldn't decode frame.");
        return ZARN_VIDEO_TRACK_ERROR_DECODE;
    }
    assert(vpx_codec_get_frame(&track->decoder, &iterator) == nullptr);
    track->picture = picture;
    return ZARN_OK;
}

int32_t zarn_video_track_get_frame_image(zarn_video_track* track)
{
    assert(track != nullptr);

    if (track->picture == nullptr) {
        zarn_log_error("zarn_video_track_get_frame_image() : Couldn't get frame image.");
        return ZARN_VIDEO_TRACK_ERROR_GET_FRAME_IMAGE;
    }
    copy_picture(track->picture, track->yuv_frame, track->header.video.width, track->header.video.height);
    track->picture = nullptr;
    return ZARN_OK;
}

int32_t zarn_video_track_copy_frame_image(zarn_video_track* track, vpx_image_t* image)
{
    assert(track != nullptr);
    assert(image != nullptr);
    assert(image->fmt == VPX_IMG_FMT_I420);
    assert(image->d_w == static_cast<unsigned int>(track->header.video.width));
    assert(image->d_h == static_cast<unsigned int>(track->header.video.height));

    if (track->picture == nullptr) {
        zarn_log_error("zarn_video_track_copy_frame_image() : Couldn't get frame image.");
        return ZARN_VIDEO_TRACK_ERROR_GET_FRAME_IMAGE;
    }
    copy_picture(track->picture, image, track->header.video.width, track->header.video.height);
    track->picture = nullptr;
    return ZARN_OK;
}

int32_t zarn_video_track_set_time(zarn_video_track* track, double time)
{
    assert(track != nullptr);
    // Creation refuses a stream without a leading key frame, so the index
    // always has a first record.
    assert(track->keyframe_count > 0);
    zarn_file* file = track->file;
    const int64_t target = seconds_to_units(time);

    // The last key frame at or before the target, or the first one.
    int64_t start = track->keyframe_info[0].position;
    if (target > 0 && target >= track->keyframe_info[0].timestamp) {
        for (int32_t i = 1; i < track->keyframe_count && track->keyframe_info[i].timestamp <= target; ++i) {
            start = track->keyframe_info[i].position;
        }
    }
    if (zarn_fseek(file, start, SEEK_SET) != 0) {
        zarn_log_error("zarn_video_track_set_time() : Couldn't seek to keyframe.");
        return ZARN_VIDEO_TRACK_ERROR_SEEK_KEYFRAME;
    }

    // Find the first packet later than the target (or the end), moving the
    // start to any key frame met on the way.
    int64_t stop = start;
    for (;;) {
        const int64_t position = zarn_ftell(file);
        if (zarn_fread(file, &track->packet_header, sizeof(zarn_packet_header), 1) != 1) {
            zarn_log_error("zarn_video_track_set_time() : Couldn't read packet header.");
            return ZARN_VIDEO_TRACK_ERROR_SEEK_READ_HEADER;
        }
        if (track->packet_header.timestamp > target ||
            (track->packet_header.flags & PACKET_FLAG_END_OF_STREAM) != 0) {
            stop = position;
            break;
        }
        if ((track->packet_header.flags & PACKET_FLAG_KEY_FRAME) != 0) {
            start = position;
        }
        if (!skip_payload(file, track->packet_header)) {
            zarn_log_error("zarn_video_track_set_time() : Couldn't seek to next packet.");
            return ZARN_VIDEO_TRACK_ERROR_SEEK_NEXT_PACKET;
        }
    }

    if (zarn_fseek(file, start, SEEK_SET) != 0) {
        zarn_log_error("zarn_video_track_set_time() : Couldn't seek to keyframe.");
        return ZARN_VIDEO_TRACK_ERROR_SEEK_KEYFRAME_AGAIN;
    }
    do {
        if (zarn_video_track_decode_frame(track) != ZARN_OK) {
            zarn_log_error("zarn_video_track_set_time() : Couldn't decode frame.");
            return ZARN_VIDEO_TRACK_ERROR_SEEK_DECODE;
        }
    } while (zarn_ftell(file) < stop);

    // A last packet that shows nothing (an alternate reference frame) leaves
    // no picture for the target; the next shown frame is the one to present.
    while (track->picture == nullptr && (track->packet_header.flags & PACKET_FLAG_END_OF_STREAM) == 0) {
        if (zarn_video_track_decode_frame(track) != ZARN_OK) {
            zarn_log_error("zarn_video_track_set_time() : Couldn't decode frame.");
            return ZARN_VIDEO_TRACK_ERROR_SEEK_DECODE;
        }
    }
    return ZARN_OK;
}

void zarn_video_track_free(zarn_video_track* track)
{
    if (track == nullptr) {
        return;
    }
    if (track->keyframe_info != nullptr) {
        zarn_free(track->keyframe_info);
    }
    if (track->frame_blob != nullptr) {
        zarn_free(track->frame_blob);
    }
    if (track->yuv_frame != nullptr) {
        vpx_img_free(track->yuv_frame);
    }
    vpx_codec_destroy(&track->decoder);
    memset(static_cast<void*>(track), 0, sizeof(zarn_video_track));
    zarn_free(track);
}
