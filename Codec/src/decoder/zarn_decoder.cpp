// A movie's life: creation of the decoder record and its worker thread with
// the start-up handshake, the one-slot command mailbox, the worker's loop,
// initialisation (file, headers, tracks, audio render, first frame),
// finalisation and release.
#include "zarn_decoder.h"

#include <cassert>
#include <cstring>
#include <new>

#include "../common/zarn_log.h"
#include "../common/zarn_memory.h"
#include "../zarn_results.h"

namespace {

void release_frame_images(zarn_decoder* decoder)
{
    for (vpx_image_t*& image : decoder->frame_images) {
        if (image != nullptr) {
            vpx_img_free(image);
            image = nullptr;
        }
    }
    decoder->curr_frame = nullptr;
    decoder->taken_frame = nullptr;
    decoder->last_frame = nullptr;
}

// Carries out one mailbox command on the worker, command_mutex held.
int32_t run_command(zarn_decoder* decoder, int32_t command)
{
    switch (command) {
    case DECODER_COMMAND_PAUSE:
        return zarn_decoder_command_pause(decoder);
    case DECODER_COMMAND_PLAY:
        return zarn_decoder_command_play(decoder);
    case DECODER_COMMAND_SET_TIME:
        return zarn_decoder_command_set_time(decoder, decoder->command_time);
    case DECODER_COMMAND_STOP:
        return zarn_decoder_command_stop(decoder);
    default:
        return ZARN_OK;  // acknowledged without effect
    }
}

// Acknowledges the command being carried out and wakes its sender; called
// with command_mutex held, which it releases.
void acknowledge_command(zarn_decoder* decoder, int32_t result)
{
    decoder->command_result = result;
    decoder->command = DECODER_COMMAND_NONE;
    decoder->command_done = true;
    zarn_mutex_unlock(decoder->command_mutex);
    zarn_cond_var_signal(decoder->command_cond_var);
}

}  // namespace

int32_t zarn_decoder_create(zarn_decoder** decoder, const char* path, zarn_event_callback callback,
                            void* user_data)
{
    assert(decoder != nullptr);
    assert(path != nullptr);
    *decoder = nullptr;

    // The path is kept in a fixed field; one that does not fit is refused
    // before anything is built.
    if (strnlen(path, ZARN_DECODER_PATH_SIZE) >= ZARN_DECODER_PATH_SIZE) {
        zarn_log_error("zarn_decoder_create() : Path is too long.");
        return ZARN_DECODER_ERROR_PATH_TOO_LONG;
    }

    void* memory = zarn_malloc(sizeof(zarn_decoder));
    if (memory == nullptr) {
        zarn_log_error("zarn_decoder_create() : Couldn't allocate decoder.");
        return ZARN_DECODER_ERROR_ALLOCATE;
    }
    memset(memory, 0, sizeof(zarn_decoder));
    zarn_decoder* created = new (memory) zarn_decoder{};

    int32_t result = ZARN_OK;
    const char* message = nullptr;
    created->event_callback = callback;
    created->user_data = user_data;
    created->active_audio_track = -1;
    created->active_caption_track = -1;
    created->active_video_track = -1;
    if (zarn_circular_buffer_create(&created->event_buffer, ZARN_DECODER_EVENT_CAPACITY, sizeof(int32_t)) != ZARN_OK) {
        result = ZARN_DECODER_ERROR_CREATE_EVENT_BUFFER;
        message = "zarn_decoder_create() : Couldn't create event circular buffer.";
    } else if (zarn_mutex_create(&created->event_mutex) != ZARN_OK) {
        result = ZARN_DECODER_ERROR_CREATE_EVENT_MUTEX;
        message = "zarn_decoder_create() : Couldn't create event mutex.";
    } else {
        created->state = ZARN_STATE_INITIALISING;
        memcpy(created->path, path, strlen(path) + 1);
        if (zarn_cond_var_create(&created->init_cond_var) != ZARN_OK) {
            result = ZARN_DECODER_ERROR_CREATE_INIT_COND_VAR;
            message = "zarn_decoder_create() : Couldn't create init condition variable.";
        } else if (zarn_mutex_create(&created->init_mutex) != ZARN_OK) {
            result = ZARN_DECODER_ERROR_CREATE_INIT_MUTEX;
            message = "zarn_decoder_create() : Couldn't create init mutex.";
        } else if (zarn_cond_var_create(&created->command_cond_var) != ZARN_OK) {
            result = ZARN_DECODER_ERROR_CREATE_COMMAND_COND_VAR;
            message = "zarn_decoder_create() : Couldn't create command condition variable.";
        } else if (zarn_mutex_create(&created->command_mutex) != ZARN_OK) {
            result = ZARN_DECODER_ERROR_CREATE_COMMAND_MUTEX;
            message = "zarn_decoder_create() : Couldn't create command mutex.";
        } else if (zarn_thread_create(&created->thread, zarn_decoder_thread_func, created) != ZARN_OK) {
            result = ZARN_DECODER_ERROR_CREATE_THREAD;
            message = "zarn_decoder_create() : Couldn't create thread.";
        }
    }

    if (result == ZARN_OK) {
        zarn_mutex_lock(created->init_mutex);
        while (!created->init_done) {
            zarn_cond_var_wait(created->init_cond_var, created->init_mutex);
        }
        const int32_t init_result = created->init_result;
        zarn_mutex_unlock(created->init_mutex);
        if (init_result != ZARN_OK) {
            // The worker has released what it built and ends by itself;
            // the release below joins it.
            result = ZARN_DECODER_ERROR_PREPARE_THREAD;
            message = "zarn_decoder_create() : Couldn't prepare thread.";
        }
    }

    if (result != ZARN_OK) {
        zarn_log_error("%s", message);
        zarn_decoder_free(created);
        return result;
    }
    created->initialised = true;
    *decoder = created;
    return ZARN_OK;
}

void zarn_decoder_free(zarn_decoder* decoder)
{
    if (decoder == nullptr) {
        return;
    }
    if (decoder->thread != nullptr) {
        // A worker whose initialisation failed has ended by itself.
        if (decoder->initialised) {
            zarn_decoder_send_command(decoder, DECODER_COMMAND_QUIT, nullptr);
        }
        zarn_thread_free(decoder->thread);
        decoder->thread = nullptr;
    }
    if (decoder->command_mutex != nullptr) {
        zarn_mutex_free(decoder->command_mutex);
    }
    if (decoder->command_cond_var != nullptr) {
        zarn_cond_var_free(decoder->command_cond_var);
    }
    if (decoder->init_mutex != nullptr) {
        zarn_mutex_free(decoder->init_mutex);
    }
    if (decoder->init_cond_var != nullptr) {
        zarn_cond_var_free(decoder->init_cond_var);
    }
    if (decoder->event_mutex != nullptr) {
        zarn_mutex_free(decoder->event_mutex);
    }
    if (decoder->event_buffer != nullptr) {
        zarn_circular_buffer_free(decoder->event_buffer);
    }
    decoder->~zarn_decoder();
    memset(static_cast<void*>(decoder), 0, sizeof(zarn_decoder));
    zarn_free(decoder);
}

int32_t zarn_decoder_send_command(zarn_decoder* decoder, int32_t command, const double* time)
{
    assert(decoder != nullptr);

    zarn_mutex_lock(decoder->command_mutex);
    decoder->command_done = false;
    // The command is posted again after every wake-up until the worker has
    // carried it out.
    while (!decoder->command_done) {
        if (time != nullptr) {
            decoder->command_time = *time;
        }
        decoder->command = command;
        zarn_cond_var_wait(decoder->command_cond_var, decoder->command_mutex);
    }
    const int32_t result = decoder->command_result;
    zarn_mutex_unlock(decoder->command_mutex);
    return result;
}

int32_t zarn_decoder_pause(zarn_decoder* decoder)
{
    return zarn_decoder_send_command(decoder, DECODER_COMMAND_PAUSE, nullptr);
}

int32_t zarn_decoder_play(zarn_decoder* decoder)
{
    return zarn_decoder_send_command(decoder, DECODER_COMMAND_PLAY, nullptr);
}

int32_t zarn_decoder_stop(zarn_decoder* decoder)
{
    return zarn_decoder_send_command(decoder, DECODER_COMMAND_STOP, nullptr);
}

int32_t zarn_decoder_set_time(zarn_decoder* decoder, double time)
{
    return zarn_decoder_send_command(decoder, DECODER_COMMAND_SET_TIME, &time);
}

void* zarn_decoder_thread_func(void* argument)
{
    zarn_decoder* decoder = static_cast<zarn_decoder*>(argument);
    assert(decoder != nullptr);

    zarn_mutex_lock(decoder->init_mutex);
    if (zarn_decoder_initialise(decoder) < 0) {
        zarn_log_error("zarn_decoder_thread_func() : Couldn't initialise decoder.");
        decoder->init_result = ZARN_DECODER_ERROR_INITIALISE;
        decoder->init_done = true;
        zarn_cond_var_signal(decoder->init_cond_var);
        zarn_mutex_unlock(decoder->init_mutex);
        // The record may be released as soon as creation has joined this
        // thread, which happens only after it has ended; finalise touches
        // nothing creation releases.
        zarn_decoder_finalise(decoder);
        zarn_thread_exit(nullptr);
    }
    decoder->init_result = ZARN_OK;
    decoder->init_done = true;
    zarn_cond_var_signal(decoder->init_cond_var);
    zarn_mutex_unlock(decoder->init_mutex);

    for (;;) {
        while (decoder->command != DECODER_COMMAND_NONE) {
            zarn_mutex_lock(decoder->command_mutex);
            const int32_t command = decoder->command;
            if (command == DECODER_COMMAND_QUIT) {
                acknowledge_command(decoder, ZARN_OK);
                zarn_decoder_finalise(decoder);
                zarn_thread_exit(nullptr);
            }
            acknowledge_command(decoder, run_command(decoder, command));
        }
        // A failing step has logged its lines; it is tried again next cycle.
        zarn_decoder_update(decoder);
        zarn_thread_sleep(1);
    }
}

int32_t zarn_decoder_initialise(zarn_decoder* decoder)
{
    assert(decoder != nullptr);

    if (zarn_file_create(&decoder->file, decoder->path, true) != ZARN_OK) {
        zarn_log_error("zarn_decoder_initialise() : Couldn't create input file.");
        return ZARN_DECODER_ERROR_CREATE_INPUT_FILE;
    }
    if (zarn_mutex_create(&decoder->frame_mutex) != ZARN_OK) {
        zarn_log_error("zarn_decoder_initialise() : Couldn't create frame mutex.");
        return ZARN_DECODER_ERROR_CREATE_FRAME_MUTEX;
    }
    if (zarn_timer_create(&decoder->timer) != ZARN_OK) {
        zarn_log_error("zarn_decoder_initialise() : Couldn't create timer.");
        return ZARN_DECODER_ERROR_CREATE_TIMER;
    }
    // Header, magic, complete encoding, frame rate, counts, sizes and the
    // track headers; each failure is logged there under this function's name.
    const int32_t result = zarn_decoder_read_headers(decoder);
    if (result != ZARN_OK) {
        return result;
    }

    decoder->active_audio_track = -1;
    decoder->active_caption_track = -1;
    decoder->active_video_track = -1;
    if (decoder->header.audio_track_count > 0 && zarn_decoder_enable_audio_track(decoder, 0) != ZARN_OK) {
        zarn_log_error("zarn_decoder_initialise() : Couldn't enable audio track.");
        return ZARN_DECODER_ERROR_ENABLE_AUDIO_TRACK;
    }
    if (decoder->header.video_track_count < 1 || zarn_decoder_enable_video_track(decoder, 0) != ZARN_OK) {
        zarn_log_error("zarn_decoder_initialise() : Couldn't enable video track.");
        return ZARN_DECODER_ERROR_ENABLE_VIDEO_TRACK;
    }

    // The header reading has checked the size and that the video track's
    // agrees with it.
    for (vpx_image_t*& image : decoder->frame_images) {
        image = vpx_img_alloc(nullptr, VPX_IMG_FMT_I420, static_cast<unsigned int>(decoder->header.width),
                              static_cast<unsigned int>(decoder->header.height), 4);
        if (image == nullptr) {
            zarn_log_error("zarn_decoder_initialise() : Couldn't allocate frame images.");
            return ZARN_DECODER_ERROR_ALLOCATE_FRAME_IMAGES;
        }
    }

    decoder->sync_state = VIDEO_SYNC_DECODE;
    decoder->state = ZARN_STATE_STOPPED;
    decoder->loop = false;
    if (zarn_decoder_command_set_time(decoder, 0.0) != ZARN_OK) {
        zarn_log_error("zarn_decoder_initialise() : Couldn't seek to start.");
        return ZARN_DECODER_ERROR_SEEK_TO_START;
    }
    return ZARN_OK;
}

void zarn_decoder_finalise(zarn_decoder* decoder)
{
    assert(decoder != nullptr);

    if (decoder->video_track != nullptr) {
        zarn_video_track_free(decoder->video_track);
        decoder->video_track = nullptr;
    }
    decoder->active_video_track = -1;
    if (decoder->audio_track != nullptr) {
        zarn_audio_track_free(decoder->audio_track);
        decoder->audio_track = nullptr;
    }
    decoder->active_audio_track = -1;
    zarn_decoder_free_headers(decoder);
    if (decoder->audio_render != nullptr) {
        zarn_audio_render_free(decoder->audio_render);
        decoder->audio_render = nullptr;
    }
    if (decoder->timer != nullptr) {
        zarn_timer_free(decoder->timer);
        decoder->timer = nullptr;
    }
    release_frame_images(decoder);
    if (decoder->frame_mutex != nullptr) {
        zarn_mutex_free(decoder->frame_mutex);
        decoder->frame_mutex = nullptr;
    }
    if (decoder->file != nullptr) {
        zarn_file_free(decoder->file);
        decoder->file = nullptr;
    }
}

int32_t zarn_decoder_enable_audio_track(zarn_decoder* decoder, int32_t index)
{
    assert(decoder != nullptr);
    assert(index >= 0 && index < decoder->header.audio_track_count);

    if (decoder->audio_render != nullptr) {
        zarn_audio_render_free(decoder->audio_render);
        decoder->audio_render = nullptr;
    }
    if (decoder->audio_track != nullptr) {
        decoder->active_audio_track = -1;
        zarn_audio_track_free(decoder->audio_track);
        decoder->audio_track = nullptr;
    }
    const zarn_track_header* header = &decoder->audio_track_headers[index];
    if (zarn_audio_render_create(&decoder->audio_render, header->audio.channels, header->audio.sample_rate) !=
        ZARN_OK) {
        zarn_log_error("zarn_decoder_enable_audio_track() : Couldn't create audio render.");
        return ZARN_DECODER_ERROR_CREATE_AUDIO_RENDER;
    }
    zarn_audio_track* track = nullptr;
    if (zarn_audio_track_create(&track, header, decoder->file) != ZARN_OK) {
        zarn_log_error("zarn_decoder_enable_audio_track() : Couldn't create audio track.");
        return ZARN_DECODER_ERROR_CREATE_AUDIO_TRACK;
    }
    decoder->active_audio_track = index;
    decoder->audio_track = track;
    return ZARN_OK;
}

int32_t zarn_decoder_enable_video_track(zarn_decoder* decoder, int32_t index)
{
    assert(decoder != nullptr);
    assert(index >= 0 && index < decoder->header.video_track_count);

    if (decoder->video_track != nullptr) {
        decoder->active_video_track = -1;
        zarn_video_track_free(decoder->video_track);
        decoder->video_track = nullptr;
    }
    zarn_video_track* track = nullptr;
    if (zarn_video_track_create(&track, &decoder->video_track_headers[index], decoder->file,
                                decoder->header.frame_blob_size) != ZARN_OK) {
        zarn_log_error("zarn_decoder_enable_video_track() : Couldn't create video track.");
        return ZARN_DECODER_ERROR_CREATE_VIDEO_TRACK;
    }
    decoder->active_video_track = index;
    decoder->video_track = track;
    return ZARN_OK;
}
