// The Vorbis audio track: the whole track's data is read into memory at
// creation, descrambled and opened with Tremor through in-memory callbacks;
// afterwards the file is never touched again. Decoding fills caller blocks
// with interleaved signed 16-bit samples in Vorbis channel order, padded with
// silence. Used only from the decoder's worker thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <tremor/ivorbisfile.h>

#include "../common/zarn_file.h"
#include "../common/zarn_format.h"

// The in-memory data source Tremor reads through the callbacks below.
struct zarn_mem_file {
    const uint8_t* current;  // next byte to read, within [start, start + size]
    const uint8_t* start;
    int64_t size;
};

struct zarn_audio_track {
    OggVorbis_File vorbis_file;
    zarn_mem_file mem_file;
    uint8_t* data;  // the descrambled Ogg Vorbis stream, data_size bytes
};

// Creates the track for the in-memory audio track header (with
// data_position) from the open file: reads the whole track data, descrambles
// it and opens it with Tremor. `*track` must be null; it is set on success
// and left null on failure. Returns 0 or -15000 to -15005; a data_size the
// file cannot hold from data_position on is refused with -15003 before
// anything is allocated for it. The file is not used afterwards.
int32_t zarn_audio_track_create(zarn_audio_track** track, const zarn_track_header* header,
                                zarn_file* file);
// Fills exactly `len` bytes at `block` with interleaved signed 16-bit
// samples; whatever the stream cannot fill (its end, a hole, an error, or a
// remainder smaller than one sample frame) is silence. Returns 0.
int32_t zarn_audio_track_decode_block(zarn_audio_track* track, uint8_t* block, int32_t len);
// Seeks the stream to `time` seconds (truncated to milliseconds); a time
// Tremor refuses (negative, beyond the end) leaves it where it was. Returns 0.
int32_t zarn_audio_track_set_time(zarn_audio_track* track, double time);
// Closes the stream and releases the data and the track. Accepts null.
void zarn_audio_track_free(zarn_audio_track* track);

// Tremor's callbacks over a zarn_mem_file (`datasource`).
// Copies up to size * count bytes from `current` on, fewer when fewer
// remain; returns the bytes copied.
size_t zarn_mem_file_read(void* ptr, size_t size, size_t count, void* datasource);
// Moves `current` (whence 0 from start, 1 from current, 2 from the end).
// Returns 0 inside the range, ends included; a target before the start or
// past the end pins `current` to that end and returns -1; another whence
// returns -1 and changes nothing.
int zarn_mem_file_seek(void* datasource, ogg_int64_t offset, int whence);
// Does nothing (the memory belongs to the track); returns 0.
int zarn_mem_file_close(void* datasource);
// Returns `current` - `start`.
long zarn_mem_file_tell(void* datasource);
