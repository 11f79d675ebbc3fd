// The frame hand-off and its conversion to RGB, and the event queue, on a
// decoder record whose waiting frame is a picture the test fills itself.
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include "decoder/zarn_decoder.h"
#include "engine_support.h"
#include "zarn.h"

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

// A ready record with only what the hand-off uses: the frame mutex, the
// picture size and one flat I420 picture waiting.
class frame_record : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr), ZARN_OK);
        ASSERT_EQ(zarn_mutex_create(&record.frame_mutex), ZARN_OK);
        record.initialised = true;
    }
    void TearDown() override
    {
        zarn_mutex_free(record.frame_mutex);
        if (image != nullptr) {
            vpx_img_free(image);
        }
    }
    void make_picture(int32_t width, int32_t height, uint8_t y, uint8_t u, uint8_t v)
    {
        record.header.width = width;
        record.header.height = height;
        image = vpx_img_alloc(nullptr, VPX_IMG_FMT_I420, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), 4);
        ASSERT_NE(image, nullptr);
        const uint8_t values[3] = {y, u, v};
        for (int plane = 0; plane < 3; ++plane) {
            const int32_t rows = plane == 0 ? height : (height + 1) / 2;
            memset(image->planes[plane], values[plane], static_cast<size_t>(image->stride[plane]) * rows);
        }
        record.curr_frame = image;
    }
    bool ready()
    {
        bool is_ready = false;
        EXPECT_EQ(zarn_is_frame_ready(&record, &is_ready), ZARN_OK);
        return is_ready;
    }

    zarn_decoder record{};
    vpx_image_t* image = nullptr;
};

TEST_F(frame_record, blit_converts_white_and_black_in_every_layout)
{
    struct blit_case {
        const char* name;
        int32_t format;
        uint8_t y;
        std::vector<uint8_t> pixel;  // the bytes of one pixel
    };
    const blit_case cases[] = {
        {"white BGRA", ZARN_PIXEL_FORMAT_BGRA, 235, {255, 255, 255, 255}},
        {"black BGRA", ZARN_PIXEL_FORMAT_BGRA, 16, {0, 0, 0, 255}},
        {"white RGBA", ZARN_PIXEL_FORMAT_RGBA, 235, {255, 255, 255, 255}},
        {"black RGBA", ZARN_PIXEL_FORMAT_RGBA, 16, {0, 0, 0, 255}},
        {"white BGR", ZARN_PIXEL_FORMAT_BGR, 235, {255, 255, 255}},
        {"black BGR", ZARN_PIXEL_FORMAT_BGR, 16, {0, 0, 0}},
        {"white ARGB1555", ZARN_PIXEL_FORMAT_ARGB1555, 235, {0xFF, 0xFF}},
        {"black ARGB1555", ZARN_PIXEL_FORMAT_ARGB1555, 16, {0x00, 0x80}},
        {"white RGB565", ZARN_PIXEL_FORMAT_RGB565, 235, {0xFF, 0xFF}},
        {"black RGB565", ZARN_PIXEL_FORMAT_RGB565, 16, {0x00, 0x00}},
    };
    for (const blit_case& c : cases) {
        SCOPED_TRACE(c.name);
        make_picture(2, 2, c.y, 128, 128);
        const size_t bytes = c.pixel.size();
        std::vector<uint8_t> output(2 * 2 * bytes, 0x5A);
        EXPECT_EQ(zarn_decoder_blit_current_frame(&record, c.format, output.data(), static_cast<int32_t>(2 * bytes)),
                  ZARN_OK);
        for (size_t pixel = 0; pixel < 4; ++pixel) {
            EXPECT_EQ(std::vector<uint8_t>(output.begin() + pixel * bytes, output.begin() + (pixel + 1) * bytes),
                      c.pixel)
                << "pixel " << pixel;
        }
        EXPECT_FALSE(ready());
        vpx_img_free(image);
        image = nullptr;
    }
}

TEST_F(frame_record, rgba_is_bgra_with_red_and_blue_exchanged)
{
    // A saturated orange: red, green and blue all differ.
    make_picture(4, 2, 150, 60, 200);
    std::vector<uint8_t> bgra(4 * 2 * 4);
    std::vector<uint8_t> rgba(4 * 2 * 4);
    ASSERT_EQ(zarn_blit_current_frame_bgra(&record, bgra.data(), 16), ZARN_OK);
    record.curr_frame = image;
    ASSERT_EQ(zarn_blit_current_frame_rgba(&record, rgba.data(), 16), ZARN_OK);
    ASSERT_NE(bgra[0], bgra[2]);
    for (size_t pixel = 0; pixel < 8; ++pixel) {
        EXPECT_EQ(rgba[pixel * 4 + 0], bgra[pixel * 4 + 2]);
        EXPECT_EQ(rgba[pixel * 4 + 1], bgra[pixel * 4 + 1]);
        EXPECT_EQ(rgba[pixel * 4 + 2], bgra[pixel * 4 + 0]);
        EXPECT_EQ(rgba[pixel * 4 + 3], 255);
    }
}

TEST_F(frame_record, blit_leaves_the_bytes_after_each_row_untouched)
{
    make_picture(2, 2, 235, 128, 128);
    const int32_t stride = 2 * 4 + 5;
    std::vector<uint8_t> output(static_cast<size_t>(stride) * 2, 0xAB);
    ASSERT_EQ(zarn_blit_current_frame_bgra(&record, output.data(), stride), ZARN_OK);
    for (int32_t row = 0; row < 2; ++row) {
        for (int32_t column = 8; column < stride; ++column) {
            EXPECT_EQ(output[static_cast<size_t>(row * stride + column)], 0xAB) << row << "," << column;
        }
        EXPECT_EQ(output[static_cast<size_t>(row * stride)], 255);
    }
}

TEST_F(frame_record, a_frame_is_taken_once)
{
    make_picture(2, 2, 235, 128, 128);
    std::vector<uint8_t> output(16);
    EXPECT_TRUE(ready());
    ASSERT_EQ(zarn_blit_current_frame_bgra(&record, output.data(), 8), ZARN_OK);
    EXPECT_FALSE(ready());
    CaptureStderr();
    EXPECT_EQ(zarn_blit_current_frame_bgra(&record, output.data(), 8), ZARN_DECODER_ERROR_NO_CURRENT_FRAME);
    EXPECT_EQ(zarn_blit_current_frame_rgba(&record, output.data(), 8), ZARN_DECODER_ERROR_NO_CURRENT_FRAME);
    EXPECT_EQ(GetCapturedStderr(), "Zarn error: zarn_decoder_blit_current_frame() : No current frame.\n"
                                   "Zarn error: zarn_decoder_blit_current_frame() : No current frame.\n");
}

TEST_F(frame_record, an_unknown_format_writes_nothing_logs_nothing_and_takes_the_frame)
{
    for (int32_t format : {7, 0, -1, 2}) {
        SCOPED_TRACE(format);
        make_picture(2, 2, 235, 128, 128);
        std::vector<uint8_t> output(16, 0x11);
        CaptureStderr();
        const int32_t result = zarn_decoder_blit_current_frame(&record, format, output.data(), 8);
        EXPECT_EQ(GetCapturedStderr(), "");
        // Format 2 is accepted and converts nothing.
        EXPECT_EQ(result, format == 2 ? ZARN_OK : ZARN_DECODER_ERROR_BAD_PIXEL_FORMAT);
        EXPECT_EQ(output, std::vector<uint8_t>(16, 0x11));
        EXPECT_FALSE(ready());
        vpx_img_free(image);
        image = nullptr;
    }
}

TEST_F(frame_record, planes_are_handed_out_with_halved_chroma_sizes)
{
    struct size_case {
        int32_t width;
        int32_t height;
        int32_t chroma_width;
        int32_t chroma_height;
    };
    for (const size_case& c : {size_case{320, 240, 160, 120}, size_case{321, 241, 160, 120}}) {
        SCOPED_TRACE(c.width);
        make_picture(c.width, c.height, 100, 110, 120);
        zarn_frame frame{};
        ASSERT_EQ(zarn_get_current_frame(&record, &frame), ZARN_OK);
        EXPECT_EQ(frame.width[0], c.width);
        EXPECT_EQ(frame.height[0], c.height);
        for (int plane = 1; plane < 3; ++plane) {
            EXPECT_EQ(frame.width[plane], c.chroma_width);
            EXPECT_EQ(frame.height[plane], c.chroma_height);
        }
        for (int plane = 0; plane < 3; ++plane) {
            EXPECT_EQ(frame.data[plane], image->planes[plane]);
            EXPECT_EQ(frame.stride[plane], image->stride[plane]);
        }
        EXPECT_EQ(frame.data[0][0], 100);
        EXPECT_EQ(frame.data[2][0], 120);
        EXPECT_FALSE(ready());
        vpx_img_free(image);
        image = nullptr;
    }
}

// The event queue of a record with a callback.
class event_record : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(zarn_initialise(ZARN_INTERFACE_VERSION, nullptr, nullptr), ZARN_OK);
        ASSERT_EQ(zarn_mutex_create(&record.event_mutex), ZARN_OK);
        ASSERT_EQ(zarn_circular_buffer_create(&record.event_buffer, ZARN_DECODER_EVENT_CAPACITY, 4), ZARN_OK);
        record.initialised = true;
        record.event_callback = engine::event_log::callback;
        record.user_data = &log;
    }
    void TearDown() override
    {
        zarn_circular_buffer_free(record.event_buffer);
        zarn_mutex_free(record.event_mutex);
    }
    zarn_decoder record{};
    engine::event_log log;
};

TEST_F(event_record, events_are_delivered_oldest_first_and_the_queue_empties)
{
    zarn_decoder_fire_event(&record, ZARN_EVENT_PLAY);
    zarn_decoder_fire_event(&record, ZARN_EVENT_PAUSE);
    zarn_decoder_fire_event(&record, ZARN_EVENT_PLAY);
    EXPECT_EQ(zarn_pulse_events(&record), ZARN_OK);
    EXPECT_EQ(log.events, (std::vector<int32_t>{0, 1, 0}));
    EXPECT_EQ(zarn_pulse_events(&record), ZARN_OK);
    EXPECT_EQ(log.events.size(), 3u);
}

TEST_F(event_record, the_33rd_event_is_lost_with_the_queue_message)
{
    for (int32_t i = 0; i < ZARN_DECODER_EVENT_CAPACITY; ++i) {
        zarn_decoder_fire_event(&record, i % 3);
    }
    CaptureStderr();
    zarn_decoder_fire_event(&record, ZARN_EVENT_END_OF_MOVIE);
    EXPECT_EQ(GetCapturedStderr(), "Zarn error: zarn_circular_buffer_push_back() : No space to push item.\n");
    EXPECT_EQ(zarn_pulse_events(&record), ZARN_OK);
    ASSERT_EQ(log.events.size(), 32u);
    for (int32_t i = 0; i < ZARN_DECODER_EVENT_CAPACITY; ++i) {
        EXPECT_EQ(log.events[static_cast<size_t>(i)], i % 3);
    }
}

TEST_F(event_record, without_a_callback_nothing_is_queued)
{
    record.event_callback = nullptr;
    zarn_decoder_fire_event(&record, ZARN_EVENT_PLAY);
    EXPECT_EQ(record.event_buffer->count, 0);
    EXPECT_EQ(zarn_pulse_events(&record), ZARN_OK);
    EXPECT_TRUE(log.events.empty());
}

}  // namespace
