// Writes the raw media of the player's sample movie: OUT.y4m, 10 s of the
// moving test card at 320x240 and 25 fps, and OUT.wav, a 440 Hz stereo tone
// at 44100 Hz of the same length. `zrn create` encodes them.
#include <cstdio>
#include <string>

#include "formats/wav.h"
#include "formats/y4m.h"
#include "zarn_test_pattern.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: zarn_sample_media OUT.y4m OUT.wav\n");
        return 2;
    }
    constexpr int32_t WIDTH = 320;
    constexpr int32_t HEIGHT = 240;
    constexpr int32_t FPS = 25;
    constexpr int32_t SECONDS = 10;
    constexpr int32_t RATE = 44100;

    std::string error;
    y4m_writer video;
    if (!y4m_writer_open(&video, argv[1], WIDTH, HEIGHT, FPS, 1, &error)) {
        fprintf(stderr, "zarn_sample_media: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    zarn_test_picture picture;
    for (int32_t i = 0; i < FPS * SECONDS; ++i) {
        zarn_test_card(&picture, WIDTH, HEIGHT, i);
        if (!y4m_writer_write_frame(&video, picture.y(), WIDTH, picture.u(), picture.chroma_width(),
                                    picture.v(), picture.chroma_width(), &error)) {
            fprintf(stderr, "zarn_sample_media: %s: %s\n", argv[1], error.c_str());
            return 1;
        }
    }
    if (!y4m_writer_close(&video, &error)) {
        fprintf(stderr, "zarn_sample_media: %s: %s\n", argv[1], error.c_str());
        return 1;
    }

    const std::vector<int16_t> tone = zarn_test_tones({440.0, 440.0}, RATE, RATE * SECONDS, 0.4);
    wav_writer audio;
    if (!wav_writer_open(&audio, argv[2], 2, RATE, RATE * SECONDS, &error) ||
        !wav_writer_write(&audio, tone.data(), RATE * SECONDS, &error) || !wav_writer_close(&audio, &error)) {
        fprintf(stderr, "zarn_sample_media: %s: %s\n", argv[2], error.c_str());
        return 1;
    }
    return 0;
}
