#include "controls/HostWindow.h"

#include "platform/Window.h"

namespace nl {

HostWindow& HostWindow::Instance() {
    // Never destroyed: timers of controls that outlive main() stay harmless.
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

plat::LRESULT HostWindow::Proc(plat::HWND, plat::UINT msg, plat::WPARAM w, plat::LPARAM) {
    if (msg != plat::PL_WM_TIMER) return 0;
    HostWindow& self = Instance();
    auto it = self.timers_.find(static_cast<plat::UINT>(w));
    if (it == self.timers_.end()) return 0;
    // The callback may remove its own timer; run a copy.
    auto fn = it->second;
    if (fn) fn();
    return 0;
}

}  // namespace nl
