#include "zarn_circular_buffer.h"

#include <cassert>
#include <cstring>
#include <limits>

#include "../common/zarn_log.h"
#include "../common/zarn_memory.h"
#include "../zarn_results.h"

int32_t zarn_circular_buffer_create(zarn_circular_buffer** cb, int32_t capacity, int32_t item_size)
{
    assert(cb != nullptr);
    assert(*cb == nullptr);

    *cb = static_cast<zarn_circular_buffer*>(zarn_malloc(sizeof(zarn_circular_buffer)));
    if (*cb == nullptr) {
        zarn_log_error("zarn_circular_buffer_create() : Couldn't allocate circular buffer.");
        return ZARN_CIRCULAR_BUFFER_ERROR_ALLOCATE;
    }
    memset(*cb, 0, sizeof(**cb));

    // A size that is negative or does not fit the 32-bit count is refused
    // like a failed allocation, rather than wrapping to a wrong size.
    const int64_t storage_size = static_cast<int64_t>(capacity) * item_size;
    const bool size_ok = capacity >= 0 && item_size >= 0 &&
                         storage_size <= std::numeric_limits<int32_t>::max();
    // Capacity 0 still gets a (one-byte) allocation so `buffer` is never null.
    (*cb)->buffer = size_ok ? static_cast<uint8_t*>(zarn_malloc(storage_size > 0 ? storage_size : 1))
                            : nullptr;
    if ((*cb)->buffer == nullptr) {
        zarn_log_error("zarn_circular_buffer_create() : Couldn't allocate internal buffer.");
        zarn_circular_buffer_free(*cb);
        *cb = nullptr;
        return ZARN_CIRCULAR_BUFFER_ERROR_ALLOCATE_STORAGE;
    }

    (*cb)->buffer_end = (*cb)->buffer + storage_size;
    (*cb)->capacity = capacity;
    (*cb)->item_size = item_size;
    zarn_circular_buffer_clear(*cb);
    return ZARN_OK;
}

int32_t zarn_circular_buffer_push_back(zarn_circular_buffer* cb, const void* item)
{
    assert(cb != nullptr);
    assert(item != nullptr);

    if (cb->count == cb->capacity) {
        zarn_log_error("zarn_circular_buffer_push_back() : No space to push item.");
        return ZARN_CIRCULAR_BUFFER_ERROR_FULL;
    }
    memcpy(cb->back, item, cb->item_size);
    cb->back += cb->item_size;
    if (cb->back == cb->buffer_end) {
        cb->back = cb->buffer;
    }
    ++cb->count;
    return ZARN_OK;
}

int32_t zarn_circular_buffer_pop_front(zarn_circular_buffer* cb, void* item)
{
    assert(cb != nullptr);
    assert(item != nullptr);

    if (cb->count == 0) {
        zarn_log_error("zarn_circular_buffer_pop_front() : No item to pop.");
        return ZARN_CIRCULAR_BUFFER_ERROR_EMPTY;
    }
    memcpy(item, cb->front, cb->item_size);
    cb->front += cb->item_size;
    if (cb->front == cb->buffer_end) {
        cb->front = cb->buffer;
    }
    --cb->count;
    return ZARN_OK;
}

void zarn_circular_buffer_clear(zarn_circular_buffer* cb)
{
    assert(cb != nullptr);
    cb->count = 0;
    cb->front = cb->buffer;
    cb->back = cb->buffer;
}

void zarn_circular_buffer_free(zarn_circular_buffer* cb)
{
    if (cb == nullptr) {
        return;
    }
    if (cb->buffer != nullptr) {
        zarn_free(cb->buffer);
    }
    memset(cb, 0, sizeof(*cb));
    zarn_free(cb);
}
