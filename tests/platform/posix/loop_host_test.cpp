// A host loop built on plain poll() of the loop's descriptor and time-out drives
// the message loop: posts, timers, quits and a process's end all reach it, every
// wait turns it, and an idle wait takes a handful of turns, not a spin.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "platform/LoopHost.h"
#include "platform/Process.h"
#include "platform/Window.h"
#include "tests/common/TestUtil.h"

using namespace plat;

namespace {

constexpr UINT kPing = PL_WM_USER + 1;

int g_turns = 0;          // turns of the host loop
bool g_inHost = false;    // the host is running the loop's ready work
int g_delivered = 0;      // messages and ticks delivered
int g_outsideHost = 0;    // ... of which not from the host's turn

// The host's turn: one poll() of the backend descriptor, bounded by the loop's
// time-out and the wait's own; the loop runs only when one of them says so.
bool HostTurn(int maxWaitMs) {
    ++g_turns;
    int due = LoopTimeoutMs();
    int wait = due < 0 ? maxWaitMs : maxWaitMs < 0 ? due : std::min(due, maxWaitMs);
    pollfd p{LoopBackendFd(), POLLIN, 0};
    if (poll(&p, 1, wait) <= 0 && LoopTimeoutMs() != 0) return false;
    bool outer = g_inHost;
    g_inHost = true;
    bool any = LoopRunReady();
    g_inHost = outer;
    return any;
}

LRESULT Counter(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == kPing || msg == PL_WM_TIMER) {
        ++g_delivered;
        if (!g_inHost) ++g_outsideHost;
    }
    return 0;
}

pid_t ForkSleeper(int ms) {
    pid_t pid = fork();
    if (pid == 0) {
        usleep(static_cast<useconds_t>(ms) * 1000);
        _exit(0);
    }
    return pid;
}

class LoopHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = InstallLoopHost(HostTurn);
        g_turns = g_delivered = g_outsideHost = 0;
        wnd_ = CreateMessageWindow("host");
        SetWindowProc(wnd_, Counter);
    }
    void TearDown() override {
        DestroyWindow(wnd_);
        InstallLoopHost(previous_);
        EXPECT_EQ(g_outsideHost, 0) << "the loop ran outside the host's turn";
    }
    // Runs `wait` and reports how many host turns and how much processor time it took.
    template <typename F>
    void Measure(F wait, int* turns, double* cpu, double* seconds) {
        int t0 = g_turns;
        double c0 = testutil::CpuSeconds();
        auto s0 = std::chrono::steady_clock::now();
        wait();
        *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - s0).count();
        *cpu = testutil::CpuSeconds() - c0;
        *turns = g_turns - t0;
    }

    LoopHostIteration previous_;
    HWND wnd_ = 0;
};

}  // namespace

TEST(LoopHost, TheDescriptorAndTimeOutSayWhenTheLoopHasWork) {
    HWND h = CreateMessageWindow("due");
    ASSERT_GE(LoopBackendFd(), 0);
    PumpMessages();
    EXPECT_EQ(LoopTimeoutMs(), -1);
    // A post from this thread: due at once, with no wake-up needed.
    PostMessageA(h, kPing, 0, 0);
    EXPECT_EQ(LoopTimeoutMs(), 0);
    EXPECT_TRUE(LoopRunReady());
    EXPECT_FALSE(LoopRunReady());
    EXPECT_EQ(LoopTimeoutMs(), -1);
    // A timer: due in at most its interval.
    SetTimer(h, 1, 500);
    int due = LoopTimeoutMs();
    EXPECT_GT(due, 0);
    EXPECT_LE(due, 500);
    KillTimer(h, 1);
    EXPECT_EQ(LoopTimeoutMs(), -1);
    // A post from another thread makes the descriptor readable.
    pollfd p{LoopBackendFd(), POLLIN, 0};
    EXPECT_EQ(poll(&p, 1, 0), 0);
    std::thread([h] { PostMessageA(h, kPing, 0, 0); }).join();
    EXPECT_EQ(poll(&p, 1, 2000), 1);
    EXPECT_TRUE(LoopRunReady());
    EXPECT_EQ(poll(&p, 1, 0), 0);
    DestroyWindow(h);
}

TEST_F(LoopHostTest, PostsTimersAndQuitsArriveThroughTheHost) {
    // Posts from this thread and another one, and timer ticks, during PumpUntil.
    PostMessageA(wnd_, kPing, 0, 0);
    std::thread poster([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        PostMessageA(wnd_, kPing, 0, 0);
    });
    SetTimer(wnd_, 1, 30);
    EXPECT_TRUE(PumpUntil([] { return g_delivered >= 6; }, 5000));
    poster.join();
    KillTimer(wnd_, 1);

    // PumpMessages.
    int before = g_delivered;
    PostMessageA(wnd_, kPing, 0, 0);
    PumpMessages();
    EXPECT_EQ(g_delivered, before + 1);

    // RunMessageLoop, ended by a quit from another thread.
    HWND form = CreateTopLevelWindow("form");
    int turns = g_turns;
    std::thread quitter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        PostQuitMessage(5);
    });
    EXPECT_EQ(RunMessageLoop(), 5);
    quitter.join();
    EXPECT_GT(g_turns, turns);
    DestroyWindow(form);
}

TEST_F(LoopHostTest, AProcessWaitEndsThroughTheHostWithoutSpinning) {
    SetTimer(wnd_, 1, 100);
    pid_t child = ForkSleeper(400);
    HANDLE h = OpenProcess(PL_SYNCHRONIZE, false, static_cast<DWORD>(child));
    ASSERT_NE(h, 0u);
    int turns;
    double cpu, seconds;
    DWORD result = 0;
    Measure([&] { result = WaitForProcessPumping(h, 5000); }, &turns, &cpu, &seconds);
    EXPECT_EQ(result, PL_WAIT_OBJECT_0);
    EXPECT_GE(seconds, 0.35);
    EXPECT_GE(g_delivered, 2) << "the timer did not tick during the wait";
    // One turn per tick and one for the end, give or take.
    EXPECT_LE(turns, 20);
    EXPECT_LT(cpu, 0.05);
    KillTimer(wnd_, 1);
    CloseHandle(h);
    waitpid(child, nullptr, 0);
}

TEST_F(LoopHostTest, AnIdleWaitTakesAHandfulOfTurns) {
    int turns;
    double cpu, seconds;
    Measure([] { PumpUntil([] { return false; }, 300); }, &turns, &cpu, &seconds);
    EXPECT_GE(seconds, 0.29);
    EXPECT_GE(turns, 1);
    EXPECT_LE(turns, 5);
    EXPECT_LT(cpu, 0.05);
}

TEST(LoopHost, InstallingGivesBackThePreviousAndEmptyRestoresTheLoopsOwnWait) {
    static int s_other = 0;
    LoopHostIteration none = InstallLoopHost(HostTurn);
    EXPECT_FALSE(none);
    LoopHostIteration first = InstallLoopHost([](int ms) {
        ++s_other;
        return HostTurn(ms);
    });
    ASSERT_TRUE(first);
    int turns = g_turns;
    first(0);  // the one installed first: HostTurn itself
    EXPECT_EQ(g_turns, turns + 1);
    PumpUntil([] { return false; }, 20);
    EXPECT_GE(s_other, 1);

    EXPECT_TRUE(InstallLoopHost({}));
    turns = g_turns;
    int other = s_other;
    PumpUntil([] { return false; }, 20);
    PumpMessages();
    EXPECT_EQ(g_turns, turns);
    EXPECT_EQ(s_other, other);
}
