#include "tests/common/SpawnUtil.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace testutil {

ProcessId Spawn(const std::vector<std::string>& argv, const SpawnOptions& options) {
    std::vector<std::string> env = options.env;
    std::vector<char*> args;
    std::vector<std::string> copy = argv;
    for (auto& a : copy) args.push_back(a.data());
    args.push_back(nullptr);
    std::string out = options.outputFile.empty() ? "/dev/null" : options.outputFile;
    pid_t pid = fork();
    if (pid != 0) return pid;
    for (auto& e : env) putenv(e.data());
    if (!options.inputFile.empty()) {
        int in = open(options.inputFile.c_str(), O_RDONLY);
        if (in >= 0) {
            dup2(in, 0);
            close(in);
        }
    }
    int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
    }
    if (options.fileSizeLimit >= 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit lim{static_cast<rlim_t>(options.fileSizeLimit), static_cast<rlim_t>(options.fileSizeLimit)};
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    execv(args[0], args.data());
    _exit(127);
}

int WaitExit(ProcessId pid, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0) return -1;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return -2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Terminate(ProcessId pid) { kill(static_cast<pid_t>(pid), SIGTERM); }

void Kill(ProcessId pid) {
    kill(static_cast<pid_t>(pid), SIGKILL);
    WaitExit(pid, 2000);
}

bool IsRunning(ProcessId pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = s.rfind(')');
    if (close == std::string::npos || close + 2 >= s.size()) return false;
    char state = s[close + 2];
    return state != 'Z' && state != 'X';
}

double CpuSecondsOf(ProcessId pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string s((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t close = s.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(s.substr(close + 2));
    // After the name: state(3) ppid pgrp session tty tpgid flags minflt cminflt
    // majflt cmajflt utime(14) stime(15).
    std::string f;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14) utime = std::stoull(f);
        if (i == 15) stime = std::stoull(f);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool WaitForFile(const std::string& path, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        struct stat st {};
        if (stat(path.c_str(), &st) == 0 && st.st_size > 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

}  // namespace testutil

namespace testutil {

ProcessId SpawnSleeper(int ms) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%d.%03d", ms / 1000, ms % 1000);
    return Spawn({"/bin/sleep", seconds});
}

std::string MarkerProgram(const std::string& trailer) {
    return "#!/bin/sh\necho $$ > \"$0.started\"\nexit 0\n" + trailer;
}

}  // namespace testutil
