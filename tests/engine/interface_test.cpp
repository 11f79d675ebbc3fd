// The public interface: the library flag, the movie guard, the state of a
// freshly opened movie, and track counts and information.
#include <cmath>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>

#include "decoder/zarn_decoder.h"
#include "engine_support.h"
#include "writer/zarn_writer.h"
#include "zarn.h"

using namespace engine;

namespace {

class interface_test : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr), ZARN_OK); }
    void TearDown() override { zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr); }
};

// Every function behind the movie guard, called on `movie`.
struct guarded_call {
    const char* name;
    std::function<int32_t(zarn_decoder*)> call;
};

std::vector<guarded_call> guarded_calls()
{
    static bool flag;
    static double number;
    static int32_t integer;
    static zarn_frame frame;
    static uint8_t pixels[4];
    static const zarn_track_header* track;
    static zarn_audio_track_info audio_info;
    static zarn_video_track_info video_info;
    return {
        {"pulse_events", [](zarn_decoder* m) { return zarn_pulse_events(m); }},
        {"get_loop", [](zarn_decoder* m) { return zarn_get_loop(m, &flag); }},
        {"set_loop", [](zarn_decoder* m) { return zarn_set_loop(m, true); }},
        {"get_time", [](zarn_decoder* m) { return zarn_get_time(m, &number); }},
        {"set_time", [](zarn_decoder* m) { return zarn_set_time(m, 1.0); }},
        {"get_duration", [](zarn_decoder* m) { return zarn_get_duration(m, &number); }},
        {"get_state", [](zarn_decoder* m) { return zarn_get_state(m, &integer); }},
        {"play", [](zarn_decoder* m) { return zarn_play(m); }},
        {"pause", [](zarn_decoder* m) { return zarn_pause(m); }},
        {"stop", [](zarn_decoder* m) { return zarn_stop(m); }},
        {"is_frame_ready", [](zarn_decoder* m) { return zarn_is_frame_ready(m, &flag); }},
        {"get_current_frame", [](zarn_decoder* m) { return zarn_get_current_frame(m, &frame); }},
        {"blit_rgba", [](zarn_decoder* m) { return zarn_blit_current_frame_rgba(m, pixels, 4); }},
        {"blit_bgra", [](zarn_decoder* m) { return zarn_blit_current_frame_bgra(m, pixels, 4); }},
        {"get_track_count", [](zarn_decoder* m) { return zarn_get_track_count(m, ZARN_TRACK_VIDEO, &integer); }},
        {"get_track", [](zarn_decoder* m) { return zarn_get_track(m, ZARN_TRACK_VIDEO, 0, &track); }},
        {"enable_track", [](zarn_decoder* m) { return zarn_enable_track(m, nullptr); }},
        {"is_track_enabled", [](zarn_decoder* m) { return zarn_is_track_enabled(m, nullptr, &flag); }},
        {"get_audio_track_info", [](zarn_decoder* m) { return zarn_get_audio_track_info(m, nullptr, &audio_info); }},
        {"get_video_track_info", [](zarn_decoder* m) { return zarn_get_video_track_info(m, nullptr, &video_info); }},
    };
}

TEST_F(interface_test, movie_guard_tests_library_then_handle_then_readiness)
{
    // A record that never finished creation: nothing behind it may be used.
    zarn_decoder not_ready{};
    for (const guarded_call& call : guarded_calls()) {
        SCOPED_TRACE(call.name);
        zarn_finalise();
        EXPECT_EQ(call.call(&not_ready), ZARN_ERROR_NOT_INITIALISED);
        EXPECT_EQ(call.call(nullptr), ZARN_ERROR_NOT_INITIALISED);
        ASSERT_EQ(zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr), ZARN_OK);
        EXPECT_EQ(call.call(nullptr), ZARN_ERROR_NULL_MOVIE);
        EXPECT_EQ(call.call(&not_ready), ZARN_ERROR_MOVIE_NOT_READY);
    }
}

TEST_F(interface_test, initialise_accepts_only_its_own_version)
{
    int32_t state = 0;
    for (int32_t version : {ZARN_INTERFACE_VERSION - 1, ZARN_INTERFACE_VERSION + 1, 0}) {
        SCOPED_TRACE(version);
        EXPECT_EQ(zarn_initialise(version, nullptr, nullptr), ZARN_ERROR_BAD_VERSION);
        EXPECT_EQ(zarn_get_state(nullptr, &state), ZARN_ERROR_NULL_MOVIE) << "still initialised";
        zarn_finalise();
        EXPECT_EQ(zarn_initialise(version, nullptr, nullptr), ZARN_ERROR_BAD_VERSION);
        EXPECT_EQ(zarn_get_state(nullptr, &state), ZARN_ERROR_NOT_INITIALISED) << "still uninitialised";
        ASSERT_EQ(zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr), ZARN_OK);
    }
}

TEST_F(interface_test, open_before_initialise_leaves_the_handle_untouched)
{
    zarn_finalise();
    zarn_decoder* movie = reinterpret_cast<zarn_decoder*>(0x1234);
    EXPECT_EQ(zarn_open(test_movie("video_64x48.zrn").c_str(), &movie, nullptr, nullptr),
              ZARN_ERROR_NOT_INITIALISED);
    EXPECT_EQ(movie, reinterpret_cast<zarn_decoder*>(0x1234));
}

TEST_F(interface_test, close_works_after_finalise)
{
    zarn_decoder* movie = open_movie(test_movie("video_64x48.zrn"));
    ASSERT_NE(movie, nullptr);
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    zarn_finalise();
    int32_t state = 0;
    EXPECT_EQ(zarn_get_state(movie, &state), ZARN_ERROR_NOT_INITIALISED);
    EXPECT_EQ(zarn_close(movie), ZARN_OK);
}

TEST_F(interface_test, a_new_movie_is_stopped_at_zero_with_a_frame_waiting)
{
    for (const char* name : {"video_64x48.zrn", "stereo.zrn"}) {
        SCOPED_TRACE(name);
        zarn_decoder* movie = open_movie(test_movie(name));
        ASSERT_NE(movie, nullptr);
        int32_t state = 0;
        double time = -1.0;
        bool ready = false;
        bool loop = true;
        EXPECT_EQ(zarn_get_state(movie, &state), ZARN_OK);
        EXPECT_EQ(zarn_get_time(movie, &time), ZARN_OK);
        EXPECT_EQ(zarn_is_frame_ready(movie, &ready), ZARN_OK);
        EXPECT_EQ(zarn_get_loop(movie, &loop), ZARN_OK);
        EXPECT_EQ(state, ZARN_STATE_STOPPED);
        EXPECT_EQ(time, 0.0);
        EXPECT_TRUE(ready);
        EXPECT_FALSE(loop);
        // The waiting frame is the movie's first picture.
        const std::vector<picture> pictures = decode_pictures(read_records(test_movie(name)));
        EXPECT_TRUE(take_picture(movie) == pictures.at(0));
        EXPECT_EQ(zarn_close(movie), ZARN_OK);
    }
}

TEST_F(interface_test, track_counts_and_information_come_from_the_headers)
{
    struct audio_expectation {
        const char* name;
        int32_t channels;
        int32_t sample_rate;
    };
    struct movie_case {
        const char* movie;
        float frame_rate;
        double duration;
        int32_t width;
        int32_t height;
        std::vector<audio_expectation> audio;
    };
    const movie_case cases[] = {
        {"video_64x48.zrn", 25.0f, 2.0, 64, 48, {}},
        {"video_65x49.zrn", 25.0f, 1.0, 65, 49, {}},
        {"ntsc.zrn", 29.97003f, 30 * 1001 / 30000.0, 64, 48, {}},
        {"mono.zrn", 25.0f, 2.0, 64, 48, {{"Audio 1", 1, 22050}}},
        {"two_audio.zrn", 25.0f, 2.0, 64, 48, {{"Audio 1", 2, 44100}, {"Audio 2", 1, 22050}}},
    };
    for (const movie_case& c : cases) {
        SCOPED_TRACE(c.movie);
        zarn_decoder* movie = open_movie(test_movie(c.movie));
        ASSERT_NE(movie, nullptr);

        int32_t count = -1;
        EXPECT_EQ(zarn_get_track_count(movie, ZARN_TRACK_VIDEO, &count), ZARN_OK);
        EXPECT_EQ(count, 1);
        EXPECT_EQ(zarn_get_track_count(movie, ZARN_TRACK_AUDIO, &count), ZARN_OK);
        EXPECT_EQ(count, static_cast<int32_t>(c.audio.size()));
        for (int32_t type : {ZARN_TRACK_CAPTION, 0, 5}) {
            count = -1;
            EXPECT_EQ(zarn_get_track_count(movie, type, &count), ZARN_OK);
            EXPECT_EQ(count, 0) << "type " << type;
        }

        double duration = 0.0;
        EXPECT_EQ(zarn_get_duration(movie, &duration), ZARN_OK);
        EXPECT_NEAR(duration, c.duration, 1e-6);

        const zarn_track_header* track = nullptr;
        ASSERT_EQ(zarn_get_track(movie, ZARN_TRACK_VIDEO, 0, &track), ZARN_OK);
        ASSERT_NE(track, nullptr);
        zarn_video_track_info video{};
        EXPECT_EQ(zarn_get_video_track_info(movie, track, &video), ZARN_OK);
        EXPECT_STREQ(video.name, "Video");
        EXPECT_EQ(video.width, c.width);
        EXPECT_EQ(video.height, c.height);
        EXPECT_FLOAT_EQ(video.frame_rate, c.frame_rate);
        bool enabled = false;
        EXPECT_EQ(zarn_is_track_enabled(movie, track, &enabled), ZARN_OK);
        EXPECT_TRUE(enabled);
        EXPECT_EQ(zarn_enable_track(movie, track), ZARN_OK);

        for (size_t i = 0; i < c.audio.size(); ++i) {
            ASSERT_EQ(zarn_get_track(movie, ZARN_TRACK_AUDIO, static_cast<int32_t>(i), &track), ZARN_OK);
            zarn_audio_track_info audio{};
            EXPECT_EQ(zarn_get_audio_track_info(movie, track, &audio), ZARN_OK);
            EXPECT_STREQ(audio.name, c.audio[i].name);
            EXPECT_EQ(audio.channels, c.audio[i].channels);
            EXPECT_EQ(audio.sample_rate, c.audio[i].sample_rate);
        }
        EXPECT_EQ(zarn_close(movie), ZARN_OK);
    }
}

TEST_F(interface_test, get_track_refuses_captions_and_indexes_out_of_range)
{
    zarn_decoder* movie = open_movie(test_movie("mono.zrn"));
    ASSERT_NE(movie, nullptr);
    const zarn_track_header* const untouched = reinterpret_cast<const zarn_track_header*>(0x99);
    struct track_case {
        int32_t type;
        int32_t index;
        int32_t expected;
    };
    const track_case cases[] = {
        {ZARN_TRACK_CAPTION, 0, ZARN_ERROR_UNSUPPORTED_TRACK_TYPE},
        {ZARN_TRACK_VIDEO, 1, ZARN_ERROR_BAD_TRACK_INDEX},
        {ZARN_TRACK_VIDEO, -1, ZARN_ERROR_BAD_TRACK_INDEX},
        {ZARN_TRACK_AUDIO, 1, ZARN_ERROR_BAD_TRACK_INDEX},
        {ZARN_TRACK_AUDIO, -1, ZARN_ERROR_BAD_TRACK_INDEX},
        {5, 0, ZARN_OK},
        {0, 0, ZARN_OK},
    };
    for (const track_case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " index " << c.index);
        const zarn_track_header* track = untouched;
        EXPECT_EQ(zarn_get_track(movie, c.type, c.index, &track), c.expected);
        EXPECT_EQ(track, untouched);
    }

    bool flag = false;
    zarn_audio_track_info audio{};
    zarn_video_track_info video{};
    EXPECT_EQ(zarn_enable_track(movie, nullptr), ZARN_ERROR_NULL_TRACK);
    EXPECT_EQ(zarn_is_track_enabled(movie, nullptr, &flag), ZARN_ERROR_NULL_TRACK);
    EXPECT_EQ(zarn_get_audio_track_info(movie, nullptr, &audio), ZARN_ERROR_NULL_TRACK);
    EXPECT_EQ(zarn_get_video_track_info(movie, nullptr, &video), ZARN_ERROR_NULL_TRACK);
    EXPECT_EQ(zarn_close(movie), ZARN_OK);

    movie = open_movie(test_movie("video_64x48.zrn"));
    ASSERT_NE(movie, nullptr);
    const zarn_track_header* track = untouched;
    EXPECT_EQ(zarn_get_track(movie, ZARN_TRACK_AUDIO, 0, &track), ZARN_ERROR_BAD_TRACK_INDEX);
    EXPECT_EQ(track, untouched);
    EXPECT_EQ(zarn_close(movie), ZARN_OK);
}

TEST_F(interface_test, duration_is_the_header_count_of_100ns_units)
{
    const std::string path = scratch_copy("video_64x48.zrn", "duration.zrn");
    const int64_t duration = 123456789;
    ASSERT_TRUE(zarn_writer_patch(path.c_str(), offsetof(zarn_header, duration), &duration, sizeof(duration)));
    zarn_decoder* movie = open_movie(path);
    ASSERT_NE(movie, nullptr);
    double seconds = 0.0;
    EXPECT_EQ(zarn_get_duration(movie, &seconds), ZARN_OK);
    EXPECT_DOUBLE_EQ(seconds, 12.3456789);
    EXPECT_EQ(zarn_close(movie), ZARN_OK);
}

TEST_F(interface_test, a_name_filling_all_64_bytes_is_cut_to_63_and_terminated)
{
    const std::string path = scratch_copy("video_64x48.zrn", "long_name.zrn");
    const movie_records records = read_records(path);
    char name[64];
    memset(name, 'N', sizeof(name));
    ASSERT_TRUE(zarn_writer_patch(path.c_str(), records.video_header_position + offsetof(zarn_track_header, name),
                                  name, sizeof(name)));
    zarn_decoder* movie = open_movie(path);
    ASSERT_NE(movie, nullptr);
    const zarn_track_header* track = nullptr;
    ASSERT_EQ(zarn_get_track(movie, ZARN_TRACK_VIDEO, 0, &track), ZARN_OK);
    zarn_video_track_info info;
    memset(&info, 0x7F, sizeof(info));
    EXPECT_EQ(zarn_get_video_track_info(movie, track, &info), ZARN_OK);
    EXPECT_EQ(std::string(info.name), std::string(63, 'N'));
    EXPECT_EQ(info.width, 64);
    EXPECT_EQ(zarn_close(movie), ZARN_OK);
}

}  // namespace
