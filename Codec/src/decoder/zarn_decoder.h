// The decoder record of one open movie, shared by the caller's thread and the
// movie's worker thread, and the decoder's operations.
#pragma once

#include <atomic>
#include <cstdint>
#include <vpx/vpx_image.h>

#include "../common/zarn_file.h"
#include "../common/zarn_format.h"
#include "../zarn.h"
#include "zarn_audio_render.h"
#include "zarn_audio_track.h"
#include "zarn_circular_buffer.h"
#include "zarn_cond_var.h"
#include "zarn_mutex.h"
#include "zarn_thread.h"
#include "zarn_timer.h"
#include "zarn_video_track.h"

// Video timing states of the playback step.
constexpr int32_t VIDEO_SYNC_DECODE = 0;
constexpr int32_t VIDEO_SYNC_EARLY = 1;
constexpr int32_t VIDEO_SYNC_LATE = 2;
constexpr int32_t VIDEO_SYNC_PRESENT = 3;

// Mailbox commands.
constexpr int32_t DECODER_COMMAND_NONE = 0;
constexpr int32_t DECODER_COMMAND_PAUSE = 1;
constexpr int32_t DECODER_COMMAND_PLAY = 2;
constexpr int32_t DECODER_COMMAND_SET_TIME = 3;
constexpr int32_t DECODER_COMMAND_STOP = 4;
constexpr int32_t DECODER_COMMAND_QUIT = 5;

constexpr int32_t ZARN_DECODER_EVENT_CAPACITY = 32;
constexpr size_t ZARN_DECODER_PATH_SIZE = 256;
// Frame images the worker rotates through, so that the one waiting and the one
// the caller took last are never written while they may be read.
constexpr int ZARN_DECODER_FRAME_IMAGES = 3;

struct zarn_decoder {
    zarn_audio_render* audio_render;           // null without an audio track
    zarn_file* file;
    zarn_header header;
    zarn_timer* timer;
    std::atomic<int32_t> state;                // ZARN_STATE_*
    std::atomic<bool> initialised;             // creation completed
    std::atomic<bool> loop;
    char path[ZARN_DECODER_PATH_SIZE];
    std::atomic<double> curr_time;             // playback clock, seconds
    zarn_event_callback event_callback;
    void* user_data;
    zarn_mutex* event_mutex;
    zarn_circular_buffer* event_buffer;        // ZARN_DECODER_EVENT_CAPACITY int32 events
    zarn_mutex* frame_mutex;
    std::atomic<vpx_image_t*> curr_frame;      // waiting frame image, or null
    zarn_thread* thread;
    zarn_cond_var* init_cond_var;
    zarn_mutex* init_mutex;
    int32_t sync_state;                        // VIDEO_SYNC_*
    bool init_done;                            // guarded by init_mutex
    int32_t init_result;
    zarn_cond_var* command_cond_var;
    zarn_mutex* command_mutex;
    bool command_done;                         // guarded by command_mutex
    std::atomic<int32_t> command;              // DECODER_COMMAND_*
    double command_time;
    int32_t command_result;
    zarn_track_header* audio_track_headers;    // audio_track_count records
    zarn_track_header* caption_track_headers;  // always null
    zarn_track_header* video_track_headers;    // video_track_count records
    zarn_audio_track* audio_track;
    void* caption_track;                       // always null
    zarn_video_track* video_track;
    int32_t active_audio_track;                // -1 for none
    int32_t active_caption_track;              // always -1
    int32_t active_video_track;                // -1 for none
    // Frame image rotation (guarded by frame_mutex): the images, and the one
    // the caller took last. The worker copies each new picture into an image
    // that is neither waiting nor taken, so no image is written while the
    // caller may read it.
    vpx_image_t* frame_images[ZARN_DECODER_FRAME_IMAGES];
    vpx_image_t* taken_frame;
    // The image holding the picture published last (worker only); published
    // again when a seek ends on packets that show no picture.
    vpx_image_t* last_frame;
};

// Header reading, shared with the tools. Reads the movie header and the track
// headers from decoder->file into decoder->header, audio_track_headers and
// video_track_headers (with data_position filled in), checking the magic
// words, a complete encoding, the frame rate, the track counts and the
// picture size. Returns 0 or a decoder code; logs one line per failure.
int32_t zarn_decoder_read_headers(zarn_decoder* decoder);
int32_t zarn_decoder_examine_audio_tracks(zarn_decoder* decoder);
int32_t zarn_decoder_examine_video_tracks(zarn_decoder* decoder);
// Releases the track header arrays (each only if present).
void zarn_decoder_free_headers(zarn_decoder* decoder);

// Events and the frame hand-off.
void zarn_decoder_fire_event(zarn_decoder* decoder, int32_t event);
int32_t zarn_decoder_pulse_events(zarn_decoder* decoder);
void zarn_decoder_set_current_frame(zarn_decoder* decoder, vpx_image_t* image);
int32_t zarn_decoder_is_frame_ready(zarn_decoder* decoder, bool* out_ready);
int32_t zarn_decoder_get_current_frame(zarn_decoder* decoder, zarn_frame* out_frame);
int32_t zarn_decoder_get_time(zarn_decoder* decoder, double* out_time);
int32_t zarn_decoder_blit_current_frame(zarn_decoder* decoder, int32_t format, uint8_t* output,
                                        int32_t output_stride);
// Worker side: copies the video track's decoded picture into a free frame
// image and publishes it. Returns 0, or the track's code when the last
// decoded packet left no picture.
int32_t zarn_decoder_publish_picture(zarn_decoder* decoder);

// The playback step and the command bodies (worker thread).
int32_t zarn_decoder_update(zarn_decoder* decoder);
int32_t zarn_decoder_update_video(zarn_decoder* decoder);
int32_t zarn_decoder_update_audio(zarn_decoder* decoder);
int32_t zarn_decoder_command_play(zarn_decoder* decoder);
int32_t zarn_decoder_command_pause(zarn_decoder* decoder);
int32_t zarn_decoder_command_stop(zarn_decoder* decoder);
int32_t zarn_decoder_command_set_time(zarn_decoder* decoder, double time);

// Creation, the worker and the mailbox.
int32_t zarn_decoder_create(zarn_decoder** decoder, const char* path, zarn_event_callback callback,
                            void* user_data);
void zarn_decoder_free(zarn_decoder* decoder);
int32_t zarn_decoder_send_command(zarn_decoder* decoder, int32_t command, const double* time);
int32_t zarn_decoder_pause(zarn_decoder* decoder);
int32_t zarn_decoder_play(zarn_decoder* decoder);
int32_t zarn_decoder_stop(zarn_decoder* decoder);
int32_t zarn_decoder_set_time(zarn_decoder* decoder, double time);
void* zarn_decoder_thread_func(void* decoder);
int32_t zarn_decoder_initialise(zarn_decoder* decoder);
void zarn_decoder_finalise(zarn_decoder* decoder);
int32_t zarn_decoder_enable_audio_track(zarn_decoder* decoder, int32_t index);
int32_t zarn_decoder_enable_video_track(zarn_decoder* decoder, int32_t index);
