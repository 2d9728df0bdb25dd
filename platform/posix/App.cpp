#include "platform/App.h"

#include <unistd.h>

#include <climits>

namespace plat {
namespace {
std::string g_cmdline;
std::string g_argv0;
}  // namespace

void InitApp(int argc, char** argv) {
    g_cmdline.clear();
    g_argv0 = argc > 0 && argv[0] ? argv[0] : "";
    for (int i = 1; i < argc; ++i) {
        if (i > 1) g_cmdline += ' ';
        g_cmdline += argv[i];
    }
}

std::string CommandLine() { return g_cmdline; }

std::string ExePath() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return g_argv0;
    return std::string(buf, static_cast<size_t>(n));
}

std::string ExeName() {
    std::string p = ExePath();
    auto slash = p.find_last_of('/');
    if (slash != std::string::npos) p = p.substr(slash + 1);
    auto dot = p.find_last_of('.');
    if (dot != std::string::npos && dot > 0) p = p.substr(0, dot);
    return p;
}

}  // namespace plat
