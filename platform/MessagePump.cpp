#include "platform/MessagePump.h"

#include <cstdint>
#include <utility>

#include "platform/Window.h"

namespace plat {

int MessagePump::Run() {
    while (!QuitPending() && TopLevelCount() > 0) Iterate(-1);
    return QuitPending() ? TakeQuit() : 0;
}

void MessagePump::PumpReady() {
    // Bounded so that a handler that keeps re-posting cannot hold us here forever.
    for (int i = 0; i < 64 && Iterate(0); ++i) {
    }
}

bool MessagePump::PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    std::uint64_t end = timeoutMs < 0 ? 0 : TickCount() + static_cast<std::uint64_t>(timeoutMs);
    while (!done()) {
        if (QuitPending()) return false;
        int wait = -1;
        if (timeoutMs >= 0) {
            std::uint64_t now = TickCount();
            if (now >= end) return done();
            wait = static_cast<int>(end - now);
        }
        Iterate(wait);
    }
    return true;
}

bool MessagePump::Iterate(int maxWaitMs) {
    if (!host_) return RunOnce(maxWaitMs);
    LoopHostIteration host = host_;  // the turn may install another host
    return host(maxWaitMs);
}

LoopHostIteration MessagePump::SetHost(LoopHostIteration iterate) {
    LoopHostIteration old = std::move(host_);
    host_ = std::move(iterate);
    return old;
}

void MessagePump::Quit(int code) {
    quit_ = true;
    quitCode_ = code;
    Wake();
}

int MessagePump::TakeQuit() {
    quit_ = false;
    return quitCode_;
}

// ---- platform/Window.h: the loop's waits ---------------------------------------

int RunMessageLoop() { return MessagePump::Instance().Run(); }

void PostQuitMessage(int code) { MessagePump::Instance().Quit(code); }

void PumpMessages() { MessagePump::Instance().PumpReady(); }

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    return MessagePump::Instance().PumpUntil(done, timeoutMs);
}

}  // namespace plat
