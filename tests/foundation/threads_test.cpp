// Threads, mutexes, condition variables and the tick-to-tick timer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/zarn_memory.h"
#include "decoder/zarn_cond_var.h"
#include "decoder/zarn_mutex.h"
#include "decoder/zarn_thread.h"
#include "decoder/zarn_timer.h"
#include "zarn_results.h"

namespace {

// Timing tolerances are generous: the machine may be busy with other work.
constexpr double SLACK = 0.08;

void sleep_seconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

struct Timer {
    zarn_timer* timer = nullptr;
    Timer() { EXPECT_EQ(zarn_timer_create(&timer), ZARN_OK); }
    ~Timer() { zarn_timer_free(timer); }
    double tick()
    {
        zarn_timer_tick(timer);
        return zarn_timer_delta_time(timer);
    }
};

TEST(Timer, NewTimerIsStoppedAndTicksZero)
{
    Timer t;
    EXPECT_EQ(t.timer->stopped, 1);
    EXPECT_EQ(zarn_timer_delta_time(t.timer), -1.0);
    EXPECT_EQ(t.tick(), 0.0);
}

TEST(Timer, TickMeasuresSinceResetThenSinceLastTick)
{
    Timer t;
    zarn_timer_reset(t.timer);
    sleep_seconds(0.1);
    const double first = t.tick();
    EXPECT_GE(first, 0.1 - 0.005);
    EXPECT_LT(first, 0.1 + SLACK);
    EXPECT_LT(t.tick(), 0.02);
}

TEST(Timer, StopFreezesAndStartCountsOnlyFromStart)
{
    Timer t;
    zarn_timer_reset(t.timer);
    zarn_timer_stop(t.timer);
    sleep_seconds(0.1);
    EXPECT_EQ(t.tick(), 0.0);
    zarn_timer_start(t.timer);
    sleep_seconds(0.05);
    const double delta = t.tick();
    EXPECT_GE(delta, 0.05 - 0.005);
    EXPECT_LT(delta, 0.05 + SLACK);
}

TEST(Timer, StartWhileRunningKeepsTheFirstStart)
{
    Timer t;
    zarn_timer_start(t.timer);
    sleep_seconds(0.05);
    zarn_timer_start(t.timer);
    sleep_seconds(0.05);
    const double delta = t.tick();
    EXPECT_GE(delta, 0.1 - 0.005);
    EXPECT_LT(delta, 0.1 + SLACK);
}

struct Handshake {
    zarn_mutex* mutex = nullptr;
    zarn_cond_var* cond_var = nullptr;
    std::atomic<int> value{0};
    bool ready = false;  // guarded by mutex
};

void* signal_ready(void* argument)
{
    Handshake* h = static_cast<Handshake*>(argument);
    zarn_thread_sleep(20);
    zarn_mutex_lock(h->mutex);
    h->value = 42;
    h->ready = true;
    zarn_mutex_unlock(h->mutex);
    zarn_cond_var_signal(h->cond_var);
    zarn_thread_exit(nullptr);
}

TEST(Thread, RunsWaitsAndJoinsOnFree)
{
    Handshake h;
    ASSERT_EQ(zarn_mutex_create(&h.mutex), ZARN_OK);
    ASSERT_EQ(zarn_cond_var_create(&h.cond_var), ZARN_OK);
    zarn_thread* thread = nullptr;
    ASSERT_EQ(zarn_thread_create(&thread, signal_ready, &h), ZARN_OK);

    zarn_mutex_lock(h.mutex);
    while (!h.ready) {
        zarn_cond_var_wait(h.cond_var, h.mutex);
    }
    zarn_mutex_unlock(h.mutex);
    EXPECT_EQ(h.value, 42);

    zarn_thread_free(thread);
    zarn_cond_var_free(h.cond_var);
    zarn_mutex_free(h.mutex);
}

TEST(Thread, FreeOfANeverStartedThreadOnlyReleases)
{
    zarn_thread* thread = static_cast<zarn_thread*>(zarn_malloc(sizeof(zarn_thread)));
    *thread = zarn_thread{};
    zarn_thread_free(thread);  // must not join
    zarn_thread_free(nullptr);
}

TEST(Thread, SleepSuspendsAtLeastTheGivenMilliseconds)
{
    const auto start = std::chrono::steady_clock::now();
    zarn_thread_sleep(1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::microseconds(1000));
}

}  // namespace
