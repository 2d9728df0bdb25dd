#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/Window.h"
#include "tests/common/TestUtil.h"

using namespace plat;

namespace {

std::vector<std::pair<UINT, WPARAM>> g_seen;
WindowProc g_prev = nullptr;

LRESULT Recorder(HWND, UINT msg, WPARAM w, LPARAM) {
    g_seen.emplace_back(msg, w);
    return 7;
}

LRESULT Subclass(HWND h, UINT msg, WPARAM w, LPARAM l) {
    if (msg == PL_WM_USER + 1) return 42;
    return CallWindowProcA(g_prev, h, msg, w, l);
}

}  // namespace

TEST(RegisteredMessages, SameNameSameNumberAcrossCase) {
    UINT a = RegisterWindowMessageA("novalink.WinsockMessage");
    UINT b = RegisterWindowMessageA("NOVALINK.winsockmessage");
    UINT c = RegisterWindowMessageA("novalink.ResolveMessage");
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);
    EXPECT_EQ(RegisterWindowMessageA(""), 0u);
}

TEST(MessageWindows, SubclassPostAndDestroy) {
    g_seen.clear();
    HWND h = CreateMessageWindow("tarnSOCKET_WINDOW");
    ASSERT_NE(h, 0u);
    EXPECT_EQ(GetWindowTextA(h), "tarnSOCKET_WINDOW");
    ASSERT_NE(SetWindowProc(h, Recorder), nullptr);
    g_prev = SetWindowProc(h, Subclass);
    EXPECT_EQ(g_prev, &Recorder);
    // The subclass answers its own message and passes the others on.
    EXPECT_EQ(SendMessageA(h, PL_WM_USER + 1, 0, 0), 42);
    EXPECT_EQ(SendMessageA(h, PL_WM_USER + 2, 5, 0), 7);
    ASSERT_EQ(g_seen.size(), 1u);

    // Posted messages arrive in order, only when the loop runs.
    PostMessageA(h, PL_WM_USER + 3, 1, 0);
    PostMessageA(h, PL_WM_USER + 3, 2, 0);
    EXPECT_EQ(g_seen.size(), 1u);
    PumpMessages();
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[1].second, 1u);
    EXPECT_EQ(g_seen[2].second, 2u);

    // A message still queued when the window goes is dropped, and the handle is
    // not reused by the next window.
    PostMessageA(h, PL_WM_USER + 3, 3, 0);
    EXPECT_TRUE(DestroyWindow(h));
    EXPECT_EQ(g_seen.back().first, PL_WM_DESTROY);
    size_t before = g_seen.size();
    HWND h2 = CreateMessageWindow("again");
    EXPECT_NE(h2, h);
    PumpMessages();
    EXPECT_EQ(g_seen.size(), before);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_FALSE(DestroyWindow(h));
    DestroyWindow(h2);
}

TEST(MessageWindows, PostFromAnotherThreadWakesTheLoop) {
    g_seen.clear();
    HWND h = CreateMessageWindow("x");
    SetWindowProc(h, Recorder);
    std::thread t([h] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        PostMessageA(h, PL_WM_USER + 9, 99, 0);
    });
    bool got = PumpUntil([] { return !g_seen.empty(); }, 5000);
    t.join();
    EXPECT_TRUE(got);
    ASSERT_FALSE(g_seen.empty());
    EXPECT_EQ(g_seen[0].second, 99u);
    DestroyWindow(h);
}

namespace {
int g_ticks50 = 0, g_ticks20 = 0;
HWND g_timerWnd = 0;
LRESULT TimerProc(HWND h, UINT msg, WPARAM w, LPARAM) {
    if (msg != PL_WM_TIMER) return 0;
    if (w == 1) {
        // A one-shot: the handler kills its own timer, as the start delay does.
        ++g_ticks50;
        KillTimer(h, 1);
    } else if (w == 2) {
        ++g_ticks20;
        if (g_ticks20 == 5) DestroyWindow(h);
    }
    return 0;
}
}  // namespace

TEST(Timers, OneShotRepeatingAndDestroyedInHandler) {
    g_timerWnd = CreateMessageWindow("timers");
    SetWindowProc(g_timerWnd, TimerProc);
    auto start = TickCount();
    ASSERT_TRUE(SetTimer(g_timerWnd, 1, 50));
    ASSERT_TRUE(SetTimer(g_timerWnd, 2, 20));
    PumpUntil([] { return !IsWindow(g_timerWnd); }, 5000);
    auto elapsed = TickCount() - start;
    EXPECT_EQ(g_ticks50, 1);
    EXPECT_EQ(g_ticks20, 5);
    EXPECT_GE(elapsed, 100u);
    // Nothing is delivered after the window is gone.
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(g_ticks20, 5);
    EXPECT_FALSE(SetTimer(g_timerWnd, 3, 10));
}

TEST(MessageLoop, EndsWithTheLastTopLevelWindowAndIdlesWithoutCpu) {
    HWND form = CreateTopLevelWindow("form");
    HWND helper = CreateMessageWindow("helper");
    static HWND s_form;
    s_form = form;
    SetWindowProc(helper, [](HWND h, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == PL_WM_TIMER) {
            KillTimer(h, 1);
            DestroyWindow(s_form);
        }
        return 0;
    });
    SetTimer(helper, 1, 1000);
    double cpu0 = testutil::CpuSeconds();
    auto t0 = TickCount();
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_GE(TickCount() - t0, 900u);
    // A second of waiting must cost next to nothing: the loop blocks.
    EXPECT_LT(testutil::CpuSeconds() - cpu0, 0.05);
    EXPECT_FALSE(IsWindow(form));
    DestroyWindow(helper);
}

namespace {
constexpr UINT kOrdered = PL_WM_USER + 20;
std::vector<WPARAM> g_order;
size_t g_seenWhenNestedReturned = 0;
void (*g_nested)(HWND) = nullptr;  // what the handler of message 1 does

LRESULT OrderProc(HWND h, UINT msg, WPARAM w, LPARAM) {
    if (msg != kOrdered) return 0;
    g_order.push_back(w);
    if (w == 1) {
        g_nested(h);
        g_seenWhenNestedReturned = g_order.size();
    }
    return 0;
}
}  // namespace

TEST(MessageLoop, AHandlerThatPumpsGetsTheNextMessagesInOrder) {
    struct Case {
        const char* name;
        void (*nested)(HWND);
        std::vector<WPARAM> order;
        size_t seenWhenNestedReturned;
    };
    const Case cases[] = {
        {"PumpMessages", [](HWND) { PumpMessages(); }, {1, 2, 3}, 3},
        {"post 4, PumpMessages",
         [](HWND h) {
             PostMessageA(h, kOrdered, 4, 0);
             PumpMessages();
         },
         {1, 2, 3, 4}, 4},
        {"PumpUntil all", [](HWND) { PumpUntil([] { return g_order.size() == 3; }, 2000); }, {1, 2, 3}, 3},
        {"post 4, PumpUntil",
         [](HWND h) {
             PostMessageA(h, kOrdered, 4, 0);
             PumpUntil([] { return g_order.size() == 4; }, 2000);
         },
         {1, 2, 3, 4}, 4},
    };
    for (const auto& c : cases) {
        HWND h = CreateMessageWindow("ordered");
        SetWindowProc(h, OrderProc);
        g_order.clear();
        g_nested = c.nested;
        for (WPARAM i = 1; i <= 3; ++i) PostMessageA(h, kOrdered, i, 0);
        PumpMessages();
        EXPECT_EQ(g_order, c.order) << c.name;
        EXPECT_EQ(g_seenWhenNestedReturned, c.seenWhenNestedReturned) << c.name;
        DestroyWindow(h);
    }
}

TEST(Timers, ATickDeliveredByANestedPumpIsNotDeliveredAgain) {
    static std::vector<WPARAM> s_ticks;
    s_ticks.clear();
    HWND h = CreateMessageWindow("nested timers");
    SetWindowProc(h, [](HWND hw, UINT msg, WPARAM w, LPARAM) -> LRESULT {
        if (msg != PL_WM_TIMER) return 0;
        s_ticks.push_back(w);
        if (w == 1) {
            KillTimer(hw, 1);
            PumpMessages();
        }
        return 0;
    });
    // Both timers are overdue when the loop next runs; 1, set last, is due first
    // however late this thread runs, and its handler's pump delivers the tick
    // of 2.
    ASSERT_TRUE(SetTimer(h, 2, 300));
    ASSERT_TRUE(SetTimer(h, 1, 10));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    PumpMessages();
    EXPECT_EQ(s_ticks, (std::vector<WPARAM>{1, 2}));
    DestroyWindow(h);
}
