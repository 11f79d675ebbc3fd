#include "zarn_timer.h"

#include <cassert>
#include <cstring>
#include <ctime>

#include "../common/zarn_log.h"
#include "../common/zarn_memory.h"
#include "../zarn_results.h"

int32_t zarn_timer_create(zarn_timer** timer)
{
    assert(timer != nullptr);
    assert(*timer == nullptr);

    zarn_timer* created = static_cast<zarn_timer*>(zarn_malloc(sizeof(zarn_timer)));
    if (created == nullptr) {
        zarn_log_error("zarn_timer_create() : Couldn't allocate timer.");
        return ZARN_TIMER_ERROR_ALLOCATE;
    }
    memset(created, 0, sizeof(*created));
    created->stopped = 1;
    created->delta_time = -1.0;
    created->last_tick_time = 0.0;
    *timer = created;
    return ZARN_OK;
}

double zarn_timer_current_time(zarn_timer* timer)
{
    assert(timer != nullptr);
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1000000000.0;
}

void zarn_timer_reset(zarn_timer* timer)
{
    assert(timer != nullptr);
    timer->stopped = 0;
    timer->last_tick_time = zarn_timer_current_time(timer);
}

void zarn_timer_start(zarn_timer* timer)
{
    assert(timer != nullptr);
    if (timer->stopped != 0) {
        zarn_timer_reset(timer);
    }
}

void zarn_timer_stop(zarn_timer* timer)
{
    assert(timer != nullptr);
    if (timer->stopped == 0) {
        timer->stopped = 1;
    }
}

void zarn_timer_tick(zarn_timer* timer)
{
    assert(timer != nullptr);
    if (timer->stopped != 0) {
        timer->delta_time = 0.0;
        return;
    }
    const double now = zarn_timer_current_time(timer);
    timer->delta_time = now - timer->last_tick_time;
    timer->last_tick_time = now;
}

double zarn_timer_delta_time(zarn_timer* timer)
{
    assert(timer != nullptr);
    return timer->delta_time;
}

void zarn_timer_free(zarn_timer* timer)
{
    if (timer == nullptr) {
        return;
    }
    memset(timer, 0, sizeof(*timer));
    zarn_free(timer);
}
