// A joinable POSIX thread. Freeing the object joins the thread, so its owner
// first makes the thread leave its loop; a thread never frees itself.
#pragma once

#include <cstdint>
#include <pthread.h>

typedef void* (*zarn_thread_function)(void* argument);

struct zarn_thread {
    pthread_t id;     // 0 until the thread has been started
    bool started;
};

// 0, ZARN_THREAD_ERROR_ALLOCATE or ZARN_THREAD_ERROR_CREATE.
int32_t zarn_thread_create(zarn_thread** thread, zarn_thread_function function, void* argument);
// Joins the thread if it was started, then releases the object. Accepts null.
void zarn_thread_free(zarn_thread* thread);
[[noreturn]] void zarn_thread_exit(void* result);
void zarn_thread_sleep(uint32_t milliseconds);
