// What Windows adds to the forms' model (platform/FrontEndSystem.h): the choice
// of the Win32 front end or the terminal's, the console's Ctrl+C for the
// terminal's, and the tasks the model runs from the loop.
#include "platform/FrontEndSystem.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "platform/Console.h"
#include "platform/PlatformFrontEndHost.h"
#include "platform/VisibleText.h"
#include "platform/Window.h"
#include "platform/win32/MessageLoop.h"
#include "platform/win32/Win32FrontEnd.h"

namespace plat {

namespace {

constexpr UINT kRunTask = PL_WM_USER;

std::deque<std::function<void()>>& Tasks() {
    static std::deque<std::function<void()>> tasks;
    return tasks;
}

LRESULT TaskProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != kRunTask) return DefWindowProcA(hwnd, msg, wParam, lParam);
    if (Tasks().empty()) return 0;
    std::function<void()> task = std::move(Tasks().front());
    Tasks().pop_front();
    task();
    return 0;
}

// ---- the console's Ctrl+C ----------------------------------------------------
// The system calls the handler on a thread of its own; the handler only posts
// the event to a window of the loop, which then acts on the forms as SIGINT,
// SIGTERM and SIGHUP do on Linux:
// - Ctrl+C presses the active form's "&Cancel" (or closes it); in a message box
//   it answers as FrontEnd::InterruptMessageBox says.
// - Ctrl+Break, the console's close, log-off and shut-down end the run as a
//   confirmed cancel (EndFormsRun); a windowed run learns of the last two from
//   its windows (below).
// When the loop has not taken the previous Ctrl+C yet (it is stuck), a second one
// ends the process at once. With nothing of ours to end, the process ends as a
// console program does on Ctrl+C.

constexpr UINT kConsoleEvent = PL_WM_USER + 1;
constexpr ::UINT kInterrupted = 0xC000013AU;  // STATUS_CONTROL_C_EXIT

::HWND g_consoleWindow = nullptr;
volatile ::LONG g_interruptPending = 0;

::BOOL WINAPI OnConsoleEvent(::DWORD type) {
    if (type == CTRL_C_EVENT && ::InterlockedExchange(&g_interruptPending, 1) != 0)
        ::TerminateProcess(::GetCurrentProcess(), kInterrupted);
    ::PostMessageA(g_consoleWindow, kConsoleEvent, type, 0);
    // On a close, log-off or shut-down the process ends when this returns: the
    // loop is given a moment to end the run.
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) ::Sleep(2000);
    return TRUE;
}

LRESULT ConsoleEventProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg != kConsoleEvent) return DefWindowProcA(hwnd, msg, wParam, lParam);
    if (wParam == CTRL_C_EVENT) {
        ::InterlockedExchange(&g_interruptPending, 0);
        if (!InterruptForms()) ::ExitProcess(kInterrupted);
    } else if (!EndFormsRun()) {
        ::ExitProcess(kInterrupted);
    }
    return 0;
}

void CatchConsoleEvents() {
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
    g_consoleWindow = win32::MessageLoop::Instance().Real(window);
    if (g_consoleWindow) ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

// ---- log-off and shut-down --------------------------------------------------
// Windows asks every top-level window whether the session may end
// (WM_QUERYENDSESSION), and then tells it that it ends (WM_ENDSESSION). The run
// never stands in the way. When the session does end, the run ends as SIGTERM
// ends it on Linux, a confirmed cancel: the forms unload the usual way, removing
// their temporary files and leaving a part of the package already fetched for
// the next run. The process may be ended once the message has been answered,
// so the loop is turned here until the forms are gone, for a few seconds at most.

constexpr int kSessionEndMs = 4000;

LRESULT SessionEndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_QUERYENDSESSION) return TRUE;
    if (msg != WM_ENDSESSION) return DefWindowProcA(hwnd, msg, wParam, lParam);
    if (wParam && EndFormsRun()) {
        auto& loop = win32::MessageLoop::Instance();
        PumpUntil([&loop] { return loop.TopLevelCount() == 0; }, kSessionEndMs);
    }
    return 0;
}

void CatchSessionEnd() {
    HWND window = CreateMessageWindow("NovalinkSessionEnd");
    SetWindowProc(window, SessionEndProc);
}

}  // namespace

// The system's windows, or the terminal's lines on the console's (or the
// pipes') standard input and output when NOVALINK_UI is "text".
FrontEnd* OpenSystemFrontEnd(FrontEndKind* kind) {
    win32::MessageLoop::Instance().SetDestroyHook(FormWindowDestroyed);
    CatchSessionEnd();
    const char* ui = std::getenv("NOVALINK_UI");
    const std::string choice = ui ? ui : "";
    if (choice == "text") {
        UseStartersConsole();
        CatchConsoleEvents();
        *kind = FrontEndKind::Terminal;
        return MakeTerminalFrontEnd().release();
    }
    if (!choice.empty() && choice != "win32")
        std::fprintf(stderr, "novalink: NOVALINK_UI=%s is neither \"text\" nor \"win32\"; using the windows\n",
                     VisibleText(choice).c_str());
    *kind = FrontEndKind::Win32;
    return win32::MakeWin32FrontEnd(&PlatformFrontEndHost::Instance()).release();
}

void RunFromLoop(std::function<void()> task) {
    static HWND window = 0;
    if (!window) {
        window = CreateMessageWindow("NovalinkTasks");
        SetWindowProc(window, TaskProc);
    }
    Tasks().push_back(std::move(task));
    PostMessageA(window, kRunTask, 0, 0);
}

}  // namespace plat
