// Starting and stopping the servers the tests run (tests/common/NginxServer.h):
// child processes of the test.
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "tests/common/NginxServer.h"

namespace testutil {

bool ServersRunAsRoot() { return geteuid() == 0; }

void StopProcess(ProcessId pid) {
    if (pid <= 0) return;
    kill(static_cast<pid_t>(pid), SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(static_cast<pid_t>(pid), SIGKILL);
    waitpid(static_cast<pid_t>(pid), nullptr, 0);
}

ProcessId StartServerOnPort(const std::vector<std::string>& programs, const std::vector<std::string>& args, int port,
                            const std::string& give) {
    if (!give.empty() && ServersRunAsRoot()) {
        if (passwd* pw = getpwnam("nobody")) {
            if (chown(give.c_str(), pw->pw_uid, static_cast<gid_t>(-1)) != 0) {
            }
        }
    }
    pid_t pid = fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        for (const auto& program : programs) {
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
        }
        _exit(127);
    }
    if (pid < 0) return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return -1;
        if (WaitForPort(port, 50)) return pid;
    }
    StopProcess(pid);
    return -1;
}

}  // namespace testutil
