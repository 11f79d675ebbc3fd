#include "zarn_audio_render_alsa.h"

#include <alsa/asoundlib.h>
#include <cassert>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "../common/zarn_log.h"
#include "../common/zarn_memory.h"
#include "../zarn_results.h"

namespace {

// Vorbis channel order → ALSA's (FL FR RL RR FC LFE SL SR, then RC, as ALSA
// numbers its channel positions). Entry i is the Vorbis channel that goes to
// ALSA slot i.
//   3: L C R                      → L R C
//   5: FL C FR RL RR              → FL FR RL RR C
//   6: FL C FR RL RR LFE          → FL FR RL RR C LFE
//   7: FL C FR SL SR RC LFE       → FL FR C LFE SL SR RC
//   8: FL C FR SL SR RL RR LFE    → FL FR RL RR C LFE SL SR
constexpr int32_t ORDER_3[] = {0, 2, 1};
constexpr int32_t ORDER_5[] = {0, 2, 3, 4, 1};
constexpr int32_t ORDER_6[] = {0, 2, 3, 4, 1, 5};
constexpr int32_t ORDER_7[] = {0, 2, 1, 6, 3, 4, 5};
constexpr int32_t ORDER_8[] = {0, 2, 5, 6, 1, 7, 3, 4};

constexpr int32_t MAX_REORDERED_CHANNELS = 8;

// Device states in which the device was playing and fell out of it by itself
// (an underrun, a suspend): the loop writes on, so that the write fails and
// goes through the recovery, which starts the device again.
bool fell_out_of_running(snd_pcm_state_t state)
{
    return state == SND_PCM_STATE_XRUN || state == SND_PCM_STATE_SUSPENDED;
}

// Pops the oldest queued block into `block`, or fills it with silence when the
// queue is empty. Returns whether a block was popped.
bool pop_block(zarn_audio_render_alsa* record, uint8_t* block)
{
    zarn_mutex_lock(record->audio_mutex);
    const bool popped = zarn_circular_buffer_pop_front(record->circ_buffer, block) == ZARN_OK;
    if (!popped) {
        memset(block, 0, ZARN_AUDIO_BLOCK_SIZE);
    }
    zarn_mutex_unlock(record->audio_mutex);
    return popped;
}

// Writes one block to a running device. A failed write goes through
// snd_pcm_recover; after a recovery the rest of the block is written again
// and, as the device was playing, it is started again: left prepared it would
// stay silent until the next PLAY because of the start threshold.
void write_block(zarn_audio_render_alsa* record, snd_pcm_t* pcm, const uint8_t* block)
{
    const int32_t frames = zarn_audio_render_alsa_frames_per_block(record->channels);
    const int32_t frame_bytes = 2 * record->channels;
    int32_t written = 0;
    bool recovered = false;
    while (written < frames) {
        const snd_pcm_sframes_t result =
            snd_pcm_writei(pcm, block + written * frame_bytes, frames - written);
        if (result > 0) {
            written += static_cast<int32_t>(result);
            continue;
        }
        if (result == 0) {
            break;
        }
        zarn_log_warning("zarn_audio_render_alsa_thread_func() : Couldn't write %d frames. Trying to recover...",
                         frames - written);
        const int recover_result = snd_pcm_recover(pcm, static_cast<int>(result), 0);
        if (recover_result < 0) {
            zarn_log_error("zarn_audio_render_alsa_thread_func() : Couldn't write frames (%s).",
                           snd_strerror(recover_result));
            return;
        }
        if (recovered) {
            // A second failure within one block: leave the rest of it.
            break;
        }
        recovered = true;
    }
    if (recovered && snd_pcm_state(pcm) == SND_PCM_STATE_PREPARED) {
        const int start_result = snd_pcm_start(pcm);
        if (start_result < 0) {
            zarn_log_error("zarn_audio_render_alsa_thread_func() : Couldn't write frames (%s).",
                           snd_strerror(start_result));
        }
    }
}

const char* command_name(int32_t command)
{
    switch (command) {
    case ALSA_COMMAND_PLAY:
        return "ALSA_COMMAND_PLAY";
    case ALSA_COMMAND_PAUSE:
        return "ALSA_COMMAND_PAUSE";
    case ALSA_COMMAND_STOP:
        return "ALSA_COMMAND_STOP";
    case ALSA_COMMAND_PRIME:
        return "ALSA_COMMAND_PRIME";
    case ALSA_COMMAND_QUIT:
        return "ALSA_COMMAND_QUIT";
    default:
        return nullptr;
    }
}

}  // namespace

int32_t zarn_audio_render_alsa_frames_per_block(int32_t channels)
{
    assert(channels > 0);
    return ZARN_AUDIO_BLOCK_SIZE / (2 * channels);
}

const int32_t* zarn_audio_render_alsa_channel_order(int32_t channels)
{
    switch (channels) {
    case 3:
        return ORDER_3;
    case 5:
        return ORDER_5;
    case 6:
        return ORDER_6;
    case 7:
        return ORDER_7;
    case 8:
        return ORDER_8;
    default:
        return nullptr;
    }
}

void zarn_audio_render_alsa_reorder_block(uint8_t* block, int32_t channels)
{
    assert(block != nullptr);
    const int32_t* order = zarn_audio_render_alsa_channel_order(channels);
    if (order == nullptr) {
        return;
    }
    const int32_t frames = zarn_audio_render_alsa_frames_per_block(channels);
    const int32_t frame_bytes = 2 * channels;
    uint8_t frame[2 * MAX_REORDERED_CHANNELS];
    for (int32_t f = 0; f < frames; ++f) {
        uint8_t* samples = block + f * frame_bytes;
        memcpy(frame, samples, frame_bytes);
        for (int32_t slot = 0; slot < channels; ++slot) {
            memcpy(samples + 2 * slot, frame + 2 * order[slot], 2);
        }
    }
}

// Command bodies: run on the device thread while it holds command_mutex.

static int32_t zarn_audio_render_alsa_command_play(zarn_audio_render_alsa* record, snd_pcm_t* pcm)
{
    assert(record != nullptr);
    assert(pcm != nullptr);
    if (!record->initialised) {
        zarn_log_error("zarn_audio_render_alsa_command_play() : This audio render is not initialised.");
        return ZARN_ALSA_ERROR_COMMAND_PLAY_NOT_INITIALISED;
    }
    const snd_pcm_state_t state = snd_pcm_state(pcm);
    if (state == SND_PCM_STATE_PAUSED) {
        const int result = snd_pcm_pause(pcm, 0);
        if (result < 0) {
            zarn_log_error("zarn_audio_render_alsa_command_play() : Couldn't resume device (%s).", snd_strerror(result));
            return ZARN_ALSA_ERROR_RESUME_DEVICE;
        }
        return ZARN_OK;
    }
    if (state == SND_PCM_STATE_PREPARED) {
        const int result = snd_pcm_start(pcm);
        if (result < 0) {
            zarn_log_error("zarn_audio_render_alsa_command_play() : Couldn't start device (%s).", snd_strerror(result));
            return ZARN_ALSA_ERROR_START_DEVICE;
        }
        return ZARN_OK;
    }
    zarn_log_error("zarn_audio_render_alsa_command_play() : Expected device state to be 'paused' or 'running'.");
    return ZARN_ALSA_ERROR_PLAY_BAD_STATE;
}

static int32_t zarn_audio_render_alsa_command_pause(zarn_audio_render_alsa* record, snd_pcm_t* pcm)
{
    assert(record != nullptr);
    assert(pcm != nullptr);
    if (!record->initialised) {
        zarn_log_error("zarn_audio_render_alsa_command_pause() : This audio render is not initialised.");
        return ZARN_ALSA_ERROR_COMMAND_PAUSE_NOT_INITIALISED;
    }
    if (snd_pcm_state(pcm) != SND_PCM_STATE_RUNNING) {
        zarn_log_error("zarn_audio_render_alsa_command_pause() : Expected device state to be 'running'.");
        return ZARN_ALSA_ERROR_PAUSE_NOT_RUNNING;
    }
    const int result = snd_pcm_pause(pcm, 1);
    if (result < 0) {
        zarn_log_error("zarn_audio_render_alsa_command_pause() : Couldn't pause device (%s).", snd_strerror(result));
        return ZARN_ALSA_ERROR_PAUSE_DEVICE;
    }
    return ZARN_OK;
}

static int32_t zarn_audio_render_alsa_command_stop(zarn_audio_render_alsa* record, snd_pcm_t* pcm)
{
    assert(record != nullptr);
    assert(pcm != nullptr);
    assert(record->circ_buffer != nullptr);
    if (!record->initialised) {
        zarn_log_error("zarn_audio_render_alsa_command_stop() : This audio render is not initialised.");
        return ZARN_ALSA_ERROR_COMMAND_STOP_NOT_INITIALISED;
    }
    const snd_pcm_state_t state = snd_pcm_state(pcm);
    if (state != SND_PCM_STATE_SETUP && state != SND_PCM_STATE_PREPARED && state != SND_PCM_STATE_RUNNING &&
        state != SND_PCM_STATE_PAUSED) {
        zarn_log_error("zarn_audio_render_alsa_command_stop() : Expected device state to be 'paused', prepared', "
                       "'running', or 'setup' (%d).",
                       static_cast<int>(state));
        return ZARN_ALSA_ERROR_STOP_BAD_STATE;
    }
    const int result = snd_pcm_drop(pcm);
    if (result < 0) {
        zarn_log_error("zarn_audio_render_alsa_command_stop() : Couldn't stop device (%s).", snd_strerror(result));
        return ZARN_ALSA_ERROR_STOP_DEVICE;
    }
    zarn_mutex_lock(record->audio_mutex);
    zarn_circular_buffer_clear(record->circ_buffer);
    zarn_mutex_unlock(record->audio_mutex);
    return ZARN_OK;
}

static int32_t zarn_audio_render_alsa_command_prime(zarn_audio_render_alsa* record, snd_pcm_t* pcm)
{
    assert(record != nullptr);
    assert(pcm != nullptr);
    assert(record->circ_buffer != nullptr);
    if (!record->initialised) {
        zarn_log_error("zarn_audio_render_alsa_command_prime() : This audio render is not initialised.");
        return ZARN_ALSA_ERROR_COMMAND_PRIME_NOT_INITIALISED;
    }
    if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED) {
        zarn_log_info("zarn_audio_render_alsa_command_prime() : Device is not prepared so attempting to prepare.");
        if (snd_pcm_prepare(pcm) < 0) {
            zarn_log_error("zarn_audio_render_alsa_command_prime() : Expected device state to be 'prepared.");
            return ZARN_ALSA_ERROR_PRIME_PREPARE;
        }
    }
    const int32_t frames = zarn_audio_render_alsa_frames_per_block(record->channels);
    for (int32_t i = 0; i < ZARN_ALSA_PRIME_BLOCKS; ++i) {
        if (!pop_block(record, record->prime_block)) {
            zarn_log_warning("zarn_audio_render_alsa_command_prime() : Couldn't pop audio block from circular buffer.");
        }
        if (snd_pcm_writei(pcm, record->prime_block, frames) < 0) {
            zarn_log_error("zarn_audio_render_alsa_command_prime() : Couldn't send data to the device.");
            return ZARN_ALSA_ERROR_PRIME_WRITE;
        }
    }
    return ZARN_OK;
}

// The device thread: opens and sets up the device while holding
// thread_init_mutex, reports the outcome to open, then carries out commands
// and feeds the running device from the queue until ALSA_COMMAND_QUIT.
static void* zarn_audio_render_alsa_thread_func(void* argument)
{
    zarn_audio_render_alsa* record = static_cast<zarn_audio_render_alsa*>(argument);
    assert(record != nullptr);
    assert(record->circ_buffer != nullptr);

    snd_output_t* output = nullptr;
    snd_pcm_t* pcm = nullptr;
    snd_pcm_sw_params_t* sw_params = nullptr;
    int32_t setup_result = ZARN_OK;

    zarn_mutex_lock(record->thread_init_mutex);
    int result = snd_output_stdio_attach(&output, stdout, 0);
    if (result < 0) {
        zarn_log_error("zarn_audio_render_alsa_thread_func() : Couldn't attach stdio to output (%s).",
                       snd_strerror(result));
        setup_result = ZARN_ALSA_ERROR_ATTACH_OUTPUT;
    }
    if (setup_result == ZARN_OK) {
        result = snd_pcm_open(&pcm, ZARN_ALSA_DEVICE_NAME, SND_PCM_STREAM_PLAYBACK, 0);
        if (result < 0) {
            pcm = nullptr;
            zarn_log_error("zarn_audio_render_alsa_thread_func() : Couldn't open device (%s).", snd_strerror(result));
            setup_result = ZARN_ALSA_ERROR_OPEN_DEVICE;
        }
    }
    if (setup_result == ZARN_OK) {
        result = snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                                    static_cast<unsigned int>(record->channels),
                                    static_cast<unsigned int>(record->sample_rate), 1, ZARN_ALSA_LATENCY_US);
        if (result < 0) {
            zarn_log_error("zarn_audio_render_alsa_thread_func() : Couldn't set hw params (%s).", snd_strerror(result));
            setup_result = ZARN_ALSA_ERROR_SET_HW_PARAMS;
        }
    }
    if (setup_result == ZARN_OK) {
        snd_pcm_sw_params_malloc(&sw_params);
        snd_pcm_sw_params_current(pcm, sw_params);
        result = snd_pcm_sw_params_set_start_threshold(pcm, sw_params, ZARN_ALSA_START_THRESHOLD);
        if (result < 0) {
            zarn_log_error("zarn_audio_render_alsa_thread_func() : Couldn't set start threshold (%s).",
                           snd_strerror(result));
            setup_result = ZARN_ALSA_ERROR_SET_START_THRESHOLD;
        }
    }
    if (setup_result == ZARN_OK) {
        result = snd_pcm_sw_params(pcm, sw_params);
        if (result < 0) {
            zarn_log_error("zarn_audio_render_alsa_thread_func() : Couldn't set sw params (%s).", snd_strerror(result));
            setup_result = ZARN_ALSA_ERROR_SET_SW_PARAMS;
        }
    }

    record->thread_init_result = setup_result;
    record->thread_ready = true;
    zarn_cond_var_signal(record->thread_init_cond_var);
    zarn_mutex_unlock(record->thread_init_mutex);

    if (setup_result == ZARN_OK) {
        // The device thread's own block: only it reads and writes it.
        uint8_t block[ZARN_AUDIO_BLOCK_SIZE];
        bool quit = false;
        while (!quit) {
            while (record->command.load() != ALSA_COMMAND_NONE) {
                zarn_mutex_lock(record->command_mutex);
                const int32_t command = record->command.load();
                const char* name = command_name(command);
                if (name != nullptr) {
                    zarn_log_info("zarn_audio_render_alsa_thread_func() : %s", name);
                }
                switch (command) {
                case ALSA_COMMAND_PLAY:
                    record->command_result = zarn_audio_render_alsa_command_play(record, pcm);
                    break;
                case ALSA_COMMAND_PAUSE:
                    record->command_result = zarn_audio_render_alsa_command_pause(record, pcm);
                    break;
                case ALSA_COMMAND_STOP:
                    record->command_result = zarn_audio_render_alsa_command_stop(record, pcm);
                    break;
                case ALSA_COMMAND_PRIME:
                    record->command_result = zarn_audio_render_alsa_command_prime(record, pcm);
                    break;
                case ALSA_COMMAND_QUIT:
                    quit = true;
                    break;
                default:
                    break;
                }
                record->command.store(ALSA_COMMAND_NONE);
                record->command_done = true;
                zarn_cond_var_signal(record->command_cond_var);
                zarn_mutex_unlock(record->command_mutex);
                if (quit) {
                    break;
                }
            }
            if (quit) {
                break;
            }

            const snd_pcm_state_t state = snd_pcm_state(pcm);
            if (state != SND_PCM_STATE_RUNNING && !fell_out_of_running(state)) {
                zarn_thread_sleep(1);
                continue;
            }
            if (!pop_block(record, block)) {
                zarn_log_warning("zarn_audio_render_alsa_thread_func() : Couldn't pop audio block from circular "
                                 "buffer. Expect a stall!");
            }
            write_block(record, pcm, block);
        }
    }

    if (sw_params != nullptr) {
        snd_pcm_sw_params_free(sw_params);
    }
    if (pcm != nullptr) {
        snd_pcm_close(pcm);
    }
    if (output != nullptr) {
        snd_output_close(output);
    }
    zarn_thread_exit(nullptr);
}

// Hands one command to the device thread and waits until it has been carried
// out; returns its result.
static int32_t zarn_audio_render_alsa_send_command(zarn_audio_render_alsa* record, int32_t command)
{
    assert(record != nullptr);
    zarn_mutex_lock(record->command_mutex);
    record->command_done = false;
    while (!record->command_done) {
        record->command.store(command);
        zarn_cond_var_wait(record->command_cond_var, record->command_mutex);
    }
    const int32_t result = record->command_result;
    zarn_mutex_unlock(record->command_mutex);
    return result;
}

int32_t zarn_audio_render_alsa_open(void** handle, int32_t channels, int32_t sample_rate)
{
    assert(handle != nullptr);
    assert(*handle == nullptr);

    zarn_audio_render_alsa* record =
        static_cast<zarn_audio_render_alsa*>(zarn_malloc(sizeof(zarn_audio_render_alsa)));
    if (record == nullptr) {
        zarn_log_error("zarn_audio_render_alsa_open() : Couldn't allocate audio render.");
        return ZARN_ALSA_ERROR_ALLOCATE;
    }
    // All members, the atomics included, are valid as zero bytes.
    memset(static_cast<void*>(record), 0, sizeof(*record));
    *handle = record;

    int32_t code = ZARN_OK;
    if (zarn_circular_buffer_create(&record->circ_buffer, ZARN_ALSA_QUEUE_CAPACITY, ZARN_AUDIO_BLOCK_SIZE) < 0) {
        zarn_log_error("zarn_audio_render_alsa_open() : Couldn't create circular buffer.");
        code = ZARN_ALSA_ERROR_CREATE_CIRCULAR_BUFFER;
    } else if (zarn_cond_var_create(&record->thread_init_cond_var) < 0) {
        zarn_log_error("zarn_audio_render_alsa_open() : Couldn't create thread init cond var.");
        code = ZARN_ALSA_ERROR_CREATE_THREAD_INIT_COND_VAR;
    } else if (zarn_mutex_create(&record->thread_init_mutex) < 0) {
        zarn_log_error("zarn_audio_render_alsa_open() : Couldn't create thread init mutex.");
        code = ZARN_ALSA_ERROR_CREATE_THREAD_INIT_MUTEX;
    } else if (zarn_cond_var_create(&record->command_cond_var) < 0) {
        zarn_log_error("zarn_audio_render_alsa_open() : Couldn't create command cond var.");
        code = ZARN_ALSA_ERROR_CREATE_COMMAND_COND_VAR;
    } else if (zarn_mutex_create(&record->command_mutex) < 0) {
        zarn_log_error("zarn_audio_render_alsa_open() : Couldn't create command mutex.");
        code = ZARN_ALSA_ERROR_CREATE_COMMAND_MUTEX;
    } else if (zarn_mutex_create(&record->audio_mutex) < 0) {
        zarn_log_error("zarn_audio_render_alsa_open() : Couldn't create audio mutex.");
        code = ZARN_ALSA_ERROR_CREATE_AUDIO_MUTEX;
    }

    if (code == ZARN_OK) {
        record->channels = channels;
        record->sample_rate = sample_rate;
        if (zarn_thread_create(&record->thread, zarn_audio_render_alsa_thread_func, record) < 0) {
            zarn_log_error("zarn_audio_render_alsa_open() : Couldn't create thread.");
            code = ZARN_ALSA_ERROR_CREATE_THREAD;
        }
    }

    if (code == ZARN_OK) {
        zarn_mutex_lock(record->thread_init_mutex);
        while (!record->thread_ready) {
            zarn_cond_var_wait(record->thread_init_cond_var, record->thread_init_mutex);
        }
        const int32_t init_result = record->thread_init_result;
        zarn_mutex_unlock(record->thread_init_mutex);
        if (init_result != ZARN_OK) {
            zarn_log_error("zarn_audio_render_alsa_open() : Couldn't prepare thread.");
            code = ZARN_ALSA_ERROR_PREPARE_THREAD;
        }
    }

    if (code != ZARN_OK) {
        zarn_audio_render_alsa_free(record);
        *handle = nullptr;
        return code;
    }
    record->initialised = true;
    return ZARN_OK;
}

void zarn_audio_render_alsa_free(void* handle)
{
    zarn_audio_render_alsa* record = static_cast<zarn_audio_render_alsa*>(handle);
    if (record == nullptr) {
        return;
    }
    if (record->thread != nullptr) {
        // Without `initialised` the device thread has already ended after a
        // failed set-up and is only joined.
        if (record->initialised) {
            zarn_audio_render_alsa_send_command(record, ALSA_COMMAND_QUIT);
        }
        zarn_thread_free(record->thread);
        record->thread = nullptr;
    }
    zarn_mutex_free(record->audio_mutex);
    zarn_mutex_free(record->command_mutex);
    zarn_cond_var_free(record->command_cond_var);
    zarn_mutex_free(record->thread_init_mutex);
    zarn_cond_var_free(record->thread_init_cond_var);
    zarn_circular_buffer_free(record->circ_buffer);
    memset(static_cast<void*>(record), 0, sizeof(*record));
    zarn_free(record);
}

int32_t zarn_audio_render_alsa_pause(void* handle)
{
    zarn_audio_render_alsa* record = static_cast<zarn_audio_render_alsa*>(handle);
    assert(record != nullptr);
    if (!record->initialised) {
        zarn_log_error("zarn_audio_render_alsa_pause() : This audio render is not initialised.");
        return ZARN_ALSA_ERROR_PAUSE_NOT_INITIALISED;
    }
    return zarn_audio_render_alsa_send_command(record, ALSA_COMMAND_PAUSE);
}

int32_t zarn_audio_render_alsa_play(void* handle)
{
    zarn_audio_render_alsa* record = static_cast<zarn_audio_render_alsa*>(handle);
    assert(record != nullptr);
    if (!record->initialised) {
        zarn_log_error("zarn_audio_render_alsa_play() : This audio render is not initialised.");
        return ZARN_ALSA_ERROR_PLAY_NOT_INITIALISED;
    }
    return zarn_audio_render_alsa_send_command(record, ALSA_COMMAND_PLAY);
}

int32_t zarn_audio_render_alsa_prime(void* handle)
{
    zarn_audio_render_alsa* record = static_cast<zarn_audio_render_alsa*>(handle);
    assert(record != nullptr);
    if (!record->initialised) {
        zarn_log_error("zarn_audio_render_alsa_prime() : This audio render is not initialised.");
        return ZARN_ALSA_ERROR_PRIME_NOT_INITIALISED;
    }
    return zarn_audio_render_alsa_send_command(record, ALSA_COMMAND_PRIME);
}

int32_t zarn_audio_render_alsa_stop(void* handle)
{
    zarn_audio_render_alsa* record = static_cast<zarn_audio_render_alsa*>(handle);
    assert(record != nullptr);
    if (!record->initialised) {
        zarn_log_error("zarn_audio_render_alsa_stop() : This audio render is not initialised.");
        return ZARN_ALSA_ERROR_STOP_NOT_INITIALISED;
    }
    return zarn_audio_render_alsa_send_command(record, ALSA_COMMAND_STOP);
}

int32_t zarn_audio_render_alsa_can_write_buffer(void* handle, bool* out_can_write)
{
    zarn_audio_render_alsa* record = static_cast<zarn_audio_render_alsa*>(handle);
    assert(record != nullptr);
    assert(record->circ_buffer != nullptr);
    assert(out_can_write != nullptr);
    *out_can_write = false;
    if (!record->initialised) {
        zarn_log_error("zarn_audio_render_alsa_can_write_buffer() : This audio render is not initialised.");
        return ZARN_ALSA_ERROR_CAN_WRITE_NOT_INITIALISED;
    }
    // The device thread pops under audio_mutex; taking it here too keeps the
    // read of `count` ordered with those pops. It is held only around queue
    // operations, never across a device write, so this never waits long.
    zarn_mutex_lock(record->audio_mutex);
    *out_can_write = record->circ_buffer->count < record->circ_buffer->capacity;
    zarn_mutex_unlock(record->audio_mutex);
    return ZARN_OK;
}

int32_t zarn_audio_render_alsa_write_buffer(void* handle, const uint8_t* data)
{
    zarn_audio_render_alsa* record = static_cast<zarn_audio_render_alsa*>(handle);
    assert(record != nullptr);
    assert(record->circ_buffer != nullptr);
    assert(data != nullptr);
    if (!record->initialised) {
        zarn_log_error("zarn_audio_render_alsa_write_buffer() : This audio render is not initialised.");
        return ZARN_ALSA_ERROR_WRITE_NOT_INITIALISED;
    }
    // The audio track produces Vorbis channel order; the device expects
    // ALSA's. Reorder a copy, outside the lock.
    uint8_t reordered[ZARN_AUDIO_BLOCK_SIZE];
    const uint8_t* block = data;
    if (zarn_audio_render_alsa_channel_order(record->channels) != nullptr) {
        memcpy(reordered, data, ZARN_AUDIO_BLOCK_SIZE);
        zarn_audio_render_alsa_reorder_block(reordered, record->channels);
        block = reordered;
    }
    zarn_mutex_lock(record->audio_mutex);
    const int32_t result = zarn_circular_buffer_push_back(record->circ_buffer, block);
    zarn_mutex_unlock(record->audio_mutex);
    if (result < 0) {
        zarn_log_error("zarn_audio_render_alsa_write_buffer() : Couldn't push an audio block to the circular buffer.");
        return ZARN_ALSA_ERROR_QUEUE_FULL;
    }
    return ZARN_OK;
}
