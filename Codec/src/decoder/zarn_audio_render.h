// The audio render as the decoder sees it: one back-end handle and a table of
// operations. The decoder calls every operation from its worker thread only
// (one caller per render), with `handle` as the first argument; the back end
// does its device work on a thread of its own. A second back end is written
// against this table alone.
#pragma once

#include <cstdint>

// One audio block: interleaved signed 16-bit little-endian PCM at the
// render's channel count, in Vorbis channel order (as the audio track
// produces it). 4096 / (2 * channels) frames of it are played; any remainder
// (4 bytes for 3 or 6 channels) is not.
constexpr int32_t ZARN_AUDIO_BLOCK_SIZE = 4096;

struct zarn_audio_render {
    // The back end's record; null until `open` succeeded.
    void* handle;
    // Creates the back end into *handle (asserted null) for `channels` at
    // `sample_rate` Hz, with its device open and prepared but not running.
    // Returns 0, or a negative code with *handle left null and nothing left
    // behind.
    int32_t (*open)(void** handle, int32_t channels, int32_t sample_rate);
    // Ends the back end's thread, closes the device and releases the record,
    // whatever state the device is in. Accepts null.
    void (*free)(void* handle);
    // Device commands. Each blocks until the back end has carried it out
    // (up to one block's playing time) and returns its result: 0 or a
    // negative code, with the device left as it was and the render usable.
    // running -> paused; fails unless running.
    int32_t (*pause)(void* handle);
    // prepared -> running, or paused -> running; fails in any other state.
    int32_t (*play)(void* handle);
    // Prepares the device if it is not prepared, then sends it 4 blocks from
    // the queue (silence for each missing one); the device stays prepared.
    int32_t (*prime)(void* handle);
    // Drops what the device holds (-> setup) and empties the queue.
    int32_t (*stop)(void* handle);
    // Sets *out_can_write to whether the queue has room for one more block
    // (false on failure). Never blocks for long. 0 or a negative code.
    int32_t (*can_write_buffer)(void* handle, bool* out_can_write);
    // Queues a copy of the ZARN_AUDIO_BLOCK_SIZE bytes at `data`. Never
    // blocks for long. 0, or a negative code when the queue is full.
    int32_t (*write_buffer)(void* handle, const uint8_t* data);
};

// Creates the table with the ALSA back end and opens it. 0,
// ZARN_AUDIO_RENDER_ERROR_ALLOCATE or ZARN_AUDIO_RENDER_ERROR_OPEN; on failure
// *audio_render (asserted null on entry) stays null.
int32_t zarn_audio_render_create(zarn_audio_render** audio_render, int32_t channels, int32_t sample_rate);
// Frees the back end, then the table. Accepts null.
void zarn_audio_render_free(zarn_audio_render* audio_render);
