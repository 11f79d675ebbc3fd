#include "zarn_mutex.h"

#include <cassert>
#include <cstring>

#include "../common/zarn_log.h"
#include "../common/zarn_memory.h"
#include "../zarn_results.h"

int32_t zarn_mutex_create(zarn_mutex** mutex)
{
    assert(mutex != nullptr);
    assert(*mutex == nullptr);

    zarn_mutex* created = static_cast<zarn_mutex*>(zarn_malloc(sizeof(zarn_mutex)));
    if (created == nullptr) {
        zarn_log_error("zarn_mutex_create() : Couldn't allocate mutex.");
        return ZARN_MUTEX_ERROR_ALLOCATE;
    }
    memset(created, 0, sizeof(*created));
    if (pthread_mutex_init(&created->mutex, nullptr) != 0) {
        zarn_log_error("zarn_mutex_create() : Couldn't initialise mutex.");
        zarn_free(created);
        return ZARN_MUTEX_ERROR_INITIALISE;
    }
    *mutex = created;
    return ZARN_OK;
}

int zarn_mutex_lock(zarn_mutex* mutex)
{
    assert(mutex != nullptr);
    return pthread_mutex_lock(&mutex->mutex);
}

int zarn_mutex_unlock(zarn_mutex* mutex)
{
    assert(mutex != nullptr);
    return pthread_mutex_unlock(&mutex->mutex);
}

void zarn_mutex_free(zarn_mutex* mutex)
{
    if (mutex == nullptr) {
        return;
    }
    pthread_mutex_destroy(&mutex->mutex);
    memset(mutex, 0, sizeof(*mutex));
    zarn_free(mutex);
}
