// Waiting for processes, starting programs detached, the error mode and the
// single-instance lock.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/Errors.h"
#include "platform/Instance.h"
#include "platform/Process.h"
#include "platform/Window.h"
#include "tests/common/TestUtil.h"

using namespace plat;
using testutil::Exists;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

pid_t ForkSleeper(int ms) {
    pid_t pid = fork();
    if (pid == 0) {
        usleep(static_cast<useconds_t>(ms) * 1000);
        _exit(0);
    }
    return pid;
}

int g_ticks = 0;
int g_posted = 0;
HANDLE g_closeFromHandler = 0;

LRESULT Counter(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == PL_WM_TIMER) {
        ++g_ticks;
        // A handler may close the very handle being waited on.
        if (g_closeFromHandler && g_ticks == 2) {
            CloseHandle(g_closeFromHandler);
            g_closeFromHandler = 0;
        }
    }
    if (msg == PL_WM_USER + 9) ++g_posted;
    return 0;
}

bool WaitForFile(const std::string& path, int ms) {
    for (int i = 0; i < ms / 10; ++i) {
        if (Exists(path) && !ReadFile(path).empty()) return true;
        usleep(10000);
    }
    return false;
}

}  // namespace

TEST(OpenProcess, NoHandleForIdZeroOrAProcessThatIsGone) {
    EXPECT_EQ(OpenProcess(PL_SYNCHRONIZE, false, 0), 0u);
    EXPECT_EQ(GetLastError(), PL_ERROR_INVALID_PARAMETER);

    pid_t child = ForkSleeper(0);
    // Ended but not yet reaped: there is a handle, and it is signalled.
    usleep(100000);
    HANDLE h = OpenProcess(PL_SYNCHRONIZE, false, static_cast<DWORD>(child));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(WaitForSingleObject(h, 0), PL_WAIT_OBJECT_0);
    EXPECT_EQ(WaitForProcessPumping(h, PL_INFINITE), PL_WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(WaitForSingleObject(h, 0), PL_WAIT_FAILED);
    waitpid(child, nullptr, 0);
    // Gone altogether.
    EXPECT_EQ(OpenProcess(PL_SYNCHRONIZE, false, static_cast<DWORD>(child)), 0u);
}

TEST(WaitForProcessPumping, MessagesFlowAndTheWaitCostsNoCpu) {
    HWND w = CreateMessageWindow("waiter");
    SetWindowProc(w, Counter);
    SetTimer(w, 1, 100);
    g_ticks = g_posted = 0;

    pid_t child = ForkSleeper(1200);
    HANDLE h = OpenProcess(PL_SYNCHRONIZE, false, static_cast<DWORD>(child));
    ASSERT_NE(h, 0u);
    EXPECT_EQ(WaitForSingleObject(h, 0), PL_WAIT_TIMEOUT);
    EXPECT_EQ(WaitForProcessPumping(h, 150), PL_WAIT_TIMEOUT);

    std::thread poster([w] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        PostMessageA(w, PL_WM_USER + 9, 0, 0);
    });
    double cpu0 = CpuSeconds();
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(WaitForProcessPumping(h, PL_INFINITE), PL_WAIT_OBJECT_0);
    double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    double cpu = CpuSeconds() - cpu0;
    poster.join();

    EXPECT_GT(waited, 0.8);
    EXPECT_LT(waited, 5.0);
    EXPECT_GE(g_ticks, 5) << "timer messages were not delivered during the wait";
    EXPECT_EQ(g_posted, 1) << "a posted message was not delivered during the wait";
    EXPECT_LT(cpu, 0.05) << "the wait should block, not poll";
    CloseHandle(h);
    waitpid(child, nullptr, 0);

    // A handler that closes the handle mid-wait does not disturb the wait.
    child = ForkSleeper(500);
    h = OpenProcess(PL_SYNCHRONIZE, false, static_cast<DWORD>(child));
    g_ticks = 0;
    g_closeFromHandler = h;
    EXPECT_EQ(WaitForProcessPumping(h, 3000), PL_WAIT_OBJECT_0);
    EXPECT_EQ(g_closeFromHandler, 0u);
    waitpid(child, nullptr, 0);
    DestroyWindow(w);
}

TEST(StartProcess, RunsDetachedWithNoneOfOurHandles) {
    TempDir dir;
    std::string script = dir / "prog";
    std::string out = dir / "out";
    WriteFile(script,
              "#!/bin/sh\n"
              "sleep 0.3\n"
              "if [ -e /proc/$$/fd/77 ]; then leaked=yes; else leaked=no; fi\n"
              "echo \"$PPID $leaked $1 $2\" > " + out + ".tmp\n"
              "mv " + out + ".tmp " + out + "\n");
    chmod(script.c_str(), 0755);
    int fd = open("/dev/null", O_RDONLY);
    ASSERT_EQ(dup2(fd, 77), 77);  // inheritable on purpose
    close(fd);

    auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(StartProcess(script, "one two", PL_SW_SHOWNORMAL));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 0.25)
        << "the start must not wait for the program";
    // Nothing of it is left for us to reap.
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    close(77);

    ASSERT_TRUE(WaitForFile(out, 5000));
    std::string line = ReadFile(out);
    EXPECT_NE(line.substr(0, line.find(' ')), std::to_string(getpid())) << "the program is not detached";
    EXPECT_NE(line.find(" no one two"), std::string::npos) << line;

    EXPECT_FALSE(StartProcess(dir / "missing", "", PL_SW_SHOWNORMAL));
    EXPECT_EQ(GetLastError(), PL_ERROR_FILE_NOT_FOUND);
    WriteFile(dir / "plain", "#!/bin/sh\n");
    chmod((dir / "plain").c_str(), 0644);
    // Not executable (for root too: it needs at least one execute bit).
    EXPECT_FALSE(StartProcess(dir / "plain", "", PL_SW_SHOWNORMAL));
    EXPECT_EQ(GetLastError(), PL_ERROR_ACCESS_DENIED);
}

TEST(SetErrorMode, NoCoreDumpsWhileFaultReportsAreOff) {
    rlimit before{};
    getrlimit(RLIMIT_CORE, &before);
    UINT prev = SetErrorMode(PL_SEM_NOGPFAULTERRORBOX);
    rlimit now{};
    getrlimit(RLIMIT_CORE, &now);
    EXPECT_EQ(now.rlim_cur, 0u);
    EXPECT_EQ(SetErrorMode(prev), PL_SEM_NOGPFAULTERRORBOX);
    getrlimit(RLIMIT_CORE, &now);
    EXPECT_EQ(now.rlim_cur, before.rlim_cur);
}

TEST(SingleInstance, HeldUntilTheHolderDiesAndScopedByTheTemporaryFolder) {
    TempDir a, b;
    const char* saved = std::getenv("TMPDIR");
    std::string keep = saved ? saved : "";
    setenv("TMPDIR", a.path().c_str(), 1);

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t holder = fork();
    if (holder == 0) {
        char c = ClaimSingleInstance("novalink-test") ? 'y' : 'n';
        ssize_t w = write(ready[1], &c, 1);
        (void)w;
        pause();
        _exit(0);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_EQ(c, 'y');

    EXPECT_FALSE(ClaimSingleInstance("novalink-test"));
    EXPECT_TRUE(ClaimSingleInstance("another-name"));
    EXPECT_TRUE(ClaimSingleInstance("another-name")) << "claiming again in the same process";

    // Another temporary folder is another scope: checked in a child, since a
    // claim lasts for the rest of the process.
    pid_t other = fork();
    if (other == 0) {
        setenv("TMPDIR", b.path().c_str(), 1);
        _exit(ClaimSingleInstance("novalink-test") ? 0 : 1);
    }
    int status = 0;
    waitpid(other, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // The holder's death releases the claim, however it ends.
    kill(holder, SIGKILL);
    waitpid(holder, nullptr, 0);
    EXPECT_TRUE(ClaimSingleInstance("novalink-test"));
    close(ready[0]);
    close(ready[1]);

    if (saved)
        setenv("TMPDIR", keep.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

TEST(SingleInstance, ARelativeTemporaryFolderLeavesNoLockFileInTheCurrentFolder) {
    TempDir cwd;
    pid_t child = fork();
    if (child == 0) {
        if (chdir(cwd.path().c_str()) != 0) _exit(2);
        setenv("TMPDIR", "rel", 1);
        mkdir("rel", 0700);
        if (!ClaimSingleInstance("novalink-relative-test")) _exit(3);
        // Only the folder made above may be here: the lock lives elsewhere.
        _exit(system("test -z \"$(find . -mindepth 1 ! -path ./rel)\" && test -z \"$(ls -A rel)\"") == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
