#include "zarn_cond_var.h"

#include <cassert>
#include <cstring>

#include "../common/zarn_log.h"
#include "../common/zarn_memory.h"
#include "../zarn_results.h"

int32_t zarn_cond_var_create(zarn_cond_var** cond_var)
{
    assert(cond_var != nullptr);
    assert(*cond_var == nullptr);

    zarn_cond_var* created = static_cast<zarn_cond_var*>(zarn_malloc(sizeof(zarn_cond_var)));
    if (created == nullptr) {
        zarn_log_error("zarn_cond_var_create() : Couldn't allocate condition variable.");
        return ZARN_COND_VAR_ERROR_ALLOCATE;
    }
    memset(created, 0, sizeof(*created));
    if (pthread_cond_init(&created->cond_var, nullptr) != 0) {
        zarn_log_error("zarn_cond_var_create() : Couldn't initialise condition variable.");
        zarn_free(created);
        return ZARN_COND_VAR_ERROR_INITIALISE;
    }
    *cond_var = created;
    return ZARN_OK;
}

int zarn_cond_var_signal(zarn_cond_var* cond_var)
{
    assert(cond_var != nullptr);
    return pthread_cond_signal(&cond_var->cond_var);
}

int zarn_cond_var_wait(zarn_cond_var* cond_var, zarn_mutex* mutex)
{
    assert(cond_var != nullptr);
    assert(mutex != nullptr);
    return pthread_cond_wait(&cond_var->cond_var, &mutex->mutex);
}

void zarn_cond_var_free(zarn_cond_var* cond_var)
{
    if (cond_var == nullptr) {
        return;
    }
    pthread_cond_destroy(&cond_var->cond_var);
    memset(cond_var, 0, sizeof(*cond_var));
    zarn_free(cond_var);
}
