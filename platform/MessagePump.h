// The waits of the user-interface thread's message loop, the same on every
// system: running until the last form has gone, dispatching what is ready,
// pumping until a condition holds, and the quit and loop-host state they look
// at. Each system's loop derives from it and supplies one turn of its own
// waiting and dispatching, its count of top-level windows and its wake-up.
//
// Internal to the platform implementations; product code uses platform/Window.h.
#pragma once

#include <functional>

#include "platform/LoopHost.h"

namespace plat {

class MessagePump {
public:
    // This system's loop.
    static MessagePump& Instance();

    MessagePump(const MessagePump&) = delete;
    MessagePump& operator=(const MessagePump&) = delete;

    // RunMessageLoop, PumpMessages and PumpUntil (platform/Window.h).
    int Run();
    void PumpReady();
    bool PumpUntil(const std::function<bool()>& done, int timeoutMs);

    // One turn of the waits: the installed host's turn when there is one,
    // RunOnce otherwise.
    bool Iterate(int maxWaitMs);
    LoopHostIteration SetHost(LoopHostIteration iterate);
    bool HasHost() const { return static_cast<bool>(host_); }

    void Quit(int code);
    bool QuitPending() const { return quit_; }
    int TakeQuit();

    // Waits at most maxWaitMs (negative = no limit) and dispatches what is
    // ready. Returns false when nothing at all was dispatched.
    virtual bool RunOnce(int maxWaitMs) = 0;
    virtual int TopLevelCount() const = 0;
    // Wakes the loop's wait.
    virtual void Wake() = 0;

protected:
    MessagePump() = default;
    ~MessagePump() = default;

private:
    bool quit_ = false;
    int quitCode_ = 0;
    LoopHostIteration host_;
};

}  // namespace plat
