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

// Refuses a data_size the file cannot hold before allocating anything.
int32_t zarn_audio_track_create(zarn_audio_track** track, const zarn_track_header* header,
                                zarn_file* file);
// Fills exactly `len` bytes; silence past the end of the stream. Returns 0.
int32_t zarn_audio_track_decode_block(zarn_audio_track* track, uint8_t* block, int32_t len);
// Seeks the stream to `time` seconds; a time Tremor refuses leaves it where
// it was. Returns 0.
int32_t zarn_audio_track_set_time(zarn_audio_track* track, double time);
void zarn_audio_track_free(zarn_audio_track* track);

size_t zarn_mem_file_read(void* ptr, size_t size, size_t count, void* datasource);
int zarn_mem_file_seek(void* datasource, ogg_int64_t offset, int whence);
int zarn_mem_file_close(void* datasource);
long zarn_mem_file_tell(void* datasource);
