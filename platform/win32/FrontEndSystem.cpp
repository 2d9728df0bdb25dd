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

}  // namespace

// The system's windows, or the terminal's lines on the console's (or the
// pipes') standard input and output when NOVALINK_UI is "text".
FrontEnd* OpenSystemFrontEnd(FrontEndKind* kind) {
    win32::MessageLoop::Instance().SetDestroyHook(FormWindowDestroyed);
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
