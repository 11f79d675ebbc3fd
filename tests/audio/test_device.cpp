// A playback device for the audio tests, loaded by ALSA as an external PCM
// plugin (type zarn_test_device). Unlike `null` and `file`, it plays at real
// speed: frames leave its buffer at the configured rate from the moment it is
// started, so a blocking write waits for room as on a sound card, and when
// the buffer runs dry the device underruns (XRUN). Like the kernel, it
// refuses to start with nothing to play.
//
// Configuration:
//   pcm.NAME { type zarn_test_device  stall_file "/path"  stall_ms 800 }
// When `stall_file` exists at a write, the device deletes it and holds that
// write for `stall_ms` while it keeps playing, as a writer that was not
// scheduled in time: the buffer runs dry and the device underruns.
#include <alsa/asoundlib.h>
#include <alsa/pcm_external.h>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {

struct test_device {
    snd_pcm_ioplug_t io;
    int timer_fd = -1;
    std::string stall_file;
    long stall_ms = 0;
    // Frames accepted since the last prepare, and frames played before the
    // current run (paused time does not count).
    uint64_t written = 0;
    uint64_t played_before = 0;
    bool clock_running = false;
    timespec run_start{};
};

double seconds_since(const timespec& start)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec - start.tv_sec) + (now.tv_nsec - start.tv_nsec) / 1e9;
}

uint64_t played(const test_device* device)
{
    uint64_t frames = device->played_before;
    if (device->clock_running) {
        frames += static_cast<uint64_t>(seconds_since(device->run_start) * device->io.rate);
    }
    return frames;
}

void start_clock(test_device* device)
{
    clock_gettime(CLOCK_MONOTONIC, &device->run_start);
    device->clock_running = true;
}

void stop_clock(test_device* device)
{
    device->played_before = played(device);
    device->clock_running = false;
}

test_device* device_of(snd_pcm_ioplug_t* io)
{
    return static_cast<test_device*>(io->private_data);
}

int device_start(snd_pcm_ioplug_t* io)
{
    test_device* device = device_of(io);
    if (device->written <= device->played_before) {
        return -EPIPE;
    }
    start_clock(device);
    return 0;
}

int device_stop(snd_pcm_ioplug_t* io)
{
    stop_clock(device_of(io));
    return 0;
}

int device_pause(snd_pcm_ioplug_t* io, int enable)
{
    test_device* device = device_of(io);
    if (enable) {
        stop_clock(device);
    } else {
        start_clock(device);
    }
    return 0;
}

snd_pcm_sframes_t device_pointer(snd_pcm_ioplug_t* io)
{
    test_device* device = device_of(io);
    const uint64_t position = played(device);
    if (device->clock_running && position > device->written) {
        stop_clock(device);
        snd_pcm_ioplug_set_state(io, SND_PCM_STATE_XRUN);
        return -EPIPE;
    }
    // With SND_PCM_IOPLUG_FLAG_BOUNDARY_WA the position runs up to the
    // boundary instead of wrapping at the buffer size.
    return static_cast<snd_pcm_sframes_t>(position);
}

snd_pcm_sframes_t device_transfer(snd_pcm_ioplug_t* io, const snd_pcm_channel_area_t*, snd_pcm_uframes_t,
                                  snd_pcm_uframes_t size)
{
    test_device* device = device_of(io);
    if (!device->stall_file.empty() && unlink(device->stall_file.c_str()) == 0) {
        usleep(static_cast<useconds_t>(device->stall_ms) * 1000);
    }
    device->written += size;
    return static_cast<snd_pcm_sframes_t>(size);
}

int device_prepare(snd_pcm_ioplug_t* io)
{
    test_device* device = device_of(io);
    device->written = 0;
    device->played_before = 0;
    device->clock_running = false;
    return 0;
}

// The timer descriptor wakes a waiting writer every 2 ms; ALSA then looks at
// the pointer again.
int device_poll_revents(snd_pcm_ioplug_t* io, struct pollfd* pfd, unsigned int nfds, unsigned short* revents)
{
    test_device* device = device_of(io);
    uint64_t expirations = 0;
    if (read(device->timer_fd, &expirations, sizeof(expirations)) < 0 && errno != EAGAIN) {
        return -errno;
    }
    *revents = 0;
    for (unsigned int i = 0; i < nfds; ++i) {
        if (pfd[i].revents & (POLLERR | POLLNVAL)) {
            *revents |= POLLERR;
        }
    }
    *revents |= POLLOUT;
    return 0;
}

int device_close(snd_pcm_ioplug_t* io)
{
    test_device* device = device_of(io);
    if (device->timer_fd >= 0) {
        close(device->timer_fd);
    }
    delete device;
    return 0;
}

const snd_pcm_ioplug_callback_t device_callbacks = [] {
    snd_pcm_ioplug_callback_t callbacks{};
    callbacks.start = device_start;
    callbacks.stop = device_stop;
    callbacks.pointer = device_pointer;
    callbacks.transfer = device_transfer;
    callbacks.close = device_close;
    callbacks.prepare = device_prepare;
    callbacks.pause = device_pause;
    callbacks.poll_revents = device_poll_revents;
    return callbacks;
}();

int set_constraints(snd_pcm_ioplug_t* io)
{
    static const unsigned int access[] = {SND_PCM_ACCESS_RW_INTERLEAVED};
    static const unsigned int formats[] = {SND_PCM_FORMAT_S16_LE};
    int err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_ACCESS, 1, access);
    if (err >= 0) {
        err = snd_pcm_ioplug_set_param_list(io, SND_PCM_IOPLUG_HW_FORMAT, 1, formats);
    }
    if (err >= 0) {
        err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_CHANNELS, 1, 8);
    }
    if (err >= 0) {
        err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_RATE, 8000, 192000);
    }
    if (err >= 0) {
        err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIOD_BYTES, 64, 1024 * 1024);
    }
    if (err >= 0) {
        err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_PERIODS, 2, 64);
    }
    if (err >= 0) {
        err = snd_pcm_ioplug_set_param_minmax(io, SND_PCM_IOPLUG_HW_BUFFER_BYTES, 128, 8 * 1024 * 1024);
    }
    return err;
}

}  // namespace

extern "C" SND_PCM_PLUGIN_DEFINE_FUNC(zarn_test_device)
{
    (void)root;
    if (stream != SND_PCM_STREAM_PLAYBACK) {
        return -EINVAL;
    }
    test_device* device = new test_device();
    snd_config_iterator_t i, next;
    snd_config_for_each(i, next, conf)
    {
        snd_config_t* entry = snd_config_iterator_entry(i);
        const char* id = nullptr;
        if (snd_config_get_id(entry, &id) < 0) {
            continue;
        }
        if (strcmp(id, "comment") == 0 || strcmp(id, "type") == 0 || strcmp(id, "hint") == 0) {
            continue;
        }
        if (strcmp(id, "stall_file") == 0) {
            const char* value = nullptr;
            if (snd_config_get_string(entry, &value) == 0) {
                device->stall_file = value;
                continue;
            }
        }
        if (strcmp(id, "stall_ms") == 0) {
            long value = 0;
            if (snd_config_get_integer(entry, &value) == 0) {
                device->stall_ms = value;
                continue;
            }
        }
        SNDERR("zarn_test_device: unknown or bad field %s", id);
        delete device;
        return -EINVAL;
    }

    device->timer_fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (device->timer_fd < 0) {
        const int err = -errno;
        delete device;
        return err;
    }
    itimerspec interval{};
    interval.it_interval.tv_nsec = 2000000;
    interval.it_value.tv_nsec = 2000000;
    timerfd_settime(device->timer_fd, 0, &interval, nullptr);

    device->io.version = SND_PCM_IOPLUG_VERSION;
    device->io.name = "Zarn test device";
    device->io.callback = &device_callbacks;
    device->io.private_data = device;
    device->io.poll_fd = device->timer_fd;
    device->io.poll_events = POLLIN;
    device->io.mmap_rw = 0;
    device->io.flags = SND_PCM_IOPLUG_FLAG_BOUNDARY_WA;

    int err = snd_pcm_ioplug_create(&device->io, name, stream, mode);
    if (err < 0) {
        close(device->timer_fd);
        delete device;
        return err;
    }
    err = set_constraints(&device->io);
    if (err < 0) {
        snd_pcm_ioplug_delete(&device->io);
        return err;
    }
    *pcmp = device->io.pcm;
    return 0;
}

extern "C" {
SND_PCM_PLUGIN_SYMBOL(zarn_test_device);
}
