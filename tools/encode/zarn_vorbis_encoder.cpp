#include "zarn_encode.h"

#include <algorithm>
#include <vorbis/vorbisenc.h>

namespace {

bool fail(std::string* error, const char* sentence)
{
    if (error != nullptr) {
        *error = sentence;
    }
    return false;
}

void append_page(std::vector<uint8_t>* ogg, const ogg_page& page)
{
    ogg->insert(ogg->end(), page.header, page.header + page.header_len);
    ogg->insert(ogg->end(), page.body, page.body + page.body_len);
}

// The libvorbis and libogg state of one stream, released in one place.
struct vorbis_stream {
    vorbis_info info;
    vorbis_comment comment;
    vorbis_dsp_state dsp;
    vorbis_block block;
    ogg_stream_state ogg;
    bool dsp_ready = false;
    bool ogg_ready = false;

    vorbis_stream()
    {
        vorbis_info_init(&info);
        vorbis_comment_init(&comment);
    }
    ~vorbis_stream()
    {
        if (ogg_ready) {
            ogg_stream_clear(&ogg);
        }
        if (dsp_ready) {
            vorbis_block_clear(&block);
            vorbis_dsp_clear(&dsp);
        }
        vorbis_comment_clear(&comment);
        vorbis_info_clear(&info);
    }
};

// Moves every block the analysis has ready through the bit-rate manager into
// Ogg pages.
void drain(vorbis_stream* stream, std::vector<uint8_t>* ogg)
{
    ogg_packet packet;
    ogg_page page;
    while (vorbis_analysis_blockout(&stream->dsp, &stream->block) == 1) {
        vorbis_analysis(&stream->block, nullptr);
        vorbis_bitrate_addblock(&stream->block);
        while (vorbis_bitrate_flushpacket(&stream->dsp, &packet) == 1) {
            ogg_stream_packetin(&stream->ogg, &packet);
            while (ogg_stream_pageout(&stream->ogg, &page) != 0) {
                append_page(ogg, page);
            }
        }
    }
}

}  // namespace

bool zarn_vorbis_encode(const int16_t* samples, int64_t frames, int32_t channels, int32_t sample_rate,
                        float quality, std::vector<uint8_t>* ogg, std::string* error)
{
    ogg->clear();
    if (channels < 1 || channels > 255) {
        return fail(error, "Channel count must be 1 to 255");
    }
    if (sample_rate < 1) {
        return fail(error, "Sample rate must be above 0");
    }
    if (frames < 0 || (frames > 0 && samples == nullptr)) {
        return fail(error, "No samples to encode");
    }
    if (!(quality >= -0.1f && quality <= 1.0f)) {
        return fail(error, "Audio quality must be -0.1 to 1.0");
    }

    vorbis_stream stream;
    if (vorbis_encode_init_vbr(&stream.info, channels, sample_rate, quality) != 0) {
        return fail(error, "The Vorbis encoder refuses this channel count, sample rate and quality");
    }
    if (vorbis_analysis_init(&stream.dsp, &stream.info) != 0) {
        return fail(error, "Couldn't start the Vorbis encoder");
    }
    vorbis_block_init(&stream.dsp, &stream.block);
    stream.dsp_ready = true;
    ogg_stream_init(&stream.ogg, ZARN_VORBIS_SERIAL);
    stream.ogg_ready = true;

    ogg_packet identification;
    ogg_packet comments;
    ogg_packet codebooks;
    vorbis_analysis_headerout(&stream.dsp, &stream.comment, &identification, &comments, &codebooks);
    ogg_stream_packetin(&stream.ogg, &identification);
    ogg_stream_packetin(&stream.ogg, &comments);
    ogg_stream_packetin(&stream.ogg, &codebooks);
    // The audio starts on a page of its own, as decoders expect.
    ogg_page page;
    while (ogg_stream_flush(&stream.ogg, &page) != 0) {
        append_page(ogg, page);
    }

    constexpr int64_t CHUNK = 1024;
    for (int64_t done = 0; done < frames; done += CHUNK) {
        const int count = static_cast<int>(std::min(CHUNK, frames - done));
        float** buffer = vorbis_analysis_buffer(&stream.dsp, count);
        const int16_t* in = samples + done * channels;
        for (int i = 0; i < count; ++i) {
            for (int c = 0; c < channels; ++c) {
                buffer[c][i] = static_cast<float>(in[i * channels + c]) / 32768.0f;
            }
        }
        vorbis_analysis_wrote(&stream.dsp, count);
        drain(&stream, ogg);
    }
    vorbis_analysis_wrote(&stream.dsp, 0);
    drain(&stream, ogg);
    while (ogg_stream_flush(&stream.ogg, &page) != 0) {
        append_page(ogg, page);
    }
    return true;
}
