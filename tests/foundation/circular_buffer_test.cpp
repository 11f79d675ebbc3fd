// The fixed-capacity queue of fixed-size items.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "decoder/zarn_circular_buffer.h"
#include "zarn_results.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

// One scripted step: push the value, or pop and expect the value (or failure).
struct Step {
    char op;        // 'u' push, 'o' pop, 'c' clear
    int32_t value;  // pushed, or expected from a pop
    int32_t result;
};

struct Script {
    const char* name;
    int32_t capacity;
    std::vector<Step> steps;
    int32_t final_count;
};

TEST(CircularBuffer, KeepsOrderWrapsAroundAndRefusesWhenFullOrEmpty)
{
    const Script scripts[] = {
        {"full then empty", 2,
         {{'u', 1, 0}, {'u', 2, 0}, {'u', 3, ZARN_CIRCULAR_BUFFER_ERROR_FULL},
          {'o', 1, 0}, {'o', 2, 0}, {'o', 0, ZARN_CIRCULAR_BUFFER_ERROR_EMPTY}}, 0},
        {"wrap-around", 3,
         {{'u', 1, 0}, {'u', 2, 0}, {'o', 1, 0}, {'o', 2, 0},
          {'u', 3, 0}, {'u', 4, 0}, {'u', 5, 0}, {'o', 3, 0}, {'o', 4, 0}, {'o', 5, 0}}, 0},
        {"clear empties", 4,
         {{'u', 1, 0}, {'u', 2, 0}, {'c', 0, 0}, {'o', 0, ZARN_CIRCULAR_BUFFER_ERROR_EMPTY},
          {'u', 7, 0}, {'o', 7, 0}}, 0},
        {"capacity 0", 0, {{'u', 1, ZARN_CIRCULAR_BUFFER_ERROR_FULL}, {'o', 0, ZARN_CIRCULAR_BUFFER_ERROR_EMPTY}}, 0},
        {"partly filled", 4, {{'u', 1, 0}, {'u', 2, 0}, {'u', 3, 0}, {'o', 1, 0}}, 2},
    };
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        zarn_circular_buffer* cb = nullptr;
        ASSERT_EQ(zarn_circular_buffer_create(&cb, script.capacity, sizeof(int32_t)), ZARN_OK);
        for (const Step& step : script.steps) {
            if (step.op == 'c') {
                zarn_circular_buffer_clear(cb);
                continue;
            }
            CaptureStderr();
            int32_t item = -1;
            if (step.op == 'u') {
                EXPECT_EQ(zarn_circular_buffer_push_back(cb, &step.value), step.result);
            } else {
                EXPECT_EQ(zarn_circular_buffer_pop_front(cb, &item), step.result);
                EXPECT_EQ(item, step.result == 0 ? step.value : -1) << "a failed pop leaves the item alone";
            }
            const std::string log = GetCapturedStderr();
            if (step.result == ZARN_CIRCULAR_BUFFER_ERROR_FULL) {
                EXPECT_EQ(log, "Zarn error: zarn_circular_buffer_push_back() : No space to push item.\n");
            } else if (step.result == ZARN_CIRCULAR_BUFFER_ERROR_EMPTY) {
                EXPECT_EQ(log, "Zarn error: zarn_circular_buffer_pop_front() : No item to pop.\n");
            } else {
                EXPECT_EQ(log, "");
            }
        }
        EXPECT_EQ(cb->count, script.final_count);
        zarn_circular_buffer_free(cb);
    }
}

TEST(CircularBuffer, CopiesItemsIn)
{
    zarn_circular_buffer* cb = nullptr;
    ASSERT_EQ(zarn_circular_buffer_create(&cb, 2, 8), ZARN_OK);
    char item[8] = "abcdefg";
    ASSERT_EQ(zarn_circular_buffer_push_back(cb, item), ZARN_OK);
    item[0] = 'X';
    char out[8] = {};
    ASSERT_EQ(zarn_circular_buffer_pop_front(cb, out), ZARN_OK);
    EXPECT_STREQ(out, "abcdefg");
    zarn_circular_buffer_free(cb);
}

TEST(CircularBuffer, RefusesSizesThatOverflowOrAreNegative)
{
    const struct {
        int32_t capacity;
        int32_t item_size;
    } sizes[] = {
        {std::numeric_limits<int32_t>::max(), 4096},
        {65536, 65536},
        {-1, 4},
        {4, -1},
    };
    for (const auto& size : sizes) {
        SCOPED_TRACE(std::to_string(size.capacity) + " x " + std::to_string(size.item_size));
        zarn_circular_buffer* cb = nullptr;
        CaptureStderr();
        EXPECT_EQ(zarn_circular_buffer_create(&cb, size.capacity, size.item_size),
                  ZARN_CIRCULAR_BUFFER_ERROR_ALLOCATE_STORAGE);
        EXPECT_EQ(GetCapturedStderr(), "Zarn error: zarn_circular_buffer_create() : Couldn't allocate internal buffer.\n");
        EXPECT_EQ(cb, nullptr);
    }
}

TEST(CircularBuffer, FreeAcceptsNull)
{
    zarn_circular_buffer_free(nullptr);
}

}  // namespace
