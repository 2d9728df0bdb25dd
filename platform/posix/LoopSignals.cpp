// SIGINT, SIGTERM and SIGHUP as the loop's messages (platform/LoopSignals.h).
// The signal handler only writes the signal's number to a pipe that the loop
// watches; the loop reads it and runs the registered handler.
#include "platform/LoopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/posix/EventLoop.h"

namespace plat {

namespace {

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_interruptPending = 0;

std::function<bool()>& Handler(LoopSignal signal) {
    static std::function<bool()> interrupt, terminate;
    return signal == LoopSignal::Interrupt ? interrupt : terminate;
}

void OnSignal(int sig) {
    if (sig == SIGINT) {
        if (g_interruptPending) _exit(128 + SIGINT);
        g_interruptPending = 1;
    }
    int saved = errno;
    char c = static_cast<char>(sig);
    ssize_t r = write(g_pipe[1], &c, 1);
    (void)r;
    errno = saved;
}

// Nothing of ours to stop: the signal does what it always does.
void DefaultAction(int sig) {
    signal(sig, SIG_DFL);
    raise(sig);
}

void OnSignalsArrived() {
    char buf[64];
    ssize_t n;
    while ((n = read(g_pipe[0], buf, sizeof buf)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            const int sig = static_cast<unsigned char>(buf[i]);
            if (sig == SIGINT) g_interruptPending = 0;
            const auto& handler = Handler(sig == SIGINT ? LoopSignal::Interrupt : LoopSignal::Terminate);
            if (!handler || !handler()) DefaultAction(sig);
        }
    }
}

bool Install() {
    if (pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    posix::EventLoop::Instance().Watch(g_pipe[0], EPOLLIN, [](std::uint32_t) { OnSignalsArrived(); });
    return true;
}

}  // namespace

void OnLoopSignal(LoopSignal which, std::function<bool()> handler) {
    static const bool installed = Install();
    if (!installed) return;
    Handler(which) = std::move(handler);
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    // Started programs get every signal's default back (platform/posix/Process.cpp).
    if (which == LoopSignal::Interrupt) {
        sigaction(SIGINT, &sa, nullptr);
    } else {
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGHUP, &sa, nullptr);
    }
}

}  // namespace plat
