// A POSIX condition variable. There is no broadcast and no timed wait; a
// wait may return on any wake-up, so callers re-test their own condition.
#pragma once

#include <cstdint>
#include <pthread.h>

#include "zarn_mutex.h"

struct zarn_cond_var {
    pthread_cond_t cond_var;
};

// 0, ZARN_COND_VAR_ERROR_ALLOCATE or ZARN_COND_VAR_ERROR_INITIALISE.
int32_t zarn_cond_var_create(zarn_cond_var** cond_var);
int zarn_cond_var_signal(zarn_cond_var* cond_var);
// Waits, releasing the caller's locked `mutex` and holding it again on return.
int zarn_cond_var_wait(zarn_cond_var* cond_var, zarn_mutex* mutex);
void zarn_cond_var_free(zarn_cond_var* cond_var);
