#include "tests/common/VirtualDisplay.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>

namespace testutil {

VirtualDisplay::VirtualDisplay() {
    std::string info = dir_ / "display";
    pid_ = fork();
    if (pid_ == 0) {
        setsid();
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        std::string script = "echo \"$DISPLAY $XAUTHORITY\" > " + info + ".tmp && mv " + info + ".tmp " + info +
                             " && exec sleep 200";
        execlp("xvfb-run", "xvfb-run", "-a", "-s", "-screen 0 1024x768x24 -nolisten tcp", "sh", "-c",
               script.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (WaitForFile(info, 20000)) {
        std::string s = ReadFile(info);
        auto space = s.find(' ');
        display_ = s.substr(0, space);
        auth_ = space == std::string::npos ? "" : s.substr(space + 1, s.find('\n') - space - 1);
    }
}

VirtualDisplay::~VirtualDisplay() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    if (WaitExit(pid_, 5000) == -2) kill(-pid_, SIGKILL);
}

std::string VirtualDisplay::Out(const std::string& command) const {
    RunResult r = Run({"/bin/sh", "-c", command}, Env(), 15);
    return r.out.substr(0, r.out.find('\n'));
}

int VirtualDisplay::Sh(const std::string& command, int timeoutSec) const {
    return std::system(("DISPLAY=" + display_ + " XAUTHORITY=" + auth_ + " timeout " + std::to_string(timeoutSec) +
                        " sh -c '" + command + "' >/dev/null 2>&1")
                           .c_str());
}

bool HaveProgram(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace testutil
