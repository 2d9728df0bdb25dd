#include "platform/App.h"

#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"

#include <shellapi.h>

namespace plat {

// The runtime hands main() its arguments in the ANSI code page, where a name
// the code page cannot hold is lost. They are spelled again in UTF-8, from the
// command line as Windows keeps it; the copies live as long as the process.
void InitApp(int argc, char** argv) {
    win32::UseUtf8Console();
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return;
    if (count == argc && argv) {
        static std::vector<std::string> utf8;
        utf8.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) {
            utf8.push_back(win32::Utf8(std::wstring(wide[i])));
            argv[i] = utf8.back().data();
        }
    }
    ::LocalFree(wide);
}

// The command line as Windows hands it over, without the program's name (quoted
// or not) and the blanks after it.
std::string CommandLine() {
    const wchar_t* p = ::GetCommandLineW();
    if (!p) return {};
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p == L'"') ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    while (*p == L' ' || *p == L'\t') ++p;
    return win32::Utf8(std::wstring(p));
}

std::string ExePath() {
    std::vector<wchar_t> buf(32768);
    ::DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<::DWORD>(buf.size()));
    if (n == 0 || n >= buf.size()) return {};
    return win32::Utf8(buf.data(), n);
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
