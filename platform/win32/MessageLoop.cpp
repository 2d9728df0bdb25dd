#include "platform/win32/MessageLoop.h"

#include <vector>

#include "platform/Window.h"

namespace plat::win32 {

namespace {

// The class of the top-level windows; the message windows use the system's
// "STATIC" class and are subclassed onto the same procedure.
constexpr char kTopLevelClass[] = "NovalinkTopLevel";

// More than this many messages in one RunReady and the rest waits for the next
// turn: a handler that posts to itself must not hold a pump forever.
constexpr int kMaxPerRun = 512;

}  // namespace

MessageLoop& MessageLoop::Instance() {
    static MessageLoop loop;
    return loop;
}

MessageLoop::MessageLoop() : threadId_(Dw(::GetCurrentThreadId())) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &MessageLoop::SystemProc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kTopLevelClass;
    ::RegisterClassExA(&wc);
}

// Every message of every window of ours comes here and goes on to the product's
// procedure for the window. Messages that arrive before the window is entered
// (creation) or after it has been forgotten go to the system's default.
::LRESULT CALLBACK MessageLoop::SystemProc(::HWND real, ::UINT msg, ::WPARAM w, ::LPARAM l) {
    auto& loop = Instance();
    HWND hwnd = static_cast<HWND>(::GetWindowLongPtrA(real, GWLP_USERDATA));
    WindowProc proc = nullptr;
    if (hwnd != 0) {
        std::lock_guard<std::mutex> lk(loop.mu_);
        auto it = loop.windows_.find(hwnd);
        if (it != loop.windows_.end() && it->second.real == real) proc = it->second.proc;
    }
    if (msg == WM_NCDESTROY) {
        // The last message a window gets: forget it, so that nothing is delivered
        // to it again, whoever destroyed it.
        if (hwnd != 0) loop.Forget(hwnd);
        ::SetWindowLongPtrA(real, GWLP_USERDATA, 0);
        return ::DefWindowProcA(real, msg, w, l);
    }
    if (!proc) return ::DefWindowProcA(real, msg, w, l);
    const auto r = static_cast<::LRESULT>(proc(hwnd, static_cast<UINT>(msg), static_cast<WPARAM>(w), static_cast<LPARAM>(l)));
    // No window of ours keeps the session from ending (a procedure's 0 would);
    // how a run ends with the session is FrontEndSystem.cpp's.
    return msg == WM_QUERYENDSESSION ? TRUE : r;
}

HWND MessageLoop::Create(const std::string& caption, bool topLevel) {
    HINSTANCE instance = ::GetModuleHandleA(nullptr);
    // A message window: class "STATIC", style 0 (never visible), no position,
    // size, parent or menu. A top-level window: hidden until a form shows it.
    ::HWND real = topLevel ? ::CreateWindowExA(0, kTopLevelClass, caption.c_str(), WS_OVERLAPPEDWINDOW,
                                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                               nullptr, nullptr, instance, nullptr)
                           : ::CreateWindowExA(0, "STATIC", caption.c_str(), 0, 0, 0, 0, 0, nullptr, nullptr,
                                               instance, nullptr);
    if (!real) return 0;
    HWND hwnd;
    {
        std::lock_guard<std::mutex> lk(mu_);
        hwnd = next_++;
        windows_[hwnd] = Window{real, &plat::DefWindowProcA, topLevel};
    }
    if (topLevel) ++topLevel_;
    ::SetWindowLongPtrA(real, GWLP_USERDATA, static_cast<LONG_PTR>(hwnd));
    if (!topLevel) ::SetWindowLongPtrA(real, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessageLoop::SystemProc));
    return hwnd;
}

void MessageLoop::Forget(HWND hwnd) {
    {
        std::lock_guard<std::mutex> lk(mu_);
        auto it = windows_.find(hwnd);
        if (it == windows_.end()) return;
        if (it->second.topLevel) --topLevel_;
        windows_.erase(it);
    }
    if (destroyHook_) {
        auto hook = destroyHook_;  // the hook may replace itself
        hook(hwnd);
    }
}

bool MessageLoop::Destroy(HWND hwnd) {
    ::HWND real = Real(hwnd);
    if (!real) return false;
    // The system sends WM_DESTROY to the procedure, kills the window's timers and
    // drops what is still queued for it; WM_NCDESTROY then forgets the handle.
    bool ok = ::DestroyWindow(real) != 0;
    Forget(hwnd);
    return ok;
}

bool MessageLoop::IsWindow(HWND hwnd) const { return Real(hwnd) != nullptr; }

::HWND MessageLoop::Real(HWND hwnd) const {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : it->second.real;
}

WindowProc MessageLoop::SetProc(HWND hwnd, WindowProc proc) {
    if (!proc) return nullptr;
    std::lock_guard<std::mutex> lk(mu_);
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return nullptr;
    WindowProc previous = it->second.proc;
    it->second.proc = proc;
    return previous;
}

WindowProc MessageLoop::GetProc(HWND hwnd) const {
    std::lock_guard<std::mutex> lk(mu_);
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : it->second.proc;
}

bool MessageLoop::RunReady() {
    bool any = false;
    MSG m;
    for (int i = 0; i < kMaxPerRun && !QuitPending() && ::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE); ++i) {
        any = true;
        if (m.message == WM_QUIT) {
            // Somebody called the system's PostQuitMessage (a dialog of the system
            // passing it on): the loop ends as for ours.
            Quit(static_cast<int>(m.wParam));
            break;
        }
        if (preTranslate_ && preTranslate_(m)) continue;
        ::TranslateMessage(&m);
        ::DispatchMessageW(&m);
    }
    return any;
}

bool MessageLoop::RunOnce(int maxWaitMs) {
    if (RunReady()) return true;
    if (maxWaitMs == 0 || QuitPending()) return false;
    ::DWORD wait = maxWaitMs < 0 ? INFINITE : static_cast<::DWORD>(maxWaitMs);
    // Blocks on the queue alone; MWMO_INPUTAVAILABLE also wakes for messages that
    // were already in the queue but had been seen by an earlier peek.
    ::MsgWaitForMultipleObjectsEx(0, nullptr, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return RunReady();
}

void MessageLoop::Wake() { ::PostThreadMessageA(threadId_, WM_NULL, 0, 0); }

}  // namespace plat::win32
