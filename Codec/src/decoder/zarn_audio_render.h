// The audio render as the decoder sees it: one back-end handle and a table of
// operations. All operations are called from the decoder's worker thread,
// with `handle` as their first argument; the back end does its device work on
// a thread of its own.
#pragma once

#include <cstdint>

// One audio block: interleaved signed 16-bit little-endian PCM at the
// render's channel count. 4096 / (2 * channels) frames of it are played; any
// remainder is not.
constexpr int32_t ZARN_AUDIO_BLOCK_SIZE = 4096;

struct zarn_audio_render {
    // The back end's record; null until `open` succeeded.
    void* handle;
    // Creates the back end into *handle for `channels` at `sample_rate` Hz,
    // with its device open and prepared but not running. 0 or a negative code.
    int32_t (*open)(void** handle, int32_t channels, int32_t sample_rate);
    // Ends the back end's thread and releases it. Accepts null.
    void (*free)(void* handle);
    // Blocking device commands; each returns its result once carried out.
    int32_t (*pause)(void* handle);  // running -> paused
    int32_t (*play)(void* handle);   // prepared or paused -> running
    int32_t (*prime)(void* handle);  // prepare if needed, then send 4 queued blocks
    int32_t (*stop)(void* handle);   // drop what the device holds and empty the queue
    // Whether the block queue has room; never blocks.
    int32_t (*can_write_buffer)(void* handle, bool* out_can_write);
    // Queues a copy of one ZARN_AUDIO_BLOCK_SIZE block; never blocks.
    int32_t (*write_buffer)(void* handle, const uint8_t* data);
};

// Creates the table with the ALSA back end and opens it. 0,
// ZARN_AUDIO_RENDER_ERROR_ALLOCATE or ZARN_AUDIO_RENDER_ERROR_OPEN; on failure
// *audio_render stays null.
int32_t zarn_audio_render_create(zarn_audio_render** audio_render, int32_t channels, int32_t sample_rate);
// Frees the back end, then the table. Accepts null.
void zarn_audio_render_free(zarn_audio_render* audio_render);
