#include "platform/App.h"

#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>

#include "platform/win32/WinApi.h"

namespace plat {

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

// A windowed program has no console of its own. When whoever started it has one
// (a command prompt), its lines go there: the streams nobody handed over are
// opened on that console. Streams that were handed over (a pipe, a file, a
// console) stay as they are, and without a console in the parent nothing changes.
void AttachParentConsole() {
    const bool in = !Handed(STD_INPUT_HANDLE), out = !Handed(STD_OUTPUT_HANDLE), err = !Handed(STD_ERROR_HANDLE);
    if (!in && !out && !err) return;
    // Already on a console (Wine gives a windowed program its parent's) is as good.
    if (!::AttachConsole(ATTACH_PARENT_PROCESS) && ::GetLastError() != ERROR_ACCESS_DENIED) return;
    if (in) OpenOnConsole(STD_INPUT_HANDLE, 0, stdin, true);
    if (out) OpenOnConsole(STD_OUTPUT_HANDLE, 1, stdout, false);
    if (err) OpenOnConsole(STD_ERROR_HANDLE, 2, stderr, false);
}

}  // namespace

void InitApp(int, char**) { AttachParentConsole(); }

// The command line as Windows hands it over, without the program's name (quoted
// or not) and the blanks after it.
std::string CommandLine() {
    const char* p = ::GetCommandLineA();
    if (!p) return {};
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

std::string ExePath() {
    char buf[32768];
    ::DWORD n = ::GetModuleFileNameA(nullptr, buf, sizeof buf);
    if (n == 0 || n >= sizeof buf) return {};
    return std::string(buf, n);
}

std::string ExeName() {
    std::string p = ExePath();
    auto slash = p.find_last_of("\\/");
    if (slash != std::string::npos) p = p.substr(slash + 1);
    auto dot = p.find_last_of('.');
    if (dot != std::string::npos && dot > 0) p = p.substr(0, dot);
    return p;
}

}  // namespace plat
