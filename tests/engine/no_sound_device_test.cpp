// A movie with sound when ALSA's "default" device cannot be opened: the
// movie does not open, and says why.
#include <gtest/gtest.h>

#include "engine_support.h"
#include "zarn.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

TEST(no_sound_device, a_movie_with_sound_fails_to_open)
{
    ASSERT_EQ(zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr), ZARN_OK);
    zarn_decoder* movie = reinterpret_cast<zarn_decoder*>(0x1);
    CaptureStderr();
    EXPECT_EQ(zarn_open(engine::test_movie("stereo.zrn").c_str(), &movie, nullptr, nullptr),
              ZARN_DECODER_ERROR_PREPARE_THREAD);
    const std::string log = GetCapturedStderr();
    EXPECT_EQ(movie, nullptr);
    const char* const lines[] = {
        "Zarn error: zarn_audio_render_alsa_thread_func() : Couldn't open device (",
        "Zarn error: zarn_audio_render_alsa_open() : Couldn't prepare thread.\n",
        "Zarn error: zarn_audio_render_create() : Couldn't open audio render.\n",
        "Zarn error: zarn_decoder_enable_audio_track() : Couldn't create audio render.\n",
        "Zarn error: zarn_decoder_initialise() : Couldn't enable audio track.\n",
        "Zarn error: zarn_decoder_thread_func() : Couldn't initialise decoder.\n",
        "Zarn error: zarn_decoder_create() : Couldn't prepare thread.\n",
    };
    size_t from = 0;
    for (const char* line : lines) {
        const size_t at = log.find(line, from);
        EXPECT_NE(at, std::string::npos) << "missing, in order: " << line << "\nlog:\n" << log;
        if (at != std::string::npos) {
            from = at;
        }
    }

    // A movie without sound needs no device.
    movie = nullptr;
    EXPECT_EQ(zarn_open(engine::test_movie("video_64x48.zrn").c_str(), &movie, nullptr, nullptr), ZARN_OK);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(zarn_close(movie), ZARN_OK);
}

}  // namespace
