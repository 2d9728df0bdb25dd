// The console's events as the loop's messages (platform/LoopSignals.h). The
// system calls the console handler on a thread of its own; it only posts the
// event to a window of the loop, whose procedure runs the registered handler.
// Ctrl+C is the interrupt; Ctrl+Break, the console's close, log-off and
// shut-down ask the run to end.
#include "platform/LoopSignals.h"

#include <utility>

#include "platform/Window.h"
#include "platform/win32/MessageLoop.h"

namespace plat {

namespace {

constexpr UINT kConsoleEvent = PL_WM_USER + 1;
constexpr ::UINT kInterrupted = 0xC000013AU;  // STATUS_CONTROL_C_EXIT

::HWND g_window = nullptr;
volatile ::LONG g_interruptPending = 0;

std::function<bool()>& Handler(LoopSignal signal) {
    static std::function<bool()> interrupt, terminate;
    return signal == LoopSignal::Interrupt ? interrupt : terminate;
}

::BOOL WINAPI OnConsoleEvent(::DWORD type) {
    if (type == CTRL_C_EVENT && ::InterlockedExchange(&g_interruptPending, 1) != 0)
        ::TerminateProcess(::GetCurrentProcess(), kInterrupted);
    ::PostMessageA(g_window, kConsoleEvent, type, 0);
    // On a close, log-off or shut-down the process ends when this returns: the
    // loop is given a moment to end the run.
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) ::Sleep(2000);
    return TRUE;
}

LRESULT ConsoleEventProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != kConsoleEvent) return DefWindowProcA(hwnd, msg, wParam, lParam);
    if (wParam == CTRL_C_EVENT) ::InterlockedExchange(&g_interruptPending, 0);
    // With nothing of ours to stop, the process ends as a console program does.
    const auto& handler = Handler(wParam == CTRL_C_EVENT ? LoopSignal::Interrupt : LoopSignal::Terminate);
    if (!handler || !handler()) ::ExitProcess(kInterrupted);
    return 0;
}

bool Install() {
    // A windowed program handed its input and output (a pipe, a file) is on no
    // console, and so gets no Ctrl+C: it joins its starter's, if that has one,
    // keeping the handles it was handed. (On one already, this changes nothing.)
    const ::DWORD streams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    ::HANDLE handed[3];
    for (int i = 0; i < 3; ++i) handed[i] = ::GetStdHandle(streams[i]);
    if (::AttachConsole(ATTACH_PARENT_PROCESS))
        for (int i = 0; i < 3; ++i)
            if (handed[i] && handed[i] != win32::InvalidHandle()) ::SetStdHandle(streams[i], handed[i]);
    HWND window = CreateMessageWindow("NovalinkConsoleEvents");
    SetWindowProc(window, ConsoleEventProc);
    g_window = win32::MessageLoop::Instance().Real(window);
    return g_window && ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace

void OnLoopSignal(LoopSignal which, std::function<bool()> handler) {
    static const bool installed = Install();
    if (installed) Handler(which) = std::move(handler);
}

}  // namespace plat
