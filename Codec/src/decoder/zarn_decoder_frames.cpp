// The two channels from a movie's worker to its caller: the event queue,
// which the worker fills and the caller empties when it pulses it, and the
// frame hand-off, through which the worker publishes each picture that is
// due and the caller takes it as planes or converted to RGB.
#include <cassert>
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from.h>

#include "../common/zarn_log.h"
#include "../zarn_results.h"
#include "zarn_decoder.h"

void zarn_decoder_fire_event(zarn_decoder* decoder, int32_t event)
{
    assert(decoder != nullptr);
    if (decoder->event_callback == nullptr) {
        return;
    }
    zarn_mutex_lock(decoder->event_mutex);
    // A full queue loses the event; the circular buffer logs that itself.
    zarn_circular_buffer_push_back(decoder->event_buffer, &event);
    zarn_mutex_unlock(decoder->event_mutex);
}

int32_t zarn_decoder_pulse_events(zarn_decoder* decoder)
{
    assert(decoder != nullptr);
    if (decoder->event_callback == nullptr) {
        return ZARN_OK;
    }
    zarn_mutex_lock(decoder->event_mutex);
    const int32_t pending = decoder->event_buffer->count;
    for (int32_t i = 0; i < pending; ++i) {
        int32_t event = 0;
        if (zarn_circular_buffer_pop_front(decoder->event_buffer, &event) != ZARN_OK) {
            zarn_log_error("zarn_decoder_pulse_events() : No event pending.");
            zarn_mutex_unlock(decoder->event_mutex);
            return ZARN_DECODER_ERROR_NO_EVENT_PENDING;
        }
        decoder->event_callback(decoder->user_data, event);
    }
    zarn_mutex_unlock(decoder->event_mutex);
    return ZARN_OK;
}

void zarn_decoder_set_current_frame(zarn_decoder* decoder, vpx_image_t* image)
{
    assert(decoder != nullptr);
    assert(decoder->frame_mutex != nullptr);
    zarn_mutex_lock(decoder->frame_mutex);
    decoder->curr_frame = image;
    zarn_mutex_unlock(decoder->frame_mutex);
}

int32_t zarn_decoder_publish_picture(zarn_decoder* decoder)
{
    assert(decoder != nullptr);
    assert(decoder->video_track != nullptr);
    assert(decoder->frame_mutex != nullptr);

    // Only the caller's take changes curr_frame and taken_frame besides this
    // thread, and a take only moves the waiting image to taken: an image that
    // is neither now stays so until it is published below.
    vpx_image_t* target = nullptr;
    zarn_mutex_lock(decoder->frame_mutex);
    for (vpx_image_t* image : decoder->frame_images) {
        if (image != decoder->curr_frame.load() && image != decoder->taken_frame) {
            target = image;
            break;
        }
    }
    zarn_mutex_unlock(decoder->frame_mutex);
    assert(target != nullptr);

    const int32_t result = zarn_video_track_copy_frame_image(decoder->video_track, target);
    if (result != ZARN_OK) {
        return result;
    }
    decoder->last_frame = target;
    zarn_decoder_set_current_frame(decoder, target);
    return ZARN_OK;
}

int32_t zarn_decoder_is_frame_ready(zarn_decoder* decoder, bool* out_ready)
{
    assert(decoder != nullptr);
    assert(out_ready != nullptr);
    *out_ready = decoder->curr_frame.load() != nullptr;
    return ZARN_OK;
}

int32_t zarn_decoder_get_current_frame(zarn_decoder* decoder, zarn_frame* out_frame)
{
    assert(decoder != nullptr);
    assert(out_frame != nullptr);
    assert(decoder->frame_mutex != nullptr);

    zarn_mutex_lock(decoder->frame_mutex);
    vpx_image_t* frame = decoder->curr_frame;
    assert(frame != nullptr && "no frame is waiting: ask zarn_is_frame_ready first");
    for (int plane = 0; plane < 3; ++plane) {
        out_frame->data[plane] = frame->planes[plane];
        out_frame->stride[plane] = frame->stride[plane];
    }
    out_frame->width[0] = decoder->header.width;
    out_frame->height[0] = decoder->header.height;
    for (int plane = 1; plane < 3; ++plane) {
        out_frame->width[plane] = decoder->header.width >> 1;
        out_frame->height[plane] = decoder->header.height >> 1;
    }
    decoder->taken_frame = frame;
    decoder->curr_frame = nullptr;
    zarn_mutex_unlock(decoder->frame_mutex);
    return ZARN_OK;
}

int32_t zarn_decoder_get_time(zarn_decoder* decoder, double* out_time)
{
    assert(decoder != nullptr);
    assert(out_time != nullptr);
    *out_time = decoder->curr_time;
    return ZARN_OK;
}

int32_t zarn_decoder_blit_current_frame(zarn_decoder* decoder, int32_t format, uint8_t* output,
                                        int32_t output_stride)
{
    assert(decoder != nullptr);
    assert(output != nullptr);
    assert(decoder->frame_mutex != nullptr);

    if (decoder->curr_frame.load() == nullptr) {
        zarn_log_error("zarn_decoder_blit_current_frame() : No current frame.");
        return ZARN_DECODER_ERROR_NO_CURRENT_FRAME;
    }

    zarn_mutex_lock(decoder->frame_mutex);
    // Read again under the lock: only the frame that is waiting now is kept
    // from the worker's next copy.
    vpx_image_t* frame = decoder->curr_frame;
    if (frame == nullptr) {
        zarn_mutex_unlock(decoder->frame_mutex);
        zarn_log_error("zarn_decoder_blit_current_frame() : No current frame.");
        return ZARN_DECODER_ERROR_NO_CURRENT_FRAME;
    }
    const uint8_t* y = frame->planes[0];
    const uint8_t* u = frame->planes[1];
    const uint8_t* v = frame->planes[2];
    const int y_stride = frame->stride[0];
    const int u_stride = frame->stride[1];
    const int v_stride = frame->stride[2];
    const int width = decoder->header.width;
    const int height = decoder->header.height;

    int32_t result = ZARN_OK;
    switch (format) {
    case ZARN_PIXEL_FORMAT_BGR:
        libyuv::I420ToRGB24(y, y_stride, u, u_stride, v, v_stride, output, output_stride, width, height);
        break;
    case 2:
        // Accepted, converts nothing.
        break;
    case ZARN_PIXEL_FORMAT_BGRA:
        libyuv::I420ToARGB(y, y_stride, u, u_stride, v, v_stride, output, output_stride, width, height);
        break;
    case ZARN_PIXEL_FORMAT_RGBA:
        libyuv::I420ToABGR(y, y_stride, u, u_stride, v, v_stride, output, output_stride, width, height);
        break;
    case ZARN_PIXEL_FORMAT_ARGB1555:
        libyuv::I420ToARGB1555(y, y_stride, u, u_stride, v, v_stride, output, output_stride, width, height);
        break;
    case ZARN_PIXEL_FORMAT_RGB565:
        libyuv::I420ToRGB565(y, y_stride, u, u_stride, v, v_stride, output, output_stride, width, height);
        break;
    default:
        result = ZARN_DECODER_ERROR_BAD_PIXEL_FORMAT;
        break;
    }

    // Taken whatever the format.
    decoder->taken_frame = frame;
    decoder->curr_frame = nullptr;
    zarn_mutex_unlock(decoder->frame_mutex);
    return result;
}
