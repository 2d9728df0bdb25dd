// What Windows adds to the forms' model (platform/FrontEndSystem.h): the choice
// of the Win32 front end or the terminal's, and the tasks the model runs from
// the loop.
#include "platform/FrontEndSystem.h"

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>

#include "platform/Console.h"
#include "platform/LoopSignals.h"
#include "platform/PlatformFrontEndHost.h"
#include "platform/VisibleText.h"
#include "platform/Window.h"
#include "platform/frontends/win32/Win32FrontEnd.h"
#include "platform/win32/MessageLoop.h"

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
        // As on Linux: Ctrl+C presses the active form's "&Cancel" or answers its
        // box; Ctrl+Break, the console's close, log-off and shut-down end the run
        // as a confirmed cancel.
        OnLoopSignal(LoopSignal::Interrupt, InterruptForms);
        OnLoopSignal(LoopSignal::Terminate, EndFormsRun);
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
