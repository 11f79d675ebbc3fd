// A movie's life: opening and the ways it fails, what an opened movie is
// made of, the mailbox, and closing in every state.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

#include "common/zarn_file.h"
#include "decoder/zarn_decoder.h"
#include "engine_support.h"
#include "writer/zarn_writer.h"
#include "zarn.h"

using namespace engine;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

const char* const THREAD_LINE = "Zarn error: zarn_decoder_thread_func() : Couldn't initialise decoder.\n";
const char* const CREATE_LINE = "Zarn error: zarn_decoder_create() : Couldn't prepare thread.\n";

class lifecycle_test : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr), ZARN_OK); }
};

// A movie with one field of its header overwritten.
struct broken_movie {
    const char* name;
    size_t offset;
    int32_t value;
    int32_t code;        // of the initialisation
    const char* line;    // its log line
};

const broken_movie BROKEN_MOVIES[] = {
    {"no video track", offsetof(zarn_header, video_track_count), 0, ZARN_DECODER_ERROR_ENABLE_VIDEO_TRACK,
     "Zarn error: zarn_decoder_initialise() : Couldn't enable video track.\n"},
    {"zero frame rate numerator", offsetof(zarn_header, frame_rate_numerator), 0,
     ZARN_DECODER_ERROR_BAD_FRAME_RATE, "Zarn error: zarn_decoder_initialise() : Frame rate isn't positive.\n"},
    {"negative frame rate denominator", offsetof(zarn_header, frame_rate_denominator), -1,
     ZARN_DECODER_ERROR_BAD_FRAME_RATE, "Zarn error: zarn_decoder_initialise() : Frame rate isn't positive.\n"},
    {"wrong magic", offsetof(zarn_header, magic), 0x12345678, ZARN_DECODER_ERROR_HEADER_MAGIC,
     "Zarn error: zarn_decoder_initialise() : Couldn't validate header magic.\n"},
    {"partially encoded", offsetof(zarn_header, frame_blob_size), 0, ZARN_DECODER_ERROR_PARTIALLY_ENCODED,
     "Zarn error: zarn_decoder_initialise() : Movie was only partially encoded.\n"},
};

TEST_F(lifecycle_test, a_missing_file_fails_with_the_chain_of_lines)
{
    zarn_decoder* movie = reinterpret_cast<zarn_decoder*>(0x1);
    CaptureStderr();
    EXPECT_EQ(zarn_open(scratch_path("missing.zrn").c_str(), &movie, nullptr, nullptr),
              ZARN_DECODER_ERROR_PREPARE_THREAD);
    EXPECT_EQ(GetCapturedStderr(), std::string("Zarn error: zarn_file_create() : Couldn't open file.\n"
                                               "Zarn error: zarn_decoder_initialise() : Couldn't create input file.\n") +
                                       THREAD_LINE + CREATE_LINE);
    EXPECT_EQ(movie, nullptr);
}

TEST_F(lifecycle_test, a_broken_header_fails_initialisation_with_its_own_code)
{
    for (const broken_movie& c : BROKEN_MOVIES) {
        SCOPED_TRACE(c.name);
        const std::string path = scratch_copy("video_64x48.zrn", "broken.zrn");
        ASSERT_TRUE(zarn_writer_patch(path.c_str(), static_cast<int64_t>(c.offset), &c.value, sizeof(c.value)));

        // The initialisation itself, as the worker runs it.
        zarn_decoder record{};
        snprintf(record.path, sizeof(record.path), "%s", path.c_str());
        CaptureStderr();
        EXPECT_EQ(zarn_decoder_initialise(&record), c.code);
        EXPECT_EQ(GetCapturedStderr(), c.line);
        zarn_decoder_finalise(&record);
        EXPECT_EQ(record.file, nullptr);

        // And what the caller sees of it.
        zarn_decoder* movie = reinterpret_cast<zarn_decoder*>(0x1);
        CaptureStderr();
        EXPECT_EQ(zarn_open(path.c_str(), &movie, nullptr, nullptr), ZARN_DECODER_ERROR_PREPARE_THREAD);
        EXPECT_EQ(GetCapturedStderr(), std::string(c.line) + THREAD_LINE + CREATE_LINE);
        EXPECT_EQ(movie, nullptr);
    }
}

TEST_F(lifecycle_test, a_path_that_does_not_fit_is_refused_before_it_is_copied)
{
    const std::string too_long(ZARN_DECODER_PATH_SIZE, 'p');
    zarn_decoder* movie = reinterpret_cast<zarn_decoder*>(0x1);
    CaptureStderr();
    EXPECT_EQ(zarn_open(too_long.c_str(), &movie, nullptr, nullptr), ZARN_DECODER_ERROR_PATH_TOO_LONG);
    EXPECT_EQ(GetCapturedStderr(), "Zarn error: zarn_decoder_create() : Path is too long.\n");
    EXPECT_EQ(movie, nullptr);

    // One byte shorter fits, and is simply a file that is not there.
    const std::string fits(ZARN_DECODER_PATH_SIZE - 1, 'p');
    CaptureStderr();
    EXPECT_EQ(zarn_open(fits.c_str(), &movie, nullptr, nullptr), ZARN_DECODER_ERROR_PREPARE_THREAD);
    GetCapturedStderr();
    EXPECT_EQ(movie, nullptr);
}

TEST_F(lifecycle_test, a_movie_without_sound_opens_without_a_render)
{
    zarn_decoder* movie = open_movie(test_movie("video_64x48.zrn"));
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->audio_render, nullptr);
    EXPECT_EQ(movie->audio_track, nullptr);
    EXPECT_EQ(movie->active_audio_track, -1);
    EXPECT_EQ(movie->active_video_track, 0);
    EXPECT_NE(movie->video_track, nullptr);
    EXPECT_EQ(zarn_close(movie), ZARN_OK);

    movie = open_movie(test_movie("two_audio.zrn"));
    ASSERT_NE(movie, nullptr);
    EXPECT_NE(movie->audio_render, nullptr);
    EXPECT_EQ(movie->active_audio_track, 0);
    EXPECT_EQ(zarn_close(movie), ZARN_OK);
}

TEST_F(lifecycle_test, an_unknown_command_is_acknowledged_without_effect)
{
    zarn_decoder* movie = open_movie(test_movie("video_64x48.zrn"));
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(zarn_decoder_send_command(movie, 9, nullptr), ZARN_OK);
    int32_t state = 0;
    double time = -1.0;
    bool ready = false;
    EXPECT_EQ(zarn_get_state(movie, &state), ZARN_OK);
    EXPECT_EQ(zarn_get_time(movie, &time), ZARN_OK);
    EXPECT_EQ(zarn_is_frame_ready(movie, &ready), ZARN_OK);
    EXPECT_EQ(state, ZARN_STATE_STOPPED);
    EXPECT_EQ(time, 0.0);
    EXPECT_TRUE(ready);
    EXPECT_EQ(zarn_close(movie), ZARN_OK);
}

// File services that count the files opened and closed.
struct counting_files {
    static std::atomic<int> opened;
    static std::atomic<int> closed;
    static void* open(const char* path, const char* mode)
    {
        void* handle = zarn_file_open(path, mode);
        if (handle != nullptr) {
            ++opened;
        }
        return handle;
    }
    static int close(void* handle)
    {
        ++closed;
        return fclose(static_cast<FILE*>(handle));
    }
    static size_t read(void* buffer, size_t size, size_t count, void* handle)
    {
        return fread(buffer, size, count, static_cast<FILE*>(handle));
    }
    static size_t write(const void* buffer, size_t size, size_t count, void* handle)
    {
        return fwrite(buffer, size, count, static_cast<FILE*>(handle));
    }
    static int eof(void* handle) { return feof(static_cast<FILE*>(handle)); }
};
std::atomic<int> counting_files::opened{0};
std::atomic<int> counting_files::closed{0};

class close_test : public lifecycle_test {
protected:
    void SetUp() override
    {
        lifecycle_test::SetUp();
        const zarn_file_handlers counting = {counting_files::open,  counting_files::close, counting_files::read,
                                             counting_files::write, zarn_file_seek,        zarn_file_tell,
                                             counting_files::eof};
        ASSERT_EQ(zarn_initialise(ZARN_INTERFACE_VERSION, &counting, nullptr), ZARN_OK);
    }
    void TearDown() override
    {
        const zarn_file_handlers standard = {zarn_file_open,       counting_files::close, counting_files::read,
                                             counting_files::write, zarn_file_seek,        zarn_file_tell,
                                             counting_files::eof};
        zarn_initialise(ZARN_INTERFACE_VERSION, &standard, nullptr);
    }
};

TEST_F(close_test, close_in_every_state_ends_the_worker_and_closes_the_file)
{
    struct close_case {
        const char* name;
        void (*prepare)(zarn_decoder* movie);
    };
    const close_case cases[] = {
        {"stopped", [](zarn_decoder*) {}},
        {"playing", [](zarn_decoder* m) { ASSERT_EQ(zarn_play(m), ZARN_OK); }},
        {"paused", [](zarn_decoder* m) {
             ASSERT_EQ(zarn_play(m), ZARN_OK);
             ASSERT_EQ(zarn_pause(m), ZARN_OK);
         }},
        {"paused from stopped", [](zarn_decoder* m) { ASSERT_EQ(zarn_pause(m), ZARN_OK); }},
        {"looping", [](zarn_decoder* m) {
             ASSERT_EQ(zarn_set_loop(m, true), ZARN_OK);
             ASSERT_EQ(zarn_set_time(m, 100.0), ZARN_OK);
             ASSERT_EQ(zarn_play(m), ZARN_OK);
         }},
        {"stopped after a seek", [](zarn_decoder* m) { ASSERT_EQ(zarn_set_time(m, 1.0), ZARN_OK); }},
    };
    // One movie opened and closed first, so threads that a runtime starts
    // once on first use (ThreadSanitizer's own, for one) are already there.
    zarn_decoder* warm_up = open_movie(test_movie("stereo.zrn"));
    ASSERT_NE(warm_up, nullptr);
    zarn_close(warm_up);
    for (const char* name : {"video_64x48.zrn", "stereo.zrn"}) {
        for (const close_case& c : cases) {
            SCOPED_TRACE(testing::Message() << name << ", " << c.name);
            const int threads_before = thread_count();
            const int opened_before = counting_files::opened;
            const int closed_before = counting_files::closed;
            zarn_decoder* movie = open_movie(test_movie(name));
            ASSERT_NE(movie, nullptr);
            EXPECT_EQ(counting_files::opened, opened_before + 1);
            c.prepare(movie);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            EXPECT_EQ(zarn_close(movie), ZARN_OK);
            EXPECT_EQ(counting_files::closed, closed_before + 1);
            EXPECT_TRUE(wait_until([&] { return thread_count() == threads_before; }, 1.0))
                << thread_count() << " threads, " << threads_before << " before";
        }
    }
}

}  // namespace
