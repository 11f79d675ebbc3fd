#include "zarn_thread.h"

#include <cassert>
#include <cstring>
#include <unistd.h>

#include "../common/zarn_log.h"
#include "../common/zarn_memory.h"
#include "../zarn_results.h"

int32_t zarn_thread_create(zarn_thread** thread, zarn_thread_function function, void* argument)
{
    assert(thread != nullptr);
    assert(*thread == nullptr);
    assert(function != nullptr);

    zarn_thread* created = static_cast<zarn_thread*>(zarn_malloc(sizeof(zarn_thread)));
    if (created == nullptr) {
        zarn_log_error("zarn_thread_create() - Couldn't allocate thread.");
        return ZARN_THREAD_ERROR_ALLOCATE;
    }
    memset(created, 0, sizeof(*created));
    if (pthread_create(&created->id, nullptr, function, argument) != 0) {
        zarn_log_error("zarn_thread_create() - Couldn't create thread.");
        zarn_thread_free(created);
        return ZARN_THREAD_ERROR_CREATE;
    }
    created->started = true;
    *thread = created;
    return ZARN_OK;
}

void zarn_thread_free(zarn_thread* thread)
{
    if (thread == nullptr) {
        return;
    }
    if (thread->started) {
        pthread_join(thread->id, nullptr);
    }
    memset(thread, 0, sizeof(*thread));
    zarn_free(thread);
}

void zarn_thread_exit(void* result)
{
    pthread_exit(result);
}

void zarn_thread_sleep(uint32_t milliseconds)
{
    usleep(static_cast<useconds_t>(milliseconds) * 1000);
}
