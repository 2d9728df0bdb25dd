// Driving the message loop from another loop (a toolkit's main loop, or a
// Windows message loop), the way an embedder drives an event library: it waits
// on the loop's descriptor with the loop's time-out, alongside its own sources,
// and runs the loop's ready work when either says so.
//
//     for (;;) {
//         wait until LoopBackendFd() is readable, LoopTimeoutMs() has passed,
//             or the host's own sources are ready;
//         run the host's ready sources, and LoopRunReady() when the loop is due;
//     }
//
// The loop's own waits (RunMessageLoop, PumpUntil, PumpMessages and
// WaitForProcessPumping) then have to turn the host's loop rather than block by
// themselves, or the host's windows would freeze while a handler waits: a host
// installs one turn of its loop with InstallLoopHost, and every such wait goes
// through it. With no host installed the loop blocks by itself, as always.
//
// Everything here is called on the user-interface thread.
#pragma once

#include <functional>

namespace plat {

// The one descriptor that becomes readable whenever the loop has work that is not
// on a timer: a message posted from another thread, a quit, a socket's readiness,
// the end of a process that WaitForProcessPumping waits for. Each of those
// registers with this descriptor, so a host watches it alone, never a list.
// On Linux it is an epoll descriptor (watch it for input). Windows has none (-1):
// there the loop's work arrives in the thread's message queue, which a host
// there waits on already (MsgWaitForMultipleObjects, GetMessageA).
int LoopBackendFd();

// Milliseconds until the loop's next due work: 0 while posted messages are queued
// or a timer is overdue, the time to the nearest timer otherwise, -1 when nothing
// is due at all (wait on LoopBackendFd only). Ask again before every wait: posts
// from the user-interface thread itself do not make the descriptor readable.
int LoopTimeoutMs();

// Dispatches what is ready now, without blocking: descriptor notifications,
// posted messages (those queued when it starts, in the order they were posted)
// and due timers. Returns whether anything was dispatched.
bool LoopRunReady();

// One turn of the host's loop. It waits at most `maxWaitMs` milliseconds
// (-1 = no limit, 0 = not at all) for its own sources and for the loop
// (LoopBackendFd readable, LoopTimeoutMs passed), dispatches what is ready, and
// calls LoopRunReady when the loop is due. It returns whether anything was
// dispatched; returning early, with nothing done, is fine (the waits look again).
using LoopHostIteration = std::function<bool(int maxWaitMs)>;

// Installs the host's turn and returns the one it replaces (empty when the loop
// blocked by itself). An empty function goes back to the loop's own waiting.
LoopHostIteration InstallLoopHost(LoopHostIteration iterate);

}  // namespace plat
