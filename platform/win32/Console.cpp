#include "platform/Console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>

#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"

namespace plat {

namespace win32 {

namespace {

::UINT g_consoleCodePage = 0;

void RestoreCodePage() { ::SetConsoleOutputCP(g_consoleCodePage); }

}  // namespace

// The console's code page is its own, shared with whoever else writes to it:
// the one it had is put back at the end.
void UseUtf8Console() {
    const ::UINT now = ::GetConsoleOutputCP();
    if (now == 0 || now == CP_UTF8 || g_consoleCodePage != 0) return;
    if (!::SetConsoleOutputCP(CP_UTF8)) return;
    g_consoleCodePage = now;
    std::atexit(RestoreCodePage);
}

}  // namespace win32

namespace {

// True when the process was handed a usable handle for this stream (a console,
// a pipe, a file).
bool Handed(::DWORD which) {
    ::HANDLE h = ::GetStdHandle(which);
    if (h == nullptr || h == win32::InvalidHandle()) return false;
    ::SetLastError(NO_ERROR);
    return ::GetFileType(h) != FILE_TYPE_UNKNOWN || ::GetLastError() == NO_ERROR;
}

// Opens the console's device for a stream that has none: the handle, the
// runtime's descriptor of that number, and the runtime's stream. A windowed
// program's stream has no descriptor at all, and some runtimes' freopen refuses
// such a stream, so it takes over a fresh stream on the device instead.
void OpenOnConsole(::DWORD which, int number, std::FILE* stream, bool input) {
    ::HANDLE h = ::CreateFileA(input ? "CONIN$" : "CONOUT$", GENERIC_READ | GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == win32::InvalidHandle()) return;
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_TEXT | (input ? _O_RDONLY : 0));
    if (fd < 0) {
        ::CloseHandle(h);
        return;
    }
    ::SetStdHandle(which, h);
    _dup2(fd, number);
#ifdef _UCRT
    std::freopen(input ? "CONIN$" : "CONOUT$", input ? "r" : "w", stream);
#else
    if (std::FILE* fresh = _fdopen(fd, input ? "r" : "w")) *stream = *fresh;
#endif
    if (stream == stderr) std::setvbuf(stream, nullptr, _IONBF, 0);
}

}  // namespace

// A windowed program has no console of its own: the streams nobody handed over
// are opened on the console of whoever started it (a command prompt), when it
// has one. Streams that were handed over (a pipe, a file, a console) stay as they
// are, and without a console in the parent nothing changes.
void UseStartersConsole() {
    const bool in = !Handed(STD_INPUT_HANDLE), out = !Handed(STD_OUTPUT_HANDLE), err = !Handed(STD_ERROR_HANDLE);
    if (!in && !out && !err) return;
    // Already on a console (Wine gives a windowed program its parent's) is as good.
    if (!::AttachConsole(ATTACH_PARENT_PROCESS) && ::GetLastError() != ERROR_ACCESS_DENIED) return;
    if (in) OpenOnConsole(STD_INPUT_HANDLE, 0, stdin, true);
    if (out) OpenOnConsole(STD_OUTPUT_HANDLE, 1, stdout, false);
    if (err) OpenOnConsole(STD_ERROR_HANDLE, 2, stderr, false);
    win32::UseUtf8Console();
}

bool StderrIsTerminal() {
    ::HANDLE err = ::GetStdHandle(STD_ERROR_HANDLE);
    ::DWORD mode = 0;
    if (!::GetConsoleMode(err, &mode)) return false;
    constexpr ::DWORD kVirtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
    return (mode & kVirtualTerminal) != 0 || ::SetConsoleMode(err, mode | kVirtualTerminal) != 0;
}

bool StdinIsTerminal() {
    ::DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

bool StdoutIsTerminal() {
    ::DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
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
