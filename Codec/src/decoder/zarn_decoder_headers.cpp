// Reading and checking a movie's headers: the movie header and the track
// headers, with each track's data position noted in memory. Shared by the
// decoder's initialisation and the zrn tool, which calls it on a
// value-initialised decoder record with only `file` set.
#include <cassert>
#include <cstdio>
#include <cstring>

#include "../common/zarn_log.h"
#include "../common/zarn_memory.h"
#include "../zarn_results.h"
#include "zarn_decoder.h"

namespace {

// No movie the player can show has more tracks than this; the cap keeps a
// hostile count from costing more than a small allocation.
constexpr int32_t MAX_AUDIO_TRACKS = 1024;
constexpr int32_t MAX_VIDEO_TRACKS = 1;
constexpr int32_t MAX_PICTURE_SIDE = 16384;
constexpr int64_t TRACK_HEADER_SIZE = sizeof(zarn_track_header);

void release_headers(zarn_track_header** headers)
{
    if (*headers != nullptr) {
        zarn_free(*headers);
        *headers = nullptr;
    }
}

// Allocates `count` zero-filled track headers into `*headers`, replacing
// any array already there. Counts beyond `limit` are refused like a failed
// allocation, so a count taken straight from a file never costs much.
bool allocate_headers(zarn_track_header** headers, int32_t count, int32_t limit)
{
    release_headers(headers);
    if (count < 0 || count > limit) {
        return false;
    }
    const size_t bytes = static_cast<size_t>(count) * sizeof(zarn_track_header);
    *headers = static_cast<zarn_track_header*>(zarn_malloc(bytes));
    if (*headers == nullptr) {
        return false;
    }
    memset(static_cast<void*>(*headers), 0, bytes);
    return true;
}

bool picture_side_valid(int32_t side)
{
    return side > 0 && side <= MAX_PICTURE_SIDE;
}

// The header checks that need nothing but the movie header and the file's
// size (-1 when the file services cannot tell it; those checks are then
// left out).
int32_t check_movie_header(const zarn_header& header, int64_t file_size)
{
    if (header.frame_rate_numerator <= 0 || header.frame_rate_denominator <= 0) {
        zarn_log_error("zarn_decoder_initialise() : Frame rate isn't positive.");
        return ZARN_DECODER_ERROR_BAD_FRAME_RATE;
    }
    if (!picture_side_valid(header.width) || !picture_side_valid(header.height)) {
        zarn_log_error("zarn_decoder_initialise() : Picture size is out of range.");
        return ZARN_DECODER_ERROR_BAD_PICTURE_SIZE;
    }
    const int64_t room = file_size - static_cast<int64_t>(sizeof(zarn_header));
    const bool audio_count_valid = header.audio_track_count >= 0 && header.audio_track_count <= MAX_AUDIO_TRACKS &&
        (file_size < 0 || static_cast<int64_t>(header.audio_track_count) * TRACK_HEADER_SIZE <= room);
    if (!audio_count_valid || header.video_track_count < 0 || header.video_track_count > MAX_VIDEO_TRACKS) {
        zarn_log_error("zarn_decoder_initialise() : Track count is out of range.");
        return ZARN_DECODER_ERROR_BAD_TRACK_COUNT;
    }
    if (file_size >= 0 && static_cast<int64_t>(header.frame_blob_size) > file_size) {
        zarn_log_error("zarn_decoder_initialise() : Frame blob size is larger than the file.");
        return ZARN_DECODER_ERROR_BAD_FRAME_BLOB_SIZE;
    }
    return ZARN_OK;
}

}  // namespace

int32_t zarn_decoder_read_headers(zarn_decoder* decoder)
{
    assert(decoder != nullptr);
    assert(decoder->file != nullptr);

    if (zarn_fread(decoder->file, &decoder->header, sizeof(zarn_header), 1) != 1) {
        zarn_log_error("zarn_decoder_initialise() : Couldn't read in header.");
        return ZARN_DECODER_ERROR_READ_HEADER;
    }
    const zarn_header& header = decoder->header;
    if (header.magic[0] != ZARN_MAGIC_KTW || header.magic[1] != ZARN_MAGIC_ZARN) {
        zarn_log_error("zarn_decoder_initialise() : Couldn't validate header magic.");
        return ZARN_DECODER_ERROR_HEADER_MAGIC;
    }
    if (header.frame_blob_size == 0) {
        zarn_log_error("zarn_decoder_initialise() : Movie was only partially encoded.");
        return ZARN_DECODER_ERROR_PARTIALLY_ENCODED;
    }

    const int64_t file_size = zarn_file_size(decoder->file);
    int32_t result = check_movie_header(header, file_size);
    if (result != ZARN_OK) {
        return result;
    }

    if (zarn_decoder_examine_audio_tracks(decoder) != ZARN_OK) {
        zarn_log_error("zarn_decoder_initialise() : Couldn't examine audio tracks.");
        zarn_decoder_free_headers(decoder);
        return ZARN_DECODER_ERROR_EXAMINE_AUDIO_TRACKS;
    }
    if (zarn_decoder_examine_video_tracks(decoder) != ZARN_OK) {
        zarn_log_error("zarn_decoder_initialise() : Couldn't examine video tracks.");
        zarn_decoder_free_headers(decoder);
        return ZARN_DECODER_ERROR_EXAMINE_VIDEO_TRACKS;
    }

    // The frame image is sized from the track header, the caller's buffers
    // from the movie header; they must agree.
    if (header.video_track_count > 0) {
        const zarn_track_header& video = decoder->video_track_headers[0];
        if (video.video.width != header.width || video.video.height != header.height) {
            zarn_log_error("zarn_decoder_initialise() : Video track picture size differs from the movie's.");
            zarn_decoder_free_headers(decoder);
            return ZARN_DECODER_ERROR_PICTURE_SIZE_MISMATCH;
        }
    }
    return ZARN_OK;
}

int32_t zarn_decoder_examine_audio_tracks(zarn_decoder* decoder)
{
    assert(decoder != nullptr);
    const int32_t count = decoder->header.audio_track_count;
    if (count == 0) {
        release_headers(&decoder->audio_track_headers);
        return ZARN_OK;
    }
    if (!allocate_headers(&decoder->audio_track_headers, count, MAX_AUDIO_TRACKS)) {
        zarn_log_error("zarn_decoder_examine_audio_tracks() : Couldn't allocate audio track headers.");
        return ZARN_DECODER_ERROR_ALLOCATE_AUDIO_HEADERS;
    }

    const int64_t file_size = zarn_file_size(decoder->file);
    for (int32_t i = 0; i < count; ++i) {
        zarn_track_header& header = decoder->audio_track_headers[i];
        if (zarn_fread(decoder->file, &header, sizeof(zarn_track_header), 1) != 1) {
            zarn_log_error("zarn_decoder_examine_audio_tracks() : Couldn't read audio track header.");
            return ZARN_DECODER_ERROR_READ_AUDIO_HEADER;
        }
        header.audio.data_position = zarn_ftell(decoder->file);
        // Seeking past the end succeeds on a stream, so data that runs past
        // the end of the file is caught here rather than at the next read.
        const bool past_end = file_size >= 0 &&
            (header.audio.data_position < 0 ||
             static_cast<int64_t>(header.audio.data_size) > file_size - header.audio.data_position);
        if (past_end || zarn_fseek(decoder->file, static_cast<int64_t>(header.audio.data_size), SEEK_CUR) != 0) {
            zarn_log_error("zarn_decoder_examine_audio_tracks() : Couldn't seek to next audio track header.");
            return ZARN_DECODER_ERROR_SEEK_NEXT_AUDIO_HEADER;
        }
    }
    return ZARN_OK;
}

int32_t zarn_decoder_examine_video_tracks(zarn_decoder* decoder)
{
    assert(decoder != nullptr);
    const int32_t count = decoder->header.video_track_count;
    if (count == 0) {
        release_headers(&decoder->video_track_headers);
        return ZARN_OK;
    }
    if (!allocate_headers(&decoder->video_track_headers, count, MAX_VIDEO_TRACKS)) {
        zarn_log_error("zarn_decoder_examine_video_tracks() : Couldn't allocate video track headers.");
        return ZARN_DECODER_ERROR_ALLOCATE_VIDEO_HEADERS;
    }

    for (int32_t i = 0; i < count; ++i) {
        zarn_track_header& header = decoder->video_track_headers[i];
        if (zarn_fread(decoder->file, &header, sizeof(zarn_track_header), 1) != 1) {
            zarn_log_error("zarn_decoder_examine_video_tracks() : Couldn't read video track header.");
            return ZARN_DECODER_ERROR_READ_VIDEO_HEADER;
        }
        header.video.data_position = zarn_ftell(decoder->file);
    }
    return ZARN_OK;
}

void zarn_decoder_free_headers(zarn_decoder* decoder)
{
    assert(decoder != nullptr);
    release_headers(&decoder->audio_track_headers);
    release_headers(&decoder->caption_track_headers);
    release_headers(&decoder->video_track_headers);
}
