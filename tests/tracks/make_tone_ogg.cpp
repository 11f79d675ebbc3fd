// Writes a 2-second Ogg Vorbis stream of sine tones (one frequency per
// channel) for the track tests, when the build's test movies are not there.
// Kept apart from the tests: libvorbis and Tremor export the same names and
// must not meet in one process.
// Usage: make_tone_ogg CHANNELS RATE OUTPUT
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vorbis/vorbisenc.h>

namespace {

bool write_page(FILE* out, const ogg_page& page)
{
    return fwrite(page.header, 1, page.header_len, out) == static_cast<size_t>(page.header_len) &&
        fwrite(page.body, 1, page.body_len, out) == static_cast<size_t>(page.body_len);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: make_tone_ogg CHANNELS RATE OUTPUT\n");
        return 2;
    }
    const int channels = atoi(argv[1]);
    const int rate = atoi(argv[2]);
    FILE* out = fopen(argv[3], "wb");
    if (out == nullptr || channels < 1 || rate < 1) {
        fprintf(stderr, "make_tone_ogg: bad arguments\n");
        return 1;
    }

    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, 0.3f) != 0) {
        fprintf(stderr, "make_tone_ogg: encoder refused the format\n");
        return 1;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1);

    ogg_packet header, header_comment, header_code;
    vorbis_analysis_headerout(&dsp, &comment, &header, &header_comment, &header_code);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &header_comment);
    ogg_stream_packetin(&stream, &header_code);
    ogg_page page;
    bool ok = true;
    while (ogg_stream_flush(&stream, &page) != 0) {
        ok = ok && write_page(out, page);
    }

    const long total = 2L * rate;
    const long chunk = 1024;
    for (long done = 0;; done += chunk) {
        const long frames = std::max(0L, std::min(chunk, total - done));
        if (frames > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(frames));
            for (int c = 0; c < channels; ++c) {
                const double frequency = 220.0 * (c + 1);
                for (long i = 0; i < frames; ++i) {
                    buffer[c][i] = static_cast<float>(0.4 * sin(2.0 * M_PI * frequency * (done + i) / rate));
                }
            }
        }
        vorbis_analysis_wrote(&dsp, static_cast<int>(frames));
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) {
                    ok = ok && write_page(out, page);
                }
            }
        }
        if (frames == 0) {
            break;
        }
    }
    while (ogg_stream_flush(&stream, &page) != 0) {
        ok = ok && write_page(out, page);
    }

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    ok = fclose(out) == 0 && ok;
    if (!ok) {
        fprintf(stderr, "make_tone_ogg: couldn't write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
