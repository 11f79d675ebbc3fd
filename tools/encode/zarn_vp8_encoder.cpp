#include "zarn_encode.h"

#include <algorithm>
#include <cstring>
#include <vpx/vp8cx.h>
#include <vpx/vpx_encoder.h>

struct zarn_vp8_encoder {
    vpx_codec_ctx_t codec;
    vpx_image_t* image = nullptr;
    zarn_vp8_settings settings;
    int64_t next_frame = 0;
    unsigned long deadline = VPX_DL_GOOD_QUALITY;
};

namespace {

bool fail(std::string* error, const std::string& sentence)
{
    if (error != nullptr) {
        *error = sentence;
    }
    return false;
}

bool fail_codec(std::string* error, vpx_codec_ctx_t* codec, const char* what)
{
    std::string sentence = std::string(what) + ": " + vpx_codec_error(codec);
    if (const char* detail = vpx_codec_error_detail(codec)) {
        sentence += std::string(" (") + detail + ")";
    }
    return fail(error, sentence);
}

bool collect(zarn_vp8_encoder* encoder, std::vector<zarn_vp8_packet>* packets)
{
    vpx_codec_iter_t iter = nullptr;
    while (const vpx_codec_cx_pkt_t* pkt = vpx_codec_get_cx_data(&encoder->codec, &iter)) {
        if (pkt->kind != VPX_CODEC_CX_FRAME_PKT) {
            continue;
        }
        zarn_vp8_packet packet;
        const auto* bytes = static_cast<const uint8_t*>(pkt->data.frame.buf);
        packet.data.assign(bytes, bytes + pkt->data.frame.sz);
        packet.frame_index = pkt->data.frame.pts;
        packet.key_frame = (pkt->data.frame.flags & VPX_FRAME_IS_KEY) != 0;
        packets->push_back(std::move(packet));
    }
    return true;
}

}  // namespace

bool zarn_vp8_encoder_create(zarn_vp8_encoder** encoder, const zarn_vp8_settings& settings,
                             std::string* error)
{
    *encoder = nullptr;
    if (settings.width <= 0 || settings.height <= 0 || settings.width > 16383 || settings.height > 16383) {
        return fail(error, "Picture size must be 1x1 to 16383x16383");
    }
    if (settings.frame_rate_numerator <= 0 || settings.frame_rate_denominator <= 0) {
        return fail(error, "Frame rate must be above 0");
    }
    if (settings.target_kbps <= 0) {
        return fail(error, "Bit rate must be above 0");
    }
    if (settings.key_frame_interval <= 0) {
        return fail(error, "Key frame interval must be 1 or more");
    }

    vpx_codec_iface_t* iface = vpx_codec_vp8_cx();
    vpx_codec_enc_cfg_t cfg;
    if (vpx_codec_enc_config_default(iface, &cfg, 0) != VPX_CODEC_OK) {
        return fail(error, "Couldn't get the VP8 encoder's default settings");
    }
    cfg.g_w = static_cast<unsigned int>(settings.width);
    cfg.g_h = static_cast<unsigned int>(settings.height);
    // One tick of the time base is one frame.
    cfg.g_timebase.num = settings.frame_rate_denominator;
    cfg.g_timebase.den = settings.frame_rate_numerator;
    cfg.g_threads = 1;
    cfg.g_pass = VPX_RC_ONE_PASS;
    cfg.g_lag_in_frames = 0;
    cfg.g_error_resilient = 0;
    cfg.rc_end_usage = VPX_VBR;
    cfg.rc_target_bitrate = static_cast<unsigned int>(settings.target_kbps);
    cfg.rc_dropframe_thresh = 0;
    cfg.rc_resize_allowed = 0;
    // Key frames come only where encode forces them.
    cfg.kf_mode = VPX_KF_DISABLED;
    cfg.kf_min_dist = 0;
    cfg.kf_max_dist = 1u << 30;

    auto* made = new zarn_vp8_encoder;
    made->settings = settings;
    if (vpx_codec_enc_init(&made->codec, iface, &cfg, 0) != VPX_CODEC_OK) {
        fail_codec(error, &made->codec, "Couldn't start the VP8 encoder");
        delete made;
        return false;
    }
    if (vpx_codec_control(&made->codec, VP8E_SET_CPUUSED, 4) != VPX_CODEC_OK ||
        vpx_codec_control(&made->codec, VP8E_SET_ENABLEAUTOALTREF, 0u) != VPX_CODEC_OK ||
        vpx_codec_control(&made->codec, VP8E_SET_NOISE_SENSITIVITY, 0u) != VPX_CODEC_OK) {
        fail_codec(error, &made->codec, "Couldn't set up the VP8 encoder");
        vpx_codec_destroy(&made->codec);
        delete made;
        return false;
    }
    made->image = vpx_img_alloc(nullptr, VPX_IMG_FMT_I420, cfg.g_w, cfg.g_h, 16);
    if (made->image == nullptr) {
        vpx_codec_destroy(&made->codec);
        delete made;
        return fail(error, "Out of memory for the VP8 encoder's picture");
    }
    // libvpx picks real-time mode, whose speed follows the wall clock, when a
    // frame lasts longer than the deadline; a deadline above the frame period
    // keeps good-quality mode and so the output the same on every run.
    const unsigned long frame_us = static_cast<unsigned long>(
        1000000ull * static_cast<unsigned>(settings.frame_rate_denominator) /
        static_cast<unsigned>(settings.frame_rate_numerator));
    made->deadline = std::max<unsigned long>(VPX_DL_GOOD_QUALITY, 2 * frame_us + 1);
    *encoder = made;
    return true;
}

bool zarn_vp8_encoder_encode(zarn_vp8_encoder* encoder, const uint8_t* y, int32_t y_stride,
                             const uint8_t* u, int32_t u_stride, const uint8_t* v, int32_t v_stride,
                             std::vector<zarn_vp8_packet>* packets, std::string* error)
{
    const int32_t width = encoder->settings.width;
    const int32_t height = encoder->settings.height;
    const int32_t chroma_width = (width + 1) / 2;
    const int32_t chroma_height = (height + 1) / 2;
    vpx_image_t* image = encoder->image;
    for (int32_t row = 0; row < height; ++row) {
        memcpy(image->planes[VPX_PLANE_Y] + row * image->stride[VPX_PLANE_Y], y + row * y_stride,
               static_cast<size_t>(width));
    }
    for (int32_t row = 0; row < chroma_height; ++row) {
        memcpy(image->planes[VPX_PLANE_U] + row * image->stride[VPX_PLANE_U], u + row * u_stride,
               static_cast<size_t>(chroma_width));
        memcpy(image->planes[VPX_PLANE_V] + row * image->stride[VPX_PLANE_V], v + row * v_stride,
               static_cast<size_t>(chroma_width));
    }

    const int64_t index = encoder->next_frame;
    const vpx_enc_frame_flags_t flags =
        index % encoder->settings.key_frame_interval == 0 ? VPX_EFLAG_FORCE_KF : 0;
    if (vpx_codec_encode(&encoder->codec, image, index, 1, flags, encoder->deadline) != VPX_CODEC_OK) {
        return fail_codec(error, &encoder->codec, "Couldn't encode a frame");
    }
    ++encoder->next_frame;
    return collect(encoder, packets);
}

bool zarn_vp8_encoder_finish(zarn_vp8_encoder* encoder, std::vector<zarn_vp8_packet>* packets,
                             std::string* error)
{
    if (vpx_codec_encode(&encoder->codec, nullptr, encoder->next_frame, 1, 0, encoder->deadline) !=
        VPX_CODEC_OK) {
        return fail_codec(error, &encoder->codec, "Couldn't finish the stream");
    }
    return collect(encoder, packets);
}

void zarn_vp8_encoder_free(zarn_vp8_encoder* encoder)
{
    if (encoder == nullptr) {
        return;
    }
    vpx_img_free(encoder->image);
    vpx_codec_destroy(&encoder->codec);
    delete encoder;
}
