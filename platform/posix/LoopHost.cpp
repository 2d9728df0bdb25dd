#include "platform/LoopHost.h"

#include "platform/posix/EventLoop.h"

namespace plat {

int LoopBackendFd() { return posix::EventLoop::Instance().BackendFd(); }
int LoopTimeoutMs() { return posix::EventLoop::Instance().TimeoutMs(); }
bool LoopRunReady() { return posix::EventLoop::Instance().RunOnce(0); }

LoopHostIteration InstallLoopHost(LoopHostIteration iterate) {
    return posix::EventLoop::Instance().SetHost(std::move(iterate));
}

}  // namespace plat
