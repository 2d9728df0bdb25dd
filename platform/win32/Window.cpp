#include "platform/Window.h"

#include "platform/win32/MessageLoop.h"
#include "platform/win32/WideText.h"

namespace plat {

namespace {

win32::MessageLoop& Loop() { return win32::MessageLoop::Instance(); }

}  // namespace

MessagePump& MessagePump::Instance() { return Loop(); }

UINT RegisterWindowMessageA(const std::string& name) {
    if (name.empty()) return 0;
    return static_cast<UINT>(::RegisterWindowMessageW(win32::Wide(name).c_str()));
}

HWND CreateMessageWindow(const std::string& caption) { return Loop().Create(caption, false); }
HWND CreateTopLevelWindow(const std::string& caption) { return Loop().Create(caption, true); }
bool DestroyWindow(HWND hwnd) { return Loop().Destroy(hwnd); }
bool IsWindow(HWND hwnd) { return Loop().IsWindow(hwnd); }

std::string GetWindowTextA(HWND hwnd) {
    ::HWND real = Loop().Real(hwnd);
    if (!real) return {};
    return win32::WindowTextUtf8(real);
}

WindowProc SetWindowProc(HWND hwnd, WindowProc proc) { return Loop().SetProc(hwnd, proc); }
WindowProc GetWindowProc(HWND hwnd) { return Loop().GetProc(hwnd); }

LRESULT CallWindowProcA(WindowProc proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ::HWND real = Loop().Real(hwnd);
    if (!real) return 0;
    return static_cast<LRESULT>(::DefWindowProcA(real, msg, static_cast<::WPARAM>(wParam), static_cast<::LPARAM>(lParam)));
}

bool PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ::HWND real = Loop().Real(hwnd);
    if (!real) return false;
    return ::PostMessageA(real, msg, static_cast<::WPARAM>(wParam), static_cast<::LPARAM>(lParam)) != 0;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    ::HWND real = Loop().Real(hwnd);
    if (!real) return 0;
    return static_cast<LRESULT>(::SendMessageA(real, msg, static_cast<::WPARAM>(wParam), static_cast<::LPARAM>(lParam)));
}

bool SetTimer(HWND hwnd, UINT id, UINT ms) {
    ::HWND real = Loop().Real(hwnd);
    return real && ::SetTimer(real, id, ms, nullptr) != 0;
}

bool KillTimer(HWND hwnd, UINT id) {
    ::HWND real = Loop().Real(hwnd);
    return real && ::KillTimer(real, id) != 0;
}

std::uint64_t TickCount() { return static_cast<std::uint64_t>(::GetTickCount64()); }

}  // namespace plat
