#include "controls/Timer.h"

#include "platform/Window.h"
#include "controls/HostWindow.h"

namespace nl {

Timer::Timer() {
    id_ = HostWindow::Instance().AddTimerTarget([this] {
        // The handler may destroy this timer; it runs from a copy, and nothing of
        // the timer is touched after it.
        life_.Fire([&] {
            auto fn = OnTimer;
            if (fn) fn();
        });
    });
}

Timer::~Timer() { HostWindow::Instance().RemoveTimerTarget(id_); }

void Timer::SetInterval(std::int32_t ms) {
    interval_ = ms < 0 ? 0 : ms;
    Apply();
}

void Timer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Apply();
}

void Timer::Apply() {
    const plat::HWND h = HostWindow::Instance().Handle();
    if (enabled_ && interval_ > 0)
        plat::SetTimer(h, id_, static_cast<plat::UINT>(interval_));
    else
        plat::KillTimer(h, id_);
}

}  // namespace nl
