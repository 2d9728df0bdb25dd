#include "platform/Console.h"

#include "platform/win32/WinApi.h"

namespace plat {

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

int StderrColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(STD_ERROR_HANDLE), &info)) return 80;
    int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? columns : 80;
}

}  // namespace plat
