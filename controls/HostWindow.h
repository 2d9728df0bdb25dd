// The hidden window through which the control host receives the ticks of every
// control's timers on the user-interface thread.
#pragma once

#include <functional>
#include <map>

#include "platform/Types.h"

namespace nl {

class HostWindow {
public:
    static HostWindow& Instance();

    plat::HWND Handle() const { return hwnd_; }

    // A tick of timer `id` calls the callback registered for it. Ids are unique
    // for the life of the process.
    plat::UINT AddTimerTarget(std::function<void()> onTick);
    void RemoveTimerTarget(plat::UINT id);

private:
    HostWindow();
    static plat::LRESULT Proc(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM);

    plat::HWND hwnd_ = 0;
    plat::UINT nextId_ = 1;
    std::map<plat::UINT, std::function<void()>> timers_;
};

}  // namespace nl
