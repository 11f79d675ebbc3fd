/* libzarn: the Zarn Video (.zrn) codec library.
 *
 * A flat C interface. A movie is opened with zarn_open(), which starts a worker
 * thread of its own that reads, decodes and times the movie; the caller polls
 * for frames (zarn_is_frame_ready) and takes each one as YUV planes
 * (zarn_get_current_frame) or converted into its own RGB buffer
 * (zarn_blit_current_frame_bgra / _rgba). Sound plays on the ALSA "default"
 * device. Every function returns ZARN_OK (0) or a negative code; -1 to -7 are
 * this interface's own (zarn_results.h lists them all), lower codes come from
 * the decoder and pass through unchanged. Values travel through
 * out-parameters, which are written only on success.
 *
 * Threads: call the interface from one thread. zarn_open, zarn_close, and the
 * transport calls (play, pause, stop, set_time) block until the movie's worker
 * has carried them out; the getters and zarn_is_frame_ready never block.
 *
 * Movie guard: every function taking a movie, except zarn_open, zarn_close
 * and zarn_get_track_count's out-parameter assertion, first returns
 * ZARN_ERROR_NOT_INITIALISED (-2) when the library is not initialised, then
 * ZARN_ERROR_NULL_MOVIE (-3) for a null movie, then ZARN_ERROR_MOVIE_NOT_READY
 * (-4) for a movie that is not ready. Passing a null pointer where a
 * description below says "asserted" stops the program. */
#ifndef ZARN_H
#define ZARN_H

#include <stdbool.h>
#include <stdint.h>

#include "zarn_handlers.h"
#include "zarn_results.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The only interface version zarn_initialise accepts. */
#define ZARN_INTERFACE_VERSION 65539 /* 0x00010003 */

/* Track types. */
#define ZARN_TRACK_AUDIO   1
#define ZARN_TRACK_CAPTION 2
#define ZARN_TRACK_VIDEO   3

/* Movie states. A movie zarn_open returned is stopped, paused or playing. */
#define ZARN_STATE_INITIALISING 1
#define ZARN_STATE_PAUSED       2
#define ZARN_STATE_PLAYING      3
#define ZARN_STATE_STOPPED      4

/* Events delivered to a movie's callback by zarn_pulse_events. */
#define ZARN_EVENT_PLAY         0
#define ZARN_EVENT_PAUSE        1
#define ZARN_EVENT_END_OF_MOVIE 2

/* Pixel formats of the frame conversion. */
#define ZARN_PIXEL_FORMAT_BGR      1 /* 3 bytes: B, G, R */
#define ZARN_PIXEL_FORMAT_BGRA     3 /* 4 bytes: B, G, R, A = 255 */
#define ZARN_PIXEL_FORMAT_RGBA     4 /* 4 bytes: R, G, B, A = 255 */
#define ZARN_PIXEL_FORMAT_ARGB1555 5 /* little-endian 16-bit: 1, R5, G5, B5 */
#define ZARN_PIXEL_FORMAT_RGB565   6 /* little-endian 16-bit: R5, G6, B5 */

/* An open movie (opaque). Valid from a successful zarn_open until zarn_close. */
typedef struct zarn_decoder zarn_decoder;

/* A track of a movie (opaque, read only), from zarn_get_track; valid until
 * zarn_close of its movie. */
typedef struct zarn_track_header zarn_track_header;

/* Called on the thread that calls zarn_pulse_events, once per queued event
 * (ZARN_EVENT_*), oldest first. It must not command or close its own movie. */
typedef void (*zarn_event_callback)(void* user_data, int32_t event);

/* The planes of a frame: index 0 = Y, 1 = U, 2 = V, 8-bit 4:2:0. The planes
 * belong to the movie: read them at once, before the next take. Chroma
 * widths and heights are the luma ones shifted right by one. */
typedef struct zarn_frame {
    uint8_t* data[3];
    int32_t stride[3];
    int32_t width[3];
    int32_t height[3];
} zarn_frame;

typedef struct zarn_audio_track_info {
    char name[64];        /* NUL-terminated */
    int32_t channels;
    int32_t sample_rate;  /* Hz */
} zarn_audio_track_info;

typedef struct zarn_video_track_info {
    char name[64];        /* NUL-terminated */
    int32_t width;
    int32_t height;
    uint32_t header_word; /* copied from the file, not interpreted */
    float frame_rate;     /* frames per second */
} zarn_video_track_info;

/* Initialises the library. `version` must be ZARN_INTERFACE_VERSION, else
 * ZARN_ERROR_BAD_VERSION and nothing changes. Either table may be null to
 * keep the current services; a non-null table is copied. Call before any
 * movie is opened. */
int32_t zarn_initialise(int32_t version, const zarn_file_handlers* file_handlers,
                        const zarn_memory_handlers* memory_handlers);

/* Marks the library uninitialised. Open movies keep playing; zarn_close still
 * works. */
void zarn_finalise(void);

/* Opens the movie at `path` (asserted, with `movie`). Returns when the movie
 * is ready: stopped at 0.0 with its first frame waiting and looping off.
 * `callback` and `user_data` may be null. Returns ZARN_ERROR_NOT_INITIALISED
 * (handle untouched) or a decoder creation code (handle set to null):
 * ZARN_DECODER_ERROR_PREPARE_THREAD (-10005) when the file cannot be opened,
 * is not a playable movie, or its audio device cannot be opened (the log
 * says which); ZARN_DECODER_ERROR_PATH_TOO_LONG for a path of 256 bytes or
 * more; the other -100xx creation codes when resources run out. */
int32_t zarn_open(const char* path, zarn_decoder** movie, zarn_event_callback callback,
                  void* user_data);

/* Ends the movie's worker and releases everything (`movie` asserted). Works
 * whether or not the library is initialised. Returns 0. */
int32_t zarn_close(zarn_decoder* movie);

/* Delivers the pending events to the movie's callback on this thread. */
int32_t zarn_pulse_events(zarn_decoder* movie);

/* The loop flag: when set, the movie starts again from 0 at its end. */
int32_t zarn_get_loop(zarn_decoder* movie, bool* out_loop);
int32_t zarn_set_loop(zarn_decoder* movie, bool loop);

/* Playback time, in seconds. */
int32_t zarn_get_time(zarn_decoder* movie, double* out_time);
/* Seeks (blocking) so the frame for `time` is waiting; keeps the state.
 * Returns the decoder's result of the seek. */
int32_t zarn_set_time(zarn_decoder* movie, double time);
/* The movie header's duration, in seconds. */
int32_t zarn_get_duration(zarn_decoder* movie, double* out_duration);
/* One of ZARN_STATE_*. */
int32_t zarn_get_state(zarn_decoder* movie, int32_t* out_state);

/* Transport commands; each blocks until carried out and returns its result.
 * A second play, pause or stop in a row logs a warning and returns 0. */
int32_t zarn_play(zarn_decoder* movie);
int32_t zarn_pause(zarn_decoder* movie);
/* Stops and rewinds to 0.0 (first frame waiting). */
int32_t zarn_stop(zarn_decoder* movie);

/* Writes whether a frame is waiting to be taken (`out_ready` asserted). */
int32_t zarn_is_frame_ready(zarn_decoder* movie, bool* out_ready);
/* Takes the waiting frame as planes (`out_frame` asserted; a frame must be
 * waiting: ask zarn_is_frame_ready first). */
int32_t zarn_get_current_frame(zarn_decoder* movie, zarn_frame* out_frame);
/* Takes the waiting frame, converted into `output` (asserted): height rows of
 * `output_stride` bytes, each starting with width pixels of 4 bytes. Bytes
 * after a row's pixels are left untouched. Returns
 * ZARN_DECODER_ERROR_NO_CURRENT_FRAME (-10049) when no frame is waiting. */
int32_t zarn_blit_current_frame_rgba(zarn_decoder* movie, uint8_t* output, int32_t output_stride);
int32_t zarn_blit_current_frame_bgra(zarn_decoder* movie, uint8_t* output, int32_t output_stride);

/* Number of tracks of `type` (`out_count` asserted): audio and video from the
 * header, 0 for any other type. */
int32_t zarn_get_track_count(zarn_decoder* movie, int32_t type, int32_t* out_count);
/* Track `index` of `type`. ZARN_ERROR_UNSUPPORTED_TRACK_TYPE for captions,
 * ZARN_ERROR_BAD_TRACK_INDEX for an index out of range; any other type
 * returns 0 and writes nothing. */
int32_t zarn_get_track(zarn_decoder* movie, int32_t type, int32_t index,
                       const zarn_track_header** out_track);
/* Track handles are not verified beyond null (ZARN_ERROR_NULL_TRACK): pass a
 * handle zarn_get_track gave for this movie and the matching type. */
int32_t zarn_enable_track(zarn_decoder* movie, const zarn_track_header* track);
int32_t zarn_is_track_enabled(zarn_decoder* movie, const zarn_track_header* track, bool* out_enabled);
int32_t zarn_get_audio_track_info(zarn_decoder* movie, const zarn_track_header* track,
                                  zarn_audio_track_info* out_info);
int32_t zarn_get_video_track_info(zarn_decoder* movie, const zarn_track_header* track,
                                  zarn_video_track_info* out_info);

#ifdef __cplusplus
}
#endif

#endif
