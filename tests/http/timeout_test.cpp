// The idle time-out, with the smallest TimeOut (10 s). Two transfers run at once
// to keep the wait to one period: a server that never answers, and one that stops
// in the middle of the body.
#include <gtest/gtest.h>

#include "http/DownloadFile.h"
#include "platform/Window.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/TestUtil.h"
#include "tests/common/TransferHarness.h"

using namespace nl;
using namespace testutil;
using S = ScriptedServer;

TEST(TimeOut, SilentServerAndStallMidBody) {
    TempDir dir;
    S silent({S::Hold()});
    S stall({S::Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(300, 's')), S::Hold()});

    DownloadFile a, b;
    for (auto [d, s, name] : {std::tuple{&a, &silent, "a"}, std::tuple{&b, &stall, "b"}}) {
        d->SetServer("127.0.0.1");
        d->SetPort(s->Port());
        d->SetURL("/x");
        d->SetLocalFileName(dir / name);
        d->SetTimeOut(10);
    }
    Transfer ta(a), tb(b);
    a.StartDownload();
    b.StartDownload();
    ASSERT_TRUE(plat::PumpUntil([&] { return ta.Done() && tb.Done(); }, 20000));

    for (Transfer* t : {&ta, &tb}) {
        EXPECT_EQ(t->errorNumber, 10008);
        EXPECT_EQ(t->errorText, "Time out.");
        EXPECT_EQ(t->d.LastFailure(), DownloadFailure::TimedOut);
        // The 11th tick after the request went out (or after the last block).
        ASSERT_GT(t->sendCompleteAt, 0u);
        const auto waited = t->errorAt - t->sendCompleteAt;
        EXPECT_GE(waited, 10900u);
        EXPECT_LE(waited, 13500u);
        EXPECT_TRUE(t->finished);
        EXPECT_FALSE(t->d.IsBusy());
    }
    EXPECT_EQ(ta.Events(), Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Error", "Close", "Finish"}));
    EXPECT_EQ(tb.Events(),
              Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Data", "Error", "Close", "Finish"}));
    // The bytes that came stay for a later resume.
    EXPECT_EQ(ReadFile(dir / "b"), std::string(300, 's'));
    EXPECT_EQ(b.DownloadedSize(), 300);
}
