#include "platform/App.h"

#include "platform/win32/WinApi.h"

namespace plat {

void InitApp(int, char**) {}

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
