// A service of the user-interface thread's message loop, on every system: the
// requests from outside to stop the run (Ctrl+C, and the requests to end), each
// delivered as one of the loop's messages to the handler registered for it. The
// system's own handler only notes the request and wakes the loop; nothing runs
// in a signal handler or on the system's thread.
//
// Internal to platform/; what a run does about them is the forms' model's
// (platform/FrontEndSystem.h), registered where the front end is chosen.
#pragma once

#include <functional>

namespace plat {

enum class LoopSignal {
    // Ctrl+C: SIGINT; on Windows the console's Ctrl+C.
    Interrupt,
    // The run is asked to end: SIGTERM and SIGHUP; on Windows the console's
    // Ctrl+Break, its close, log-off and shut-down.
    Terminate,
};

// From now on `signal` runs `handler` from the loop, each time it comes;
// registering again replaces the handler. A handler that returns false had
// nothing to stop: the process then ends as that signal ends a program that does
// not catch it. While an interrupt is still waiting for the loop (a handler is
// stuck), a second one ends the process at once.
//
// On Windows the console's events reach a process on a console: a windowed
// program started from one, and handed its input and output, joins its
// starter's console, keeping the handles it was handed.
void OnLoopSignal(LoopSignal signal, std::function<bool()> handler);

}  // namespace plat
