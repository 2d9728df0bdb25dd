#include "platform/Console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "platform/win32/WinApi.h"

namespace plat {

bool StderrIsTerminal() {
    ::DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int StderrColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) return 80;
    int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? columns : 80;
}

void SetStdoutBinary() {
    std::fflush(stdout);
    _setmode(_fileno(stdout), _O_BINARY);
}

namespace {

volatile LONG g_caught = 0;

BOOL WINAPI Record(::DWORD type) {
    // Ctrl+C counts as SIGINT (130); Ctrl+Break and the console's close as SIGTERM.
    const LONG code = type == CTRL_C_EVENT ? 130 : 143;
    if (::InterlockedCompareExchange(&g_caught, code, 0) != 0) ::ExitProcess(static_cast<UINT>(g_caught));
    // A close of the console ends the process when this returns: the tool has
    // until then, so it is given a moment.
    if (type == CTRL_CLOSE_EVENT) ::Sleep(2000);
    return TRUE;
}

}  // namespace

void CatchInterrupts() { ::SetConsoleCtrlHandler(Record, TRUE); }

int InterruptExitCode() { return static_cast<int>(g_caught); }

}  // namespace plat
