#include "tests/common/TestUtil.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/posix/Utf16.h"

namespace testutil {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/novalink-test-XXXXXX";
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

void MakeRemovable(const std::string& path) {
    std::error_code ec;
    std::filesystem::permissions(path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

std::string BuildDir() {
    const char* b = std::getenv("NOVALINK_BUILD_DIR");
    return b && *b ? b : NOVALINK_BUILD_DIR;
}

std::string SourceDir() {
    const char* s = std::getenv("NOVALINK_SOURCE_DIR");
    return s && *s ? s : NOVALINK_SOURCE_DIR;
}

RunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env, int timeoutSec) {
    RunResult r;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return r;
    pid_t pid = fork();
    if (pid < 0) return r;
    if (pid == 0) {
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(fds[1]);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSec);
    char buf[4096];
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            kill(pid, SIGKILL);
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        r.out.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

std::string SystemPath(const std::string& path) { return path; }

std::string NativePath(const std::string& path) { return path; }

std::string WineVersion() { return ""; }

std::string LanguageName(unsigned, const std::string& windowsName) { return windowsName; }

std::string AnsiText(const std::u16string& text) {
    std::string le;
    for (char16_t u : text) {
        le += static_cast<char>(u & 0xFF);
        le += static_cast<char>(u >> 8);
    }
    return plat::posix::Utf16LeToUtf8(reinterpret_cast<const unsigned char*>(le.data()), text.size());
}

}  // namespace testutil
