// Posts from the loop's own thread are delivered without a wake-up write, and a
// consumed wake-up (Quit) leaves nothing behind that keeps the loop spinning.
#include <gtest/gtest.h>

#include "platform/Window.h"
#include "tests/common/TestUtil.h"

using namespace plat;

namespace {

int g_count = 0;
LRESULT Count(HWND, UINT, WPARAM, LPARAM) {
    ++g_count;
    return 0;
}

}  // namespace

TEST(LoopWake, OwnThreadPostsAndQuitLeaveTheLoopIdle) {
    HWND form = CreateTopLevelWindow("form");
    HWND h = CreateMessageWindow("counter");
    SetWindowProc(h, Count);
    // Posted from this thread while the loop has run before: delivered at the
    // next turn, with no time-out needed.
    PumpMessages();
    PostMessageA(h, PL_WM_USER, 0, 0);
    EXPECT_TRUE(PumpUntil([] { return g_count == 1; }, 2000));
    // A posted message handled inside the loop that posts again.
    PostMessageA(h, PL_WM_USER, 0, 0);
    PostMessageA(h, PL_WM_USER, 0, 0);
    EXPECT_TRUE(PumpUntil([] { return g_count == 3; }, 2000));

    PostQuitMessage(3);
    EXPECT_EQ(RunMessageLoop(), 3);
    // The wake-up that carried the quit is gone: waiting costs nothing.
    double before = testutil::CpuSeconds();
    PumpUntil([] { return false; }, 300);
    EXPECT_LT(testutil::CpuSeconds() - before, 0.05);
    DestroyWindow(h);
    DestroyWindow(form);
}
