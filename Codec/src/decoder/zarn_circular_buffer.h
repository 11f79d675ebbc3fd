// A fixed-capacity FIFO of fixed-size items, copied in and out by value. It
// has no lock: every user guards push, pop and clear with a mutex of its own.
// Users read `count` and `capacity` directly.
#pragma once

#include <cstdint>

struct zarn_circular_buffer {
    uint8_t* buffer;      // capacity * item_size bytes
    uint8_t* buffer_end;  // one past the last byte of the storage
    int32_t capacity;     // item slots
    int32_t count;        // items held
    int32_t item_size;    // bytes per item
    uint8_t* back;        // slot the next pushed item goes into
    uint8_t* front;       // oldest item, the next to pop
};

// 0, ZARN_CIRCULAR_BUFFER_ERROR_ALLOCATE, or
// ZARN_CIRCULAR_BUFFER_ERROR_ALLOCATE_STORAGE (also for a negative capacity or
// item size, or a storage size that does not fit 32 bits).
int32_t zarn_circular_buffer_create(zarn_circular_buffer** cb, int32_t capacity, int32_t item_size);
// 0 or ZARN_CIRCULAR_BUFFER_ERROR_FULL.
int32_t zarn_circular_buffer_push_back(zarn_circular_buffer* cb, const void* item);
// 0 or ZARN_CIRCULAR_BUFFER_ERROR_EMPTY (then `item` is untouched).
int32_t zarn_circular_buffer_pop_front(zarn_circular_buffer* cb, void* item);
void zarn_circular_buffer_clear(zarn_circular_buffer* cb);
void zarn_circular_buffer_free(zarn_circular_buffer* cb);
