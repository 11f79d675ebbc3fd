// The ALSA back end of the audio render: a queue of 32 blocks, a device
// thread that owns the PCM handle of the "default" playback device and feeds
// it from the queue, and a blocking command channel through which the
// decoder's worker thread makes that thread play, pause, prime and stop the
// device.
//
// Threads: every operation below is called from the decoder's worker thread
// (one sender per render). The device thread runs the set-up, its loop and the
// command bodies. Lock order inside the render: command_mutex, then
// audio_mutex; the worker never holds command_mutex when it takes audio_mutex.
#pragma once

#include <atomic>
#include <cstdint>

#include "zarn_audio_render.h"
#include "zarn_circular_buffer.h"
#include "zarn_cond_var.h"
#include "zarn_mutex.h"
#include "zarn_thread.h"

// Commands handed to the device thread; the trace lines print these names.
constexpr int32_t ALSA_COMMAND_NONE = 0;
constexpr int32_t ALSA_COMMAND_PLAY = 1;
constexpr int32_t ALSA_COMMAND_PAUSE = 2;
constexpr int32_t ALSA_COMMAND_STOP = 3;
constexpr int32_t ALSA_COMMAND_PRIME = 4;
constexpr int32_t ALSA_COMMAND_QUIT = 5;

// Fixed device set-up.
constexpr const char* ZARN_ALSA_DEVICE_NAME = "default";
constexpr unsigned int ZARN_ALSA_LATENCY_US = 500000;
// Above what PRIME puts into the device (at most 8192 frames), so the device
// never starts by itself: it runs only after ALSA_COMMAND_PLAY.
constexpr unsigned long ZARN_ALSA_START_THRESHOLD = 16385;
constexpr int32_t ZARN_ALSA_QUEUE_CAPACITY = 32;
constexpr int32_t ZARN_ALSA_PRIME_BLOCKS = 4;

struct zarn_audio_render_alsa {
    // Set by open once everything, the device set-up included, succeeded;
    // read without a lock by every operation and command body.
    std::atomic<bool> initialised;
    int32_t channels;
    int32_t sample_rate;
    zarn_thread* thread;                   // the device thread
    bool thread_ready;                     // set-up ended; under thread_init_mutex
    zarn_cond_var* thread_init_cond_var;   // signalled with thread_ready
    // Held by the device thread for its whole set-up.
    zarn_mutex* thread_init_mutex;
    int32_t thread_init_result;            // 0 or the set-up failure code
    zarn_cond_var* command_cond_var;       // signalled with command_done
    zarn_mutex* command_mutex;             // guards the hand-over and the command bodies
    // Pending ALSA_COMMAND_*; the device thread polls it without the lock.
    std::atomic<int32_t> command;
    bool command_done;                     // under command_mutex
    int32_t command_result;                // under command_mutex
    zarn_mutex* audio_mutex;               // guards circ_buffer
    zarn_circular_buffer* circ_buffer;     // ZARN_ALSA_QUEUE_CAPACITY blocks
    // PRIME's staging block, one per render so that several renders can
    // prime at the same time; touched only by the device thread.
    uint8_t prime_block[ZARN_AUDIO_BLOCK_SIZE];
};

// The operations of the render table. `handle` is the record.

// Asserted: handle is not null and *handle is null. Creates the record into
// *handle, starts the device thread and waits for its set-up. 0 or
// ZARN_ALSA_ERROR_ALLOCATE .. ZARN_ALSA_ERROR_PREPARE_THREAD; on failure
// *handle is null and nothing is left behind.
int32_t zarn_audio_render_alsa_open(void** handle, int32_t channels, int32_t sample_rate);
// Accepts null. Ends the device thread (which closes the PCM) and releases
// the record. Works in every device state.
void zarn_audio_render_alsa_free(void* handle);
// Each sends its command and returns the command's result once the device
// thread has carried it out (this can take up to one block's playing time);
// ZARN_ALSA_ERROR_*_NOT_INITIALISED when the render is not initialised.
int32_t zarn_audio_render_alsa_pause(void* handle);
int32_t zarn_audio_render_alsa_play(void* handle);
int32_t zarn_audio_render_alsa_prime(void* handle);
int32_t zarn_audio_render_alsa_stop(void* handle);
// Sets *out_can_write to whether the queue has room for one more block.
// 0 or ZARN_ALSA_ERROR_CAN_WRITE_NOT_INITIALISED (then false).
int32_t zarn_audio_render_alsa_can_write_buffer(void* handle, bool* out_can_write);
// Queues a copy of the ZARN_AUDIO_BLOCK_SIZE bytes at `data`, given in
// Vorbis channel order and queued in ALSA's. 0,
// ZARN_ALSA_ERROR_WRITE_NOT_INITIALISED or ZARN_ALSA_ERROR_QUEUE_FULL.
int32_t zarn_audio_render_alsa_write_buffer(void* handle, const uint8_t* data);

// Frames of one block sent in one write: 4096 / (2 * channels).
int32_t zarn_audio_render_alsa_frames_per_block(int32_t channels);

// For the channel counts with a standard layout whose Vorbis order differs
// from ALSA's (3, 5, 6, 7, 8): the Vorbis channel that goes into each ALSA
// channel slot, `channels` entries. Null when the order is the same (1, 2,
// 4) or there is no standard layout (above 8).
const int32_t* zarn_audio_render_alsa_channel_order(int32_t channels);
// Reorders the whole frames of one block in place from Vorbis order to
// ALSA's; the bytes after the last whole frame stay as they are.
void zarn_audio_render_alsa_reorder_block(uint8_t* block, int32_t channels);
