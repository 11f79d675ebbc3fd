// An Xvfb X server of the test's own, on a free display number.
#pragma once

#include <string>
#include <sys/types.h>

class XvfbDisplay {
public:
    // Starts Xvfb with -displayfd and waits until it reports its display.
    bool start();
    void stop();
    ~XvfbDisplay() { stop(); }

    // ":N", valid after start() returned true.
    const std::string& name() const { return display; }

private:
    pid_t pid = -1;
    std::string display;
};

// The environment the player needs on that display: software GL and a null
// ALSA device (configuration written to `scratchDir`).
void usePlayerTestEnvironment(const XvfbDisplay& xvfb, const std::string& scratchDir);
