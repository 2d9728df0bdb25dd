#include "platform/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <map>
#include <mutex>
#include <sstream>
#include <vector>

#include "platform/Errors.h"
#include "platform/Window.h"
#include "platform/posix/ErrorMap.h"
#include "platform/posix/EventLoop.h"

namespace plat {
namespace {

// Process handles are process descriptors (pidfds): readable once the process
// has ended, so a wait is a plain blocking poll or an epoll watch.
std::mutex g_mutex;
std::map<HANDLE, int> g_processes;
HANDLE g_nextHandle = 0x2000;

int DescriptorOf(HANDLE h) {
    std::lock_guard<std::mutex> lk(g_mutex);
    auto it = g_processes.find(h);
    return it == g_processes.end() ? -1 : it->second;
}

int PollTimeout(DWORD ms) {
    if (ms == PL_INFINITE) return -1;
    return ms > static_cast<DWORD>(INT_MAX) ? INT_MAX : static_cast<int>(ms);
}

bool Ended(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) > 0;
}

}  // namespace

HANDLE OpenProcess(DWORD desiredAccess, bool inheritHandle, DWORD processId) {
    (void)desiredAccess;
    // Identifier 0 is the idle process on Windows, and never one we can wait for.
    if (processId == 0 || processId > static_cast<DWORD>(INT_MAX)) {
        SetLastError(PL_ERROR_INVALID_PARAMETER);
        return 0;
    }
    int fd = static_cast<int>(syscall(SYS_pidfd_open, static_cast<pid_t>(processId), 0));
    if (fd < 0) {
        SetLastError(errno == ESRCH ? PL_ERROR_INVALID_PARAMETER : posix::FromErrno(errno));
        return 0;
    }
    if (!inheritHandle) fcntl(fd, F_SETFD, FD_CLOEXEC);
    std::lock_guard<std::mutex> lk(g_mutex);
    HANDLE h = g_nextHandle++;
    g_processes[h] = fd;
    return h;
}

DWORD WaitForSingleObject(HANDLE process, DWORD milliseconds) {
    int fd = DescriptorOf(process);
    if (fd < 0) {
        SetLastError(PL_ERROR_INVALID_HANDLE);
        return PL_WAIT_FAILED;
    }
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = poll(&p, 1, PollTimeout(milliseconds));
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        posix::SetLastErrorFromErrno(errno);
        return PL_WAIT_FAILED;
    }
    return r > 0 ? PL_WAIT_OBJECT_0 : PL_WAIT_TIMEOUT;
}

DWORD WaitForProcessPumping(HANDLE process, DWORD milliseconds) {
    int shared = DescriptorOf(process);
    if (shared < 0) {
        SetLastError(PL_ERROR_INVALID_HANDLE);
        return PL_WAIT_FAILED;
    }
    if (Ended(shared)) return PL_WAIT_OBJECT_0;
    // A descriptor of our own, so that a handler that closes the handle while
    // we wait cannot pull the watched descriptor from under us.
    int fd = fcntl(shared, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
        posix::SetLastErrorFromErrno(errno);
        return PL_WAIT_FAILED;
    }
    auto& loop = posix::EventLoop::Instance();
    bool ended = false;
    if (!loop.Watch(fd, EPOLLIN, [&ended, &loop, fd](std::uint32_t) {
            ended = true;
            loop.Unwatch(fd);
        })) {
        posix::SetLastErrorFromErrno(errno);
        close(fd);
        return PL_WAIT_FAILED;
    }
    PumpUntil([&ended] { return ended; }, milliseconds == PL_INFINITE ? -1 : PollTimeout(milliseconds));
    loop.Unwatch(fd);
    if (!ended) ended = Ended(fd);
    close(fd);
    return ended ? PL_WAIT_OBJECT_0 : PL_WAIT_TIMEOUT;
}

bool CloseHandle(HANDLE handle) {
    int fd;
    {
        std::lock_guard<std::mutex> lk(g_mutex);
        auto it = g_processes.find(handle);
        if (it == g_processes.end()) {
            SetLastError(PL_ERROR_INVALID_HANDLE);
            return false;
        }
        fd = it->second;
        g_processes.erase(it);
    }
    close(fd);
    return true;
}

bool StartProcess(const std::string& program, const std::string& arguments, int showCommand) {
    (void)showCommand;
    if (program.empty()) {
        SetLastError(PL_ERROR_FILE_NOT_FOUND);
        return false;
    }
    // Everything the child needs is prepared before the fork: between fork and
    // exec only async-signal-safe calls are made.
    std::vector<std::string> args{program};
    std::istringstream split(arguments);
    for (std::string a; split >> a;) args.push_back(a);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int status[2];
    if (pipe2(status, O_CLOEXEC) != 0) {
        posix::SetLastErrorFromErrno(errno);
        return false;
    }
    pid_t middle = fork();
    if (middle < 0) {
        int err = errno;
        close(status[0]);
        close(status[1]);
        posix::SetLastErrorFromErrno(err);
        return false;
    }
    if (middle == 0) {
        // The go-between: a new session, then a grandchild that init adopts
        // once we leave, so the program outlives us and is never our zombie.
        setsid();
        pid_t child = fork();
        if (child != 0) _exit(child < 0 ? 1 : 0);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; ++sig)
            if (sig != SIGKILL && sig != SIGSTOP) sigaction(sig, &dfl, nullptr);
        // No descriptor of ours goes to the program (the status pipe closes on exec).
        syscall(SYS_close_range, 3u, ~0u, 4u /* CLOSE_RANGE_CLOEXEC */);
        execv(program.c_str(), argv.data());
        int err = errno;
        ssize_t w = write(status[1], &err, sizeof err);
        (void)w;
        _exit(127);
    }
    close(status[1]);
    int wstatus = 0;
    while (waitpid(middle, &wstatus, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    do {
        n = read(status[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(status[0]);
    if (!WIFEXITED(wstatus) || WEXITSTATUS(wstatus) != 0) {
        SetLastError(PL_ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    if (n == static_cast<ssize_t>(sizeof err)) {
        SetLastError(err == ENOENT ? PL_ERROR_FILE_NOT_FOUND : posix::FromErrno(err));
        return false;
    }
    return true;
}

UINT SetErrorMode(UINT mode) {
    static UINT current = 0;
    static rlimit saved{};
    static bool haveSaved = false;
    UINT previous = current;
    bool wasQuiet = (previous & PL_SEM_NOGPFAULTERRORBOX) != 0;
    bool quiet = (mode & PL_SEM_NOGPFAULTERRORBOX) != 0;
    if (quiet && !wasQuiet) {
        haveSaved = getrlimit(RLIMIT_CORE, &saved) == 0;
        rlimit none = saved;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_CORE, &none);
    } else if (!quiet && wasQuiet && haveSaved) {
        setrlimit(RLIMIT_CORE, &saved);
    }
    current = mode;
    return previous;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(getpid()); }

}  // namespace plat
