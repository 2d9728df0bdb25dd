#include "support/HostWindow.h"

#include "platform/Window.h"

namespace nl {

namespace {
constexpr plat::UINT kRunLater = plat::WM_USER + 1;
}

HostWindow& HostWindow::Instance() {
    // Never destroyed: work queued for later may still hold objects at exit, and
    // releasing them during static destruction would reach services already gone.
    static HostWindow* instance = new HostWindow;
    return *instance;
}

HostWindow::HostWindow() {
    hwnd_ = plat::CreateMessageWindow("NovalinkControlHost");
    plat::SetWindowProc(hwnd_, &HostWindow::Proc);
}

plat::UINT HostWindow::AddTimerTarget(std::function<void()> onTick) {
    plat::UINT id = nextId_++;
    timers_[id] = std::move(onTick);
    return id;
}

void HostWindow::RemoveTimerTarget(plat::UINT id) {
    plat::KillTimer(hwnd_, id);
    timers_.erase(id);
}

void HostWindow::RunLater(std::function<void()> fn) {
    plat::WPARAM key = nextLater_++;
    later_[key] = std::move(fn);
    plat::PostMessage(hwnd_, kRunLater, key, 0);
}

plat::LRESULT HostWindow::Proc(plat::HWND, plat::UINT msg, plat::WPARAM w, plat::LPARAM) {
    HostWindow& self = Instance();
    if (msg == plat::WM_TIMER) {
        auto it = self.timers_.find(static_cast<plat::UINT>(w));
        if (it == self.timers_.end()) return 0;
        // The callback may remove its own timer; run a copy.
        auto fn = it->second;
        if (fn) fn();
    } else if (msg == kRunLater) {
        auto it = self.later_.find(w);
        if (it == self.later_.end()) return 0;
        auto fn = std::move(it->second);
        self.later_.erase(it);
        if (fn) fn();
    }
    return 0;
}

}  // namespace nl
