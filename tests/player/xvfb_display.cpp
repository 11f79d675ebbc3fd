#include "xvfb_display.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

bool XvfbDisplay::start()
{
    int fds[2];
    if (pipe(fds) != 0) {
        return false;
    }
    pid = fork();
    if (pid < 0) {
        return false;
    }
    if (pid == 0) {
        // The server goes with the test, also when the test crashes.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(fds[0]);
        const int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        const std::string fd = std::to_string(fds[1]);
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd waitFor = {fds[0], POLLIN, 0};
    while (poll(&waitFor, 1, 20000) > 0) {
        char c = 0;
        const ssize_t got = read(fds[0], &c, 1);
        if (got <= 0 || c == '\n') {
            break;
        }
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        stop();
        return false;
    }
    display = ":" + number;
    return true;
}

void XvfbDisplay::stop()
{
    if (pid > 0) {
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
    }
}

void usePlayerTestEnvironment(const XvfbDisplay& xvfb, const std::string& scratchDir)
{
    setenv("DISPLAY", xvfb.name().c_str(), 1);
    setenv("GDK_BACKEND", "x11", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    setenv("NO_AT_BRIDGE", "1", 1);
    const std::string alsa = scratchDir + "/alsa-null.conf";
    if (FILE* f = std::fopen(alsa.c_str(), "w")) {
        std::fputs("pcm.!default { type null }\n", f);
        std::fclose(f);
    }
    setenv("ALSA_CONFIG_PATH", ("/usr/share/alsa/alsa.conf:" + alsa).c_str(), 1);
}
