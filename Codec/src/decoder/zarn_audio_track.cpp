#include "zarn_audio_track.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <cstring>

#include "../common/zarn_crypt.h"
#include "../common/zarn_log.h"
#include "../common/zarn_memory.h"
#include "../zarn_results.h"

namespace {

// Largest request handed to one ov_read call.
constexpr int32_t MAX_READ = 4096;

// Seconds to milliseconds, truncated toward zero; NaN and times outside the
// 64-bit range become -1, which Tremor refuses like any negative time.
ogg_int64_t seconds_to_milliseconds(double time)
{
    const double milliseconds = time * 1000.0;
    if (!(milliseconds > -9.2e18) || milliseconds >= 9.2e18) {
        return -1;
    }
    return static_cast<ogg_int64_t>(milliseconds);
}

}  // namespace

int32_t zarn_audio_track_create(zarn_audio_track** track, const zarn_track_header* header, zarn_file* file)
{
    assert(track != nullptr);
    assert(*track == nullptr);
    assert(header != nullptr);
    assert(file != nullptr);

    zarn_audio_track* created = static_cast<zarn_audio_track*>(zarn_malloc(sizeof(zarn_audio_track)));
    if (created == nullptr) {
        zarn_log_error("zarn_audio_track_create() : Couldn't allocate track.");
        return ZARN_AUDIO_TRACK_ERROR_ALLOCATE;
    }
    memset(static_cast<void*>(created), 0, sizeof(zarn_audio_track));

    // The size comes from the file; it is believed only as far as the file
    // actually holds that many bytes, so a lying header allocates nothing.
    // File services that cannot tell the size (no seek from the end) are
    // trusted as before.
    const uint32_t data_size = header->audio.data_size;
    const int64_t data_position = header->audio.data_position;
    const int64_t file_size = zarn_file_size(file);
    if (file_size >= 0 && (data_position < 0 || data_position > file_size ||
                           static_cast<int64_t>(data_size) > file_size - data_position)) {
        zarn_log_error("zarn_audio_track_create() : Track data runs past the end of the file.");
        zarn_audio_track_free(created);
        return ZARN_AUDIO_TRACK_ERROR_READ_DATA;
    }

    created->data = static_cast<uint8_t*>(zarn_malloc(data_size > 0 ? data_size : 1));
    if (created->data == nullptr) {
        zarn_log_error("zarn_audio_track_create() : Couldn't allocate track data.");
        zarn_audio_track_free(created);
        return ZARN_AUDIO_TRACK_ERROR_ALLOCATE_DATA;
    }

    if (zarn_fseek(file, data_position, SEEK_SET) != 0) {
        zarn_log_error("zarn_audio_track_create() : Couldn't seek to track data.");
        zarn_audio_track_free(created);
        return ZARN_AUDIO_TRACK_ERROR_SEEK_DATA;
    }
    if (data_size == 0 || zarn_fread(file, created->data, data_size, 1) != 1) {
        zarn_log_error("zarn_audio_track_create() : Couldn't read in track data.");
        zarn_audio_track_free(created);
        return ZARN_AUDIO_TRACK_ERROR_READ_DATA;
    }
    zarn_crypt_decrypt(created->data, data_size);

    created->mem_file.current = created->data;
    created->mem_file.start = created->data;
    created->mem_file.size = data_size;

    const ov_callbacks callbacks = {zarn_mem_file_read, zarn_mem_file_seek, zarn_mem_file_close,
                                    zarn_mem_file_tell};
    if (ov_open_callbacks(&created->mem_file, &created->vorbis_file, nullptr, 0, callbacks) < 0) {
        zarn_log_error("zarn_audio_track_create() : Couldn't open audio track.");
        zarn_audio_track_free(created);
        return ZARN_AUDIO_TRACK_ERROR_OPEN;
    }

    const vorbis_info* info = ov_info(&created->vorbis_file, -1);
    if (info == nullptr || info->channels != header->audio.channels || info->rate != header->audio.sample_rate) {
        zarn_log_error("zarn_audio_track_create() : Track header channels/sample rate doesn't match with track "
                       "data channels/sample rate.");
        zarn_audio_track_free(created);
        return ZARN_AUDIO_TRACK_ERROR_FORMAT_MISMATCH;
    }

    *track = created;
    return ZARN_OK;
}

int32_t zarn_audio_track_decode_block(zarn_audio_track* track, uint8_t* block, int32_t len)
{
    assert(track != nullptr);
    assert(block != nullptr);

    uint8_t* write = block;
    int32_t remaining = len;
    while (remaining > 0) {
        int bitstream = 0;
        const long got = ov_read(&track->vorbis_file, reinterpret_cast<char*>(write), std::min(remaining, MAX_READ),
                                 &bitstream);
        // End of stream, a hole or an error: the rest of the block is silence.
        if (got < 1 || got > remaining) {
            memset(write, 0, static_cast<size_t>(remaining));
            break;
        }
        write += got;
        remaining -= static_cast<int32_t>(got);
    }
    return ZARN_OK;
}

int32_t zarn_audio_track_set_time(zarn_audio_track* track, double time)
{
    assert(track != nullptr);
    // A refused time leaves the stream where it was; that is not a failure.
    ov_time_seek(&track->vorbis_file, seconds_to_milliseconds(time));
    return ZARN_OK;
}

void zarn_audio_track_free(zarn_audio_track* track)
{
    if (track == nullptr) {
        return;
    }
    // Also valid on the zero-filled state of a stream never opened.
    ov_clear(&track->vorbis_file);
    if (track->data != nullptr) {
        zarn_free(track->data);
    }
    memset(static_cast<void*>(track), 0, sizeof(zarn_audio_track));
    zarn_free(track);
}

size_t zarn_mem_file_read(void* ptr, size_t size, size_t count, void* datasource)
{
    assert(ptr != nullptr);
    assert(datasource != nullptr);
    zarn_mem_file* mem_file = static_cast<zarn_mem_file*>(datasource);

    const size_t left = static_cast<size_t>(mem_file->start + mem_file->size - mem_file->current);
    size_t n = 0;
    if (size != 0 && count != 0) {
        // size * count without overflow: anything above what is left is cut.
        n = count > left / size ? left : size * count;
    }
    n = std::min(n, left);
    memcpy(ptr, mem_file->current, n);
    mem_file->current += n;
    return n;
}

int zarn_mem_file_seek(void* datasource, ogg_int64_t offset, int whence)
{
    assert(datasource != nullptr);
    zarn_mem_file* mem_file = static_cast<zarn_mem_file*>(datasource);

    // Positions are worked out as offsets from start, so no pointer is ever
    // formed outside the buffer.
    int64_t base = 0;
    switch (whence) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = mem_file->current - mem_file->start;
        break;
    case SEEK_END:
        base = mem_file->size;
        break;
    default:
        return -1;
    }
    int64_t target = 0;
    if (__builtin_add_overflow(base, static_cast<int64_t>(offset), &target)) {
        target = offset < 0 ? -1 : mem_file->size + 1;
    }
    if (target < 0) {
        mem_file->current = mem_file->start;
        return -1;
    }
    if (target > mem_file->size) {
        mem_file->current = mem_file->start + mem_file->size;
        return -1;
    }
    mem_file->current = mem_file->start + target;
    return 0;
}

int zarn_mem_file_close(void* datasource)
{
    assert(datasource != nullptr);
    return 0;
}

long zarn_mem_file_tell(void* datasource)
{
    assert(datasource != nullptr);
    const zarn_mem_file* mem_file = static_cast<const zarn_mem_file*>(datasource);
    return static_cast<long>(mem_file->current - mem_file->start);
}
