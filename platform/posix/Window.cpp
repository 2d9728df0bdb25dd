#include "platform/Window.h"

#include <map>

#include "platform/posix/AsciiCase.h"
#include "platform/posix/EventLoop.h"

namespace plat {
namespace posix {

LRESULT DefaultWindowProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

}  // namespace posix

namespace {

posix::EventLoop& Loop() { return posix::EventLoop::Instance(); }

}  // namespace

MessagePump& MessagePump::Instance() { return Loop(); }

UINT RegisterWindowMessageA(const std::string& name) {
    static std::map<std::string, UINT> registered;
    static UINT next = 0xC000;
    if (name.empty()) return 0;
    auto key = posix::AsciiLower(name);
    auto it = registered.find(key);
    if (it != registered.end()) return it->second;
    if (next > 0xFFFF) return 0;
    registered[key] = next;
    return next++;
}

HWND CreateMessageWindow(const std::string& caption) { return Loop().CreateWindow(caption, false); }
HWND CreateTopLevelWindow(const std::string& caption) { return Loop().CreateWindow(caption, true); }
bool DestroyWindow(HWND hwnd) { return Loop().DestroyWindow(hwnd); }
bool IsWindow(HWND hwnd) { return Loop().IsWindow(hwnd); }
std::string GetWindowTextA(HWND hwnd) { return Loop().WindowText(hwnd); }
WindowProc SetWindowProc(HWND hwnd, WindowProc proc) { return Loop().SetProc(hwnd, proc); }
WindowProc GetWindowProc(HWND hwnd) { return Loop().GetProc(hwnd); }

LRESULT CallWindowProcA(WindowProc proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return posix::DefaultWindowProc(hwnd, msg, wParam, lParam);
}

bool PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return Loop().PostMessageA(hwnd, msg, wParam, lParam);
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return Loop().SendMessageA(hwnd, msg, wParam, lParam);
}

bool SetTimer(HWND hwnd, UINT id, UINT ms) { return Loop().SetTimer(hwnd, id, ms); }
bool KillTimer(HWND hwnd, UINT id) { return Loop().KillTimer(hwnd, id); }

std::uint64_t TickCount() { return posix::EventLoop::NowMs(); }

}  // namespace plat
