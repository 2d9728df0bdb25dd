#include "platform/LoopHost.h"

#include "platform/win32/MessageLoop.h"

namespace plat {

// On Windows the loop's work all arrives in the thread's message queue, which a
// host waits on already; there is no descriptor.
int LoopBackendFd() { return -1; }

int LoopTimeoutMs() {
    // Anything in the queue (posted messages, due timers, input) is due now; the
    // rest arrives in the queue, which the host watches.
    return HIWORD(::GetQueueStatus(QS_ALLINPUT)) != 0 ? 0 : -1;
}

bool LoopRunReady() { return win32::MessageLoop::Instance().RunReady(); }

LoopHostIteration InstallLoopHost(LoopHostIteration iterate) {
    return win32::MessageLoop::Instance().SetHost(std::move(iterate));
}

}  // namespace plat
