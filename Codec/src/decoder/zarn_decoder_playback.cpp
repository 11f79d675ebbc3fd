// What the worker does to make a movie play: the playback step run once per
// cycle, with the video timing against the decoder's own clock and the audio
// queue kept full, and the bodies of the play, pause, stop and seek commands.
// Everything here runs on the movie's worker thread.
#include <cassert>

#include "../common/zarn_log.h"
#include "../zarn_results.h"
#include "zarn_decoder.h"

namespace {

// The render's queue holds this many blocks. One audio update writes at most
// this many: enough to fill an empty queue, and a bound should the device
// drain the queue as fast as it is filled (a device that is not paced by a
// sound card), which would otherwise keep the worker in one update for ever.
constexpr int32_t AUDIO_BLOCKS_PER_UPDATE = 32;

double frame_period(const zarn_decoder* decoder)
{
    const double rate = static_cast<double>(decoder->header.frame_rate_numerator) /
        static_cast<double>(decoder->header.frame_rate_denominator);
    return 1.0 / rate;
}

bool at_end_of_stream(const zarn_video_track* track)
{
    return (track->packet_header.flags & PACKET_FLAG_END_OF_STREAM) != 0;
}

// The movie has read its end-of-stream packet: rewind, tell the caller, and
// either stop there or play on from the start.
int32_t end_of_movie(zarn_decoder* decoder)
{
    decoder->sync_state = VIDEO_SYNC_DECODE;
    if (zarn_decoder_command_stop(decoder) != ZARN_OK) {
        zarn_log_error("zarn_decoder_update_video() : Couldn't stop decoder playback.");
        return ZARN_DECODER_ERROR_END_STOP_PLAYBACK;
    }
    zarn_decoder_fire_event(decoder, ZARN_EVENT_END_OF_MOVIE);
    if (!decoder->loop) {
        zarn_decoder_fire_event(decoder, ZARN_EVENT_PAUSE);
        return ZARN_OK;
    }
    if (zarn_decoder_command_play(decoder) != ZARN_OK) {
        zarn_log_error("zarn_decoder_update_video() : Couldn't start decoder playback.");
        return ZARN_DECODER_ERROR_END_START_PLAYBACK;
    }
    return ZARN_OK;
}

}  // namespace

int32_t zarn_decoder_update(zarn_decoder* decoder)
{
    assert(decoder != nullptr);
    assert(decoder->timer != nullptr);

    if (decoder->state != ZARN_STATE_PLAYING) {
        return ZARN_OK;
    }
    zarn_timer_tick(decoder->timer);
    decoder->curr_time = decoder->curr_time + zarn_timer_delta_time(decoder->timer);

    if (zarn_decoder_update_video(decoder) != ZARN_OK) {
        zarn_log_error("zarn_decoder_update() : Couldn't update video.");
        return ZARN_DECODER_ERROR_UPDATE_VIDEO;
    }
    if (decoder->audio_render != nullptr && zarn_decoder_update_audio(decoder) != ZARN_OK) {
        zarn_log_error("zarn_decoder_update() : Couldn't update audio.");
        return ZARN_DECODER_ERROR_UPDATE_AUDIO;
    }
    return ZARN_OK;
}

int32_t zarn_decoder_update_video(zarn_decoder* decoder)
{
    assert(decoder != nullptr);

    if (decoder->active_video_track == -1 || decoder->video_track == nullptr) {
        zarn_log_error("zarn_decoder_update_video() : Invalid video track.");
        return ZARN_DECODER_ERROR_INVALID_VIDEO_TRACK;
    }
    zarn_video_track* track = decoder->video_track;

    // A seek that ended on packets showing no picture may have read the
    // end-of-stream header already: the movie is at its end.
    if (decoder->sync_state == VIDEO_SYNC_DECODE && at_end_of_stream(track)) {
        return end_of_movie(decoder);
    }
    if (decoder->sync_state != VIDEO_SYNC_PRESENT) {
        for (;;) {
            if (decoder->sync_state != VIDEO_SYNC_EARLY) {
                if (zarn_video_track_decode_frame(track) != ZARN_OK) {
                    zarn_log_error("zarn_decoder_update_video() : Couldn't decode video frame.");
                    return ZARN_DECODER_ERROR_DECODE_VIDEO_FRAME;
                }
                if (at_end_of_stream(track)) {
                    return end_of_movie(decoder);
                }
                // A packet that shows no picture (an alternate reference
                // frame) only feeds the decoder: go on to the next packet,
                // and the picture last shown stays up.
                if (track->picture == nullptr) {
                    decoder->sync_state = VIDEO_SYNC_DECODE;
                    continue;
                }
            }

            const double packet_time = static_cast<double>(track->packet_header.timestamp) /
                static_cast<double>(ZARN_TIME_UNITS_PER_SECOND);
            double diff = decoder->curr_time - packet_time;
            if (diff < 0.0) {
                decoder->sync_state = VIDEO_SYNC_EARLY;
                diff = -diff;
            } else {
                decoder->sync_state = VIDEO_SYNC_LATE;
            }
            if (diff < frame_period(decoder)) {
                decoder->sync_state = VIDEO_SYNC_PRESENT;
                break;
            }
            if (decoder->sync_state == VIDEO_SYNC_EARLY) {
                return ZARN_OK;  // held until its time comes
            }
            // Late by a frame period or more: dropped unseen.
        }
    }

    if (zarn_decoder_publish_picture(decoder) != ZARN_OK) {
        zarn_log_error("zarn_decoder_update_video() : Couldn't get video frame image.");
        return ZARN_DECODER_ERROR_UPDATE_GET_FRAME_IMAGE;
    }
    decoder->sync_state = VIDEO_SYNC_DECODE;
    return ZARN_OK;
}

int32_t zarn_decoder_update_audio(zarn_decoder* decoder)
{
    assert(decoder != nullptr);
    assert(decoder->active_audio_track != -1);
    assert(decoder->audio_track != nullptr);
    assert(decoder->audio_render != nullptr);

    zarn_audio_render* render = decoder->audio_render;
    uint8_t block[ZARN_AUDIO_BLOCK_SIZE];
    for (int32_t written = 0; written < AUDIO_BLOCKS_PER_UPDATE; ++written) {
        bool can_write = false;
        if (render->can_write_buffer(render->handle, &can_write) != ZARN_OK || !can_write) {
            return ZARN_OK;
        }
        if (zarn_audio_track_decode_block(decoder->audio_track, block, ZARN_AUDIO_BLOCK_SIZE) != ZARN_OK) {
            zarn_log_error("zarn_decoder_update_audio() : Couldn't decode block of audio.");
            return ZARN_DECODER_ERROR_DECODE_AUDIO_BLOCK;
        }
        if (render->write_buffer(render->handle, block) != ZARN_OK) {
            zarn_log_error("zarn_decoder_update_audio() : Couldn't write block of audio to audio render.");
            return ZARN_DECODER_ERROR_WRITE_AUDIO_BLOCK;
        }
    }
    return ZARN_OK;
}

int32_t zarn_decoder_command_play(zarn_decoder* decoder)
{
    assert(decoder != nullptr);

    if (decoder->state == ZARN_STATE_PLAYING) {
        zarn_log_warning("zarn_decoder_command_play() : Decoder is already playing.");
        return ZARN_OK;
    }
    decoder->state = ZARN_STATE_PLAYING;
    zarn_decoder_fire_event(decoder, ZARN_EVENT_PLAY);

    zarn_audio_render* render = decoder->audio_render;
    if (render != nullptr && render->play(render->handle) != ZARN_OK) {
        zarn_log_error("zarn_decoder_command_play() : Couldn't play the audio.");
        return ZARN_DECODER_ERROR_PLAY_AUDIO;
    }
    // From now: the time spent paused or stopped does not count.
    zarn_timer_reset(decoder->timer);
    zarn_timer_start(decoder->timer);
    return ZARN_OK;
}

int32_t zarn_decoder_command_pause(zarn_decoder* decoder)
{
    assert(decoder != nullptr);

    if (decoder->state == ZARN_STATE_PAUSED) {
        zarn_log_warning("zarn_decoder_command_pause() : Decoder is already paused.");
        return ZARN_OK;
    }
    const bool was_playing = decoder->state == ZARN_STATE_PLAYING;
    decoder->state = ZARN_STATE_PAUSED;
    zarn_decoder_fire_event(decoder, ZARN_EVENT_PAUSE);
    zarn_timer_stop(decoder->timer);

    // Stopped, the device is primed but not running: it is silent already,
    // and the render refuses to pause a device that is not running.
    zarn_audio_render* render = decoder->audio_render;
    if (render != nullptr && was_playing && render->pause(render->handle) != ZARN_OK) {
        zarn_log_error("zarn_decoder_command_pause() : Couldn't pause the audio.");
        return ZARN_DECODER_ERROR_PAUSE_AUDIO;
    }
    return ZARN_OK;
}

int32_t zarn_decoder_command_stop(zarn_decoder* decoder)
{
    assert(decoder != nullptr);

    if (decoder->state == ZARN_STATE_STOPPED) {
        zarn_log_warning("zarn_decoder_command_stop() : Decoder is already stopped.");
        return ZARN_OK;
    }
    decoder->state = ZARN_STATE_STOPPED;
    if (zarn_decoder_command_set_time(decoder, 0.0) != ZARN_OK) {
        zarn_log_error("zarn_decoder_command_stop() : Couldn't seek to start.");
        return ZARN_DECODER_ERROR_STOP_SEEK_TO_START;
    }
    return ZARN_OK;
}

int32_t zarn_decoder_command_set_time(zarn_decoder* decoder, double time)
{
    assert(decoder != nullptr);
    zarn_audio_render* render = decoder->audio_render;

    if (render != nullptr && render->stop(render->handle) != ZARN_OK) {
        zarn_log_error("zarn_decoder_command_set_time() : Couldn't stop the audio.");
        return ZARN_DECODER_ERROR_SEEK_STOP_AUDIO;
    }
    zarn_timer_stop(decoder->timer);
    zarn_timer_reset(decoder->timer);

    if (decoder->active_audio_track != -1 && decoder->audio_track != nullptr &&
        zarn_audio_track_set_time(decoder->audio_track, time) != ZARN_OK) {
        zarn_log_error("zarn_decoder_command_set_time() : Couldn't seek to time %f on audio track.", time);
        return ZARN_DECODER_ERROR_SEEK_AUDIO_TRACK;
    }
    if (decoder->active_video_track != -1 && decoder->video_track != nullptr) {
        if (zarn_video_track_set_time(decoder->video_track, time) != ZARN_OK) {
            zarn_log_error("zarn_decoder_command_set_time() : Couldn't seek to time %f on video track.", time);
            return ZARN_DECODER_ERROR_SEEK_VIDEO_TRACK;
        }
        // The track decodes on past packets that show nothing; when only
        // such packets remained before the end, the picture shown last stays.
        const bool no_picture = decoder->video_track->picture == nullptr;
        if (no_picture && decoder->last_frame != nullptr) {
            zarn_decoder_set_current_frame(decoder, decoder->last_frame);
        } else if (zarn_decoder_publish_picture(decoder) != ZARN_OK) {
            zarn_log_error("zarn_decoder_command_set_time() : Couldn't get video frame image.");
            return ZARN_DECODER_ERROR_SEEK_GET_FRAME_IMAGE;
        }
    }
    decoder->curr_time = time;

    if (render != nullptr) {
        if (zarn_decoder_update_audio(decoder) != ZARN_OK) {
            zarn_log_error("zarn_decoder_command_set_time() : Couldn't prepare the audio.");
            return ZARN_DECODER_ERROR_SEEK_PREPARE_AUDIO;
        }
        if (render->prime(render->handle) != ZARN_OK) {
            zarn_log_error("zarn_decoder_command_set_time() : Couldn't prime the audio.");
            return ZARN_DECODER_ERROR_SEEK_PRIME_AUDIO;
        }
    }
    decoder->sync_state = VIDEO_SYNC_DECODE;

    if (decoder->state == ZARN_STATE_PLAYING) {
        if (render != nullptr && render->play(render->handle) != ZARN_OK) {
            zarn_log_error("zarn_decoder_command_set_time() : Couldn't play the audio.");
            return ZARN_DECODER_ERROR_SEEK_PLAY_AUDIO;
        }
        zarn_timer_start(decoder->timer);
    }
    return ZARN_OK;
}
