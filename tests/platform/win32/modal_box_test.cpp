// While a message box of the system is open, the loop keeps running: a download
// from nginx, started just before the box opened (its sockets' messages all
// come through the loop), goes on to its end under the box, whether the box has
// an owner form or none, and the box then answers as the user pressed it.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/Forms.h"
#include "tests/common/NginxServer.h"
#include "tests/common/TestUtil.h"
#include "tests/common/TransferHarness.h"

using namespace testutil;

namespace {

constexpr wchar_t kCaption[] = L"Novalink loop test";
constexpr UINT kTick = 1;
constexpr std::size_t kSize = 2 * 1024 * 1024;

// What the timer sees while the box is open.
struct Watch {
    Transfer* transfer = nullptr;
    bool doneUnderBox = false;
    int ticks = 0;
};
Watch g_watch;

// Every tick looks for the box; once the transfer is over (or after 30 s, so
// that a stuck transfer fails the test instead of hanging it), it presses OK.
plat::LRESULT TickProc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM w, plat::LPARAM l) {
    if (msg != plat::PL_WM_TIMER) return plat::DefWindowProcA(hwnd, msg, w, l);
    ++g_watch.ticks;
    ::HWND box = ::FindWindowW(L"#32770", kCaption);
    if (!box) return 0;
    const bool done = g_watch.transfer->Done();
    if (done || g_watch.ticks > 600) {
        g_watch.doneUnderBox = done;
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    return 0;
}

plat::LRESULT FormProc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM w, plat::LPARAM l) {
    return plat::DefWindowProcA(hwnd, msg, w, l);
}

class ModalBox : public ::testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite() {
        nginx_ = new NginxServer();
        nginx_->Put("f.bin", std::string(kSize, 'x'));
    }
    static void TearDownTestSuite() {
        delete nginx_;
        nginx_ = nullptr;
    }
    static NginxServer* nginx_;
};
NginxServer* ModalBox::nginx_ = nullptr;

TEST_P(ModalBox, ADownloadRunsToItsEndWhileTheBoxIsOpen) {
    ASSERT_TRUE(nginx_->Running()) << nginx_->ErrorLog();
    TempDir dir;
    nl::DownloadFile d;
    Transfer t(d);
    d.SetServer("127.0.0.1");
    d.SetPort(nginx_->Port());
    d.SetURL("/f.bin");
    d.SetLocalFileName(dir / "f.bin");
    g_watch = Watch{&t};

    plat::HWND owner = 0;
    if (GetParam()) {
        plat::FormSpec spec;
        spec.caption = "Owner";
        spec.clientWidth = 3000;
        spec.clientHeight = 1500;
        owner = plat::CreateForm(spec, &FormProc);
        ASSERT_NE(owner, 0u);
        ASSERT_TRUE(plat::ShowForm(owner, true));
    }
    plat::HWND ticker = plat::CreateMessageWindow("ticker");
    plat::SetWindowProc(ticker, &TickProc);
    ASSERT_TRUE(plat::SetTimer(ticker, kTick, 50));

    d.StartDownload();
    ASSERT_FALSE(t.Done());
    const int answer = plat::MessageBoxA(owner, "A download is running.", "Novalink loop test",
                                         plat::PL_MB_OK | plat::PL_MB_ICONINFORMATION);
    EXPECT_EQ(answer, plat::PL_IDOK);
    EXPECT_TRUE(g_watch.doneUnderBox) << "the transfer did not end while the box was open";
    EXPECT_TRUE(t.finished) << t.errorNumber << " " << t.errorText;
    EXPECT_EQ(ReadFile(dir / "f.bin").size(), kSize);

    plat::DestroyWindow(ticker);
    if (owner) plat::DestroyWindow(owner);
}

INSTANTIATE_TEST_SUITE_P(Owners, ModalBox, ::testing::Values(false, true),
                         [](const auto& p) { return p.param ? "OwnedByAForm" : "WithoutOwner"; });

}  // namespace
