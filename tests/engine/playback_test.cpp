// Commands and timing through the public interface: the clock, the
// transport commands, seeking, the end of the movie, and the pictures the
// movie hands out while it plays.
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "decoder/zarn_decoder.h"
#include "engine_support.h"
#include "zarn.h"

using namespace engine;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

class playback_test : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr), ZARN_OK); }
    void TearDown() override
    {
        if (movie != nullptr) {
            EXPECT_EQ(zarn_close(movie), ZARN_OK);
        }
    }
    void open(const std::string& path, bool with_events = true)
    {
        movie = open_movie(path, with_events ? &events : nullptr);
        ASSERT_NE(movie, nullptr);
    }
    double time()
    {
        double value = -1.0;
        EXPECT_EQ(zarn_get_time(movie, &value), ZARN_OK);
        return value;
    }
    int32_t state()
    {
        int32_t value = 0;
        EXPECT_EQ(zarn_get_state(movie, &value), ZARN_OK);
        return value;
    }
    bool ready()
    {
        bool value = false;
        EXPECT_EQ(zarn_is_frame_ready(movie, &value), ZARN_OK);
        return value;
    }
    std::vector<int32_t> pulse()
    {
        EXPECT_EQ(zarn_pulse_events(movie), ZARN_OK);
        return events.events;
    }
    static void sleep(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

    zarn_decoder* movie = nullptr;
    event_log events;
};

TEST_F(playback_test, the_clock_runs_at_wall_speed_and_stands_still_while_paused)
{
    open(test_movie("keyframes_only.zrn"));
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    EXPECT_EQ(state(), ZARN_STATE_PLAYING);
    sleep(0.5);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double played = time();
    EXPECT_NEAR(played, elapsed, 0.15);

    ASSERT_EQ(zarn_pause(movie), ZARN_OK);
    EXPECT_EQ(state(), ZARN_STATE_PAUSED);
    const double paused_at = time();
    sleep(1.0);
    EXPECT_EQ(time(), paused_at);

    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    sleep(0.3);
    EXPECT_NEAR(time(), paused_at + 0.3, 0.15) << "the pause does not count";
    EXPECT_EQ(pulse(), (std::vector<int32_t>{ZARN_EVENT_PLAY, ZARN_EVENT_PAUSE, ZARN_EVENT_PLAY}));
}

TEST_F(playback_test, a_repeated_command_warns_and_queues_nothing)
{
    struct repeat_case {
        const char* name;
        int32_t (*command)(zarn_decoder*);
        std::vector<int32_t> events;  // after the first command
        const char* warning;
    };
    const repeat_case cases[] = {
        {"play", zarn_play, {ZARN_EVENT_PLAY}, "Zarn warning: zarn_decoder_command_play() : Decoder is already playing.\n"},
        {"pause", zarn_pause, {ZARN_EVENT_PAUSE}, "Zarn warning: zarn_decoder_command_pause() : Decoder is already paused.\n"},
        // A movie is stopped once opened: its first stop is already the repeat.
        {"stop", zarn_stop, {}, "Zarn warning: zarn_decoder_command_stop() : Decoder is already stopped.\n"},
    };
    for (const repeat_case& c : cases) {
        SCOPED_TRACE(c.name);
        events.events.clear();
        open(test_movie("keyframes_only.zrn"));
        if (c.command != zarn_stop) {
            ASSERT_EQ(c.command(movie), ZARN_OK);
        }
        const int32_t state_before = state();
        CaptureStdout();
        EXPECT_EQ(c.command(movie), ZARN_OK);
        EXPECT_EQ(GetCapturedStdout(), c.warning);
        EXPECT_EQ(state(), state_before);
        EXPECT_EQ(pulse(), c.events);
        ASSERT_EQ(zarn_close(movie), ZARN_OK);
        movie = nullptr;
    }
}

TEST_F(playback_test, a_seek_while_paused_publishes_the_picture_of_that_time)
{
    struct seek_case {
        const char* movie;
        double time;
    };
    // keyint10s has key frames at 0 s and 10 s only: 7.2 s is decoded from 0.
    const seek_case cases[] = {
        {"keyframes_only.zrn", 3.5}, {"keyint10s.zrn", 7.2}, {"keyint10s.zrn", 10.0},
        {"video_64x48.zrn", 1.23}, {"video_64x48.zrn", -0.5}, {"ntsc.zrn", 0.5},
    };
    for (const seek_case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.movie << " at " << c.time);
        open(test_movie(c.movie));
        const std::vector<picture> pictures = decode_pictures(read_records(test_movie(c.movie)));
        ASSERT_EQ(zarn_pause(movie), ZARN_OK);
        take_picture(movie);
        ASSERT_FALSE(ready());

        ASSERT_EQ(zarn_set_time(movie, c.time), ZARN_OK);
        EXPECT_TRUE(ready());
        EXPECT_EQ(time(), c.time);
        EXPECT_EQ(state(), ZARN_STATE_PAUSED);
        EXPECT_TRUE(take_picture(movie) == picture_at(pictures, c.time));
        sleep(0.05);
        EXPECT_EQ(time(), c.time) << "the clock stays put while paused";
        ASSERT_EQ(zarn_close(movie), ZARN_OK);
        movie = nullptr;
    }
}

TEST_F(playback_test, a_seek_while_playing_goes_on_from_the_new_time)
{
    open(test_movie("keyframes_only.zrn"));
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    ASSERT_EQ(zarn_set_time(movie, 5.0), ZARN_OK);
    EXPECT_EQ(state(), ZARN_STATE_PLAYING);
    EXPECT_GE(time(), 5.0);
    sleep(0.3);
    EXPECT_NEAR(time(), 5.3, 0.15);
    EXPECT_EQ(movie->audio_render, nullptr) << "a movie without sound has no render to call";
}

TEST_F(playback_test, a_seek_past_the_end_shows_the_last_picture_and_a_playing_movie_ends)
{
    open(test_movie("video_64x48.zrn"));
    const std::vector<picture> pictures = decode_pictures(read_records(test_movie("video_64x48.zrn")));
    ASSERT_EQ(zarn_pause(movie), ZARN_OK);
    ASSERT_EQ(zarn_set_time(movie, 100.0), ZARN_OK);
    EXPECT_EQ(state(), ZARN_STATE_PAUSED);
    EXPECT_TRUE(take_picture(movie) == pictures.back());

    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    EXPECT_TRUE(wait_until([&] { return pulse().size() >= 4; }, 2.0));
    EXPECT_EQ(events.events, (std::vector<int32_t>{ZARN_EVENT_PAUSE, ZARN_EVENT_PLAY, ZARN_EVENT_END_OF_MOVIE,
                                                   ZARN_EVENT_PAUSE}));
    EXPECT_EQ(state(), ZARN_STATE_STOPPED);
    EXPECT_EQ(time(), 0.0);
}

TEST_F(playback_test, the_end_without_loop_rewinds_and_stops)
{
    open(test_movie("video_65x49.zrn"));
    const std::vector<picture> pictures = decode_pictures(read_records(test_movie("video_65x49.zrn")));
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    // The events follow the rewind, so they tell that the end is complete.
    ASSERT_TRUE(wait_until([&] { return pulse().size() >= 3; }, 5.0));
    EXPECT_EQ(events.events, (std::vector<int32_t>{ZARN_EVENT_PLAY, ZARN_EVENT_END_OF_MOVIE, ZARN_EVENT_PAUSE}));
    EXPECT_EQ(state(), ZARN_STATE_STOPPED);
    EXPECT_EQ(time(), 0.0);
    ASSERT_TRUE(ready());
    EXPECT_TRUE(take_picture(movie) == pictures.front());
    sleep(0.05);
    EXPECT_EQ(time(), 0.0);
}

TEST_F(playback_test, the_end_with_loop_plays_on_from_the_start)
{
    open(test_movie("video_65x49.zrn"));
    ASSERT_EQ(zarn_set_loop(movie, true), ZARN_OK);
    bool loop = false;
    EXPECT_EQ(zarn_get_loop(movie, &loop), ZARN_OK);
    EXPECT_TRUE(loop);
    ASSERT_EQ(zarn_set_time(movie, 0.8), ZARN_OK);
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    ASSERT_TRUE(wait_until([&] { return pulse().size() >= 3; }, 3.0));
    EXPECT_EQ(events.events, (std::vector<int32_t>{ZARN_EVENT_PLAY, ZARN_EVENT_END_OF_MOVIE, ZARN_EVENT_PLAY}));
    EXPECT_EQ(state(), ZARN_STATE_PLAYING);
    const double after_end = time();
    EXPECT_LT(after_end, 0.5);
    sleep(0.2);
    EXPECT_GT(time(), after_end + 0.1);
}

// Plays the movie to its end, taking each picture as soon as it waits, and
// checks that each is one the movie's stream shows, in stream order.
void expect_pictures_in_order(zarn_decoder* movie, const std::vector<picture>& pictures, size_t* taken)
{
    size_t next = 0;
    *taken = 0;
    int32_t state = ZARN_STATE_PLAYING;
    while (state == ZARN_STATE_PLAYING) {
        bool ready = false;
        ASSERT_EQ(zarn_is_frame_ready(movie, &ready), ZARN_OK);
        if (ready) {
            const picture shown = take_picture(movie);
            size_t found = next;
            while (found < pictures.size() && !(pictures[found] == shown)) {
                ++found;
            }
            ASSERT_LT(found, pictures.size()) << "picture " << *taken << " is none the stream shows after "
                                              << next;
            next = found;
            ++*taken;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(zarn_get_state(movie, &state), ZARN_OK);
    }
}

TEST_F(playback_test, every_picture_handed_out_is_a_decoded_picture_in_stream_order)
{
    open(test_movie("video_64x48.zrn"));
    const std::vector<picture> pictures = decode_pictures(read_records(test_movie("video_64x48.zrn")));
    ASSERT_EQ(pictures.size(), 50u);
    EXPECT_TRUE(take_picture(movie) == pictures.front());
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    size_t taken = 0;
    expect_pictures_in_order(movie, pictures, &taken);
    EXPECT_GT(taken, 25u) << "a 2 s movie at 25 fps shows most of its frames";
}

TEST_F(playback_test, a_taken_picture_is_not_overwritten_while_later_ones_are_published)
{
    open(test_movie("video_64x48.zrn"));
    const std::vector<picture> pictures = decode_pictures(read_records(test_movie("video_64x48.zrn")));
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    sleep(0.1);
    ASSERT_TRUE(wait_until([&] { return ready(); }, 1.0));
    zarn_frame frame{};
    ASSERT_EQ(zarn_get_current_frame(movie, &frame), ZARN_OK);
    const picture when_taken = picture_from_frame(frame);
    // The worker publishes several newer pictures meanwhile; none is taken.
    sleep(0.4);
    EXPECT_TRUE(ready());
    EXPECT_TRUE(picture_from_frame(frame) == when_taken);
    // And the newest one is what the stream shows, not a mixture.
    const picture newest = take_picture(movie);
    EXPECT_FALSE(newest == when_taken);
    bool known = false;
    for (const picture& p : pictures) {
        known = known || p == newest;
    }
    EXPECT_TRUE(known);
}

TEST_F(playback_test, a_movie_with_sound_plays_pauses_seeks_and_stops)
{
    open(test_movie("stereo.zrn"));
    ASSERT_NE(movie->audio_render, nullptr);
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    sleep(0.3);
    EXPECT_GT(time(), 0.1);
    ASSERT_EQ(zarn_pause(movie), ZARN_OK);
    ASSERT_EQ(zarn_set_time(movie, 1.0), ZARN_OK);
    EXPECT_EQ(time(), 1.0);
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    ASSERT_EQ(zarn_set_time(movie, 1.5), ZARN_OK);
    ASSERT_TRUE(wait_until([&] { return pulse().size() >= 5; }, 3.0));
    EXPECT_EQ(events.events, (std::vector<int32_t>{ZARN_EVENT_PLAY, ZARN_EVENT_PAUSE, ZARN_EVENT_PLAY,
                                                   ZARN_EVENT_END_OF_MOVIE, ZARN_EVENT_PAUSE}));
    EXPECT_EQ(state(), ZARN_STATE_STOPPED);
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    ASSERT_EQ(zarn_stop(movie), ZARN_OK);
    EXPECT_EQ(time(), 0.0);

    // A stopped movie's device is primed, not running: pausing it is still a
    // pause, and play starts the sound from there.
    ASSERT_EQ(zarn_pause(movie), ZARN_OK);
    EXPECT_EQ(state(), ZARN_STATE_PAUSED);
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    sleep(0.2);
    EXPECT_GT(time(), 0.1);
}

// A copy of video_64x48.zrn in which some packets show no picture (the
// show_frame bit of their VP8 frame tag cleared), as alternate reference
// frames do: the decoder decodes them and hands nothing out for them.
class hidden_frames_test : public playback_test {
protected:
    void SetUp() override
    {
        playback_test::SetUp();
        records = read_records(test_movie("video_64x48.zrn"));
        for (size_t index : HIDDEN) {
            ASSERT_FALSE(records.packets.at(index).header.flags & PACKET_FLAG_KEY_FRAME);
            records.packets.at(index).payload.at(0) &= static_cast<uint8_t>(~0x10u);
        }
        path = scratch_path("hidden_frames.zrn");
        write_movie(path, records);
        pictures = decode_pictures(records);
        ASSERT_EQ(pictures.size(), records.packets.size() - std::size(HIDDEN));
    }
    static constexpr size_t HIDDEN[] = {5, 6, 25, 49};
    movie_records records;
    std::string path;
    std::vector<picture> pictures;
};

TEST_F(hidden_frames_test, playing_through_packets_without_a_picture_never_stalls)
{
    open(path);
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    CaptureStderr();
    size_t taken = 0;
    expect_pictures_in_order(movie, pictures, &taken);
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_GT(taken, 20u);
    EXPECT_TRUE(wait_until([&] { return pulse().size() >= 3; }, 1.0));
    EXPECT_EQ(events.events, (std::vector<int32_t>{ZARN_EVENT_PLAY, ZARN_EVENT_END_OF_MOVIE, ZARN_EVENT_PAUSE}));
}

TEST_F(hidden_frames_test, a_seek_onto_a_hidden_packet_shows_the_next_picture)
{
    open(path);
    const double hidden_time = static_cast<double>(records.packets[5].header.timestamp) / 1e7;
    ASSERT_EQ(zarn_set_time(movie, hidden_time), ZARN_OK);
    ASSERT_TRUE(ready());
    const picture shown = take_picture(movie);
    const picture& expected = picture_at(pictures, static_cast<double>(records.packets[7].header.timestamp) / 1e7);
    EXPECT_EQ(expected.timestamp, records.packets[7].header.timestamp);
    EXPECT_TRUE(shown == expected);
}

TEST_F(hidden_frames_test, a_seek_past_a_hidden_last_packet_keeps_a_picture_up)
{
    open(path);
    ASSERT_EQ(zarn_set_time(movie, 1.0), ZARN_OK);
    const picture before = take_picture(movie);
    CaptureStderr();
    EXPECT_EQ(zarn_set_time(movie, 100.0), ZARN_OK);
    EXPECT_EQ(GetCapturedStderr(), "");
    ASSERT_TRUE(ready());
    EXPECT_TRUE(take_picture(movie) == before);
    ASSERT_EQ(zarn_play(movie), ZARN_OK);
    EXPECT_TRUE(wait_until([&] { return state() == ZARN_STATE_STOPPED; }, 2.0));
}

}  // namespace
