// The hidden window through which the control host receives its timer ticks and
// runs deferred work on the user-interface thread.
#pragma once

#include <functional>
#include <map>

#include "platform/Types.h"

namespace nl {

class HostWindow {
public:
    static HostWindow& Instance();

    plat::HWND Handle() const { return hwnd_; }

    // Timers: a tick of `id` calls the callback registered for it. Ids are unique
    // for the life of the process.
    plat::UINT AddTimerTarget(std::function<void()> onTick);
    void RemoveTimerTarget(plat::UINT id);

    // Runs `fn` later from the message loop (used to release objects after the
    // handler that asked for it has returned).
    void RunLater(std::function<void()> fn);

private:
    HostWindow();
    static plat::LRESULT Proc(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM);

    plat::HWND hwnd_ = 0;
    plat::UINT nextId_ = 1;
    std::map<plat::UINT, std::function<void()>> timers_;
    std::map<plat::WPARAM, std::function<void()>> later_;
    plat::WPARAM nextLater_ = 1;
};

}  // namespace nl
