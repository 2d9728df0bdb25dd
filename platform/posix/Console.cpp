#include "platform/Console.h"

#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <initializer_list>

namespace plat {

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

bool StdinIsTerminal() { return isatty(STDIN_FILENO) == 1; }

bool StdoutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

// A Linux program always has the streams its starter gave it.
void UseStartersConsole() {}

int StderrColumns() {
    winsize ws{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
}

void SetStdoutBinary() { signal(SIGPIPE, SIG_IGN); }

namespace {

volatile sig_atomic_t g_caught = 0;

void Record(int sig) {
    // A second one ends the process at once.
    if (g_caught != 0) _exit(128 + g_caught);
    g_caught = sig;
}

}  // namespace

void CatchInterrupts() {
    struct sigaction sa {};
    sa.sa_handler = Record;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no restart: a wait in poll() returns at once
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
}

int InterruptExitCode() { return g_caught != 0 ? 128 + g_caught : 0; }

}  // namespace plat
