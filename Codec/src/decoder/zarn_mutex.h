// A plain (non-recursive) POSIX mutex.
#pragma once

#include <cstdint>
#include <pthread.h>

struct zarn_mutex {
    pthread_mutex_t mutex;
};

// 0, ZARN_MUTEX_ERROR_ALLOCATE or ZARN_MUTEX_ERROR_INITIALISE.
int32_t zarn_mutex_create(zarn_mutex** mutex);
int zarn_mutex_lock(zarn_mutex* mutex);
int zarn_mutex_unlock(zarn_mutex* mutex);
void zarn_mutex_free(zarn_mutex* mutex);
