// The playback timer: a tick-to-tick stopwatch on the wall clock. It keeps no
// total; the decoder adds each tick's delta to its own playback clock. While
// stopped every tick yields 0.0, so a pause does not count.
#pragma once

#include <cstdint>

struct zarn_timer {
    int32_t stopped;        // 1 while stopped (also after creation), 0 while running
    double delta_time;      // seconds between the two latest ticks; -1.0 after creation
    double last_tick_time;  // wall-clock reading the next delta is measured from
};

// 0 or ZARN_TIMER_ERROR_ALLOCATE.
int32_t zarn_timer_create(zarn_timer** timer);
// Seconds on the real-time (wall) clock.
double zarn_timer_current_time(zarn_timer* timer);
// Sets the timer running from now.
void zarn_timer_reset(zarn_timer* timer);
// From stopped: as reset. Running: nothing.
void zarn_timer_start(zarn_timer* timer);
void zarn_timer_stop(zarn_timer* timer);
// Measures the time since the last tick (0.0 while stopped).
void zarn_timer_tick(zarn_timer* timer);
double zarn_timer_delta_time(zarn_timer* timer);
void zarn_timer_free(zarn_timer* timer);
