// The codec's public interface: a thin guard in front of the decoder. Each
// function checks the library and the movie handle in a fixed order, then
// forwards to the decoder; values travel through out-parameters written only
// on success.
#include "zarn.h"

#include <atomic>
#include <cassert>
#include <cstring>

#include "common/zarn_file.h"
#include "common/zarn_memory.h"
#include "decoder/zarn_decoder.h"

namespace {

std::atomic<bool> library_initialised{false};

// The movie guard: library initialised, handle present, movie ready.
int32_t check_movie(const zarn_decoder* movie)
{
    if (!library_initialised) {
        return ZARN_ERROR_NOT_INITIALISED;
    }
    if (movie == nullptr) {
        return ZARN_ERROR_NULL_MOVIE;
    }
    if (!movie->initialised) {
        return ZARN_ERROR_MOVIE_NOT_READY;
    }
    return ZARN_OK;
}

// The movie guard, then the track-handle check of the track functions.
int32_t check_movie_and_track(const zarn_decoder* movie, const zarn_track_header* track)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    return track == nullptr ? ZARN_ERROR_NULL_TRACK : ZARN_OK;
}

// Copies a track name into a 64-byte field: at most 63 bytes of it, always
// followed by a NUL, never reading past the 64 bytes of the header's field.
void copy_track_name(char (&target)[64], const char (&source)[64])
{
    const size_t length = strnlen(source, sizeof(source) - 1);
    memcpy(target, source, length);
    target[length] = '\0';
}

}  // namespace

int32_t zarn_initialise(int32_t version, const zarn_file_handlers* file_handlers,
                        const zarn_memory_handlers* memory_handlers)
{
    if (version != ZARN_INTERFACE_VERSION) {
        return ZARN_ERROR_BAD_VERSION;
    }
    if (file_handlers != nullptr) {
        zarn_set_file_handlers(file_handlers);
    }
    if (memory_handlers != nullptr) {
        zarn_set_memory_handlers(memory_handlers);
    }
    library_initialised = true;
    return ZARN_OK;
}

void zarn_finalise(void)
{
    library_initialised = false;
}

int32_t zarn_open(const char* path, zarn_decoder** movie, zarn_event_callback callback, void* user_data)
{
    assert(path != nullptr);
    assert(movie != nullptr);
    if (!library_initialised) {
        return ZARN_ERROR_NOT_INITIALISED;
    }
    zarn_decoder* created = nullptr;
    const int32_t result = zarn_decoder_create(&created, path, callback, user_data);
    *movie = created;  // null on failure
    return result;
}

int32_t zarn_close(zarn_decoder* movie)
{
    assert(movie != nullptr);
    zarn_decoder_free(movie);
    return ZARN_OK;
}

int32_t zarn_pulse_events(zarn_decoder* movie)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    zarn_decoder_pulse_events(movie);
    return ZARN_OK;
}

int32_t zarn_get_loop(zarn_decoder* movie, bool* out_loop)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    *out_loop = movie->loop;
    return ZARN_OK;
}

int32_t zarn_set_loop(zarn_decoder* movie, bool loop)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    movie->loop = loop;
    return ZARN_OK;
}

int32_t zarn_get_time(zarn_decoder* movie, double* out_time)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    double time = 0.0;
    zarn_decoder_get_time(movie, &time);
    *out_time = time;
    return ZARN_OK;
}

int32_t zarn_set_time(zarn_decoder* movie, double time)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    return zarn_decoder_set_time(movie, time);
}

int32_t zarn_get_duration(zarn_decoder* movie, double* out_duration)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    *out_duration = static_cast<double>(movie->header.duration) / static_cast<double>(ZARN_TIME_UNITS_PER_SECOND);
    return ZARN_OK;
}

int32_t zarn_get_state(zarn_decoder* movie, int32_t* out_state)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    *out_state = movie->state;
    return ZARN_OK;
}

int32_t zarn_play(zarn_decoder* movie)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    return zarn_decoder_play(movie);
}

int32_t zarn_pause(zarn_decoder* movie)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    return zarn_decoder_pause(movie);
}

int32_t zarn_stop(zarn_decoder* movie)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    return zarn_decoder_stop(movie);
}

int32_t zarn_is_frame_ready(zarn_decoder* movie, bool* out_ready)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    assert(out_ready != nullptr);
    return zarn_decoder_is_frame_ready(movie, out_ready);
}

int32_t zarn_get_current_frame(zarn_decoder* movie, zarn_frame* out_frame)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    assert(out_frame != nullptr);
    return zarn_decoder_get_current_frame(movie, out_frame);
}

int32_t zarn_blit_current_frame_rgba(zarn_decoder* movie, uint8_t* output, int32_t output_stride)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    assert(output != nullptr);
    return zarn_decoder_blit_current_frame(movie, ZARN_PIXEL_FORMAT_RGBA, output, output_stride);
}

int32_t zarn_blit_current_frame_bgra(zarn_decoder* movie, uint8_t* output, int32_t output_stride)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    assert(output != nullptr);
    return zarn_decoder_blit_current_frame(movie, ZARN_PIXEL_FORMAT_BGRA, output, output_stride);
}

int32_t zarn_get_track_count(zarn_decoder* movie, int32_t type, int32_t* out_count)
{
    assert(out_count != nullptr);
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    switch (type) {
    case ZARN_TRACK_AUDIO:
        *out_count = movie->header.audio_track_count;
        break;
    case ZARN_TRACK_VIDEO:
        *out_count = movie->header.video_track_count;
        break;
    default:
        *out_count = 0;
        break;
    }
    return ZARN_OK;
}

int32_t zarn_get_track(zarn_decoder* movie, int32_t type, int32_t index, const zarn_track_header** out_track)
{
    const int32_t guard = check_movie(movie);
    if (guard != ZARN_OK) {
        return guard;
    }
    switch (type) {
    case ZARN_TRACK_CAPTION:
        return ZARN_ERROR_UNSUPPORTED_TRACK_TYPE;
    case ZARN_TRACK_VIDEO:
        if (index < 0 || index >= movie->header.video_track_count) {
            return ZARN_ERROR_BAD_TRACK_INDEX;
        }
        *out_track = &movie->video_track_headers[index];
        return ZARN_OK;
    case ZARN_TRACK_AUDIO:
        if (index < 0 || index >= movie->header.audio_track_count) {
            return ZARN_ERROR_BAD_TRACK_INDEX;
        }
        *out_track = &movie->audio_track_headers[index];
        return ZARN_OK;
    default:
        return ZARN_OK;  // nothing written
    }
}

int32_t zarn_enable_track(zarn_decoder* movie, const zarn_track_header* track)
{
    // The one video track and the first audio track are always enabled.
    return check_movie_and_track(movie, track);
}

int32_t zarn_is_track_enabled(zarn_decoder* movie, const zarn_track_header* track, bool* out_enabled)
{
    const int32_t guard = check_movie_and_track(movie, track);
    if (guard != ZARN_OK) {
        return guard;
    }
    *out_enabled = true;
    return ZARN_OK;
}

int32_t zarn_get_audio_track_info(zarn_decoder* movie, const zarn_track_header* track,
                                  zarn_audio_track_info* out_info)
{
    const int32_t guard = check_movie_and_track(movie, track);
    if (guard != ZARN_OK) {
        return guard;
    }
    copy_track_name(out_info->name, track->name);
    out_info->channels = track->audio.channels;
    out_info->sample_rate = track->audio.sample_rate;
    return ZARN_OK;
}

int32_t zarn_get_video_track_info(zarn_decoder* movie, const zarn_track_header* track,
                                  zarn_video_track_info* out_info)
{
    const int32_t guard = check_movie_and_track(movie, track);
    if (guard != ZARN_OK) {
        return guard;
    }
    copy_track_name(out_info->name, track->name);
    out_info->width = track->video.width;
    out_info->height = track->video.height;
    out_info->header_word = track->video.header_word;
    out_info->frame_rate = static_cast<float>(static_cast<double>(movie->header.frame_rate_numerator) /
                                              static_cast<double>(movie->header.frame_rate_denominator));
    return ZARN_OK;
}
