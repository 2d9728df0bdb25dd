// The idle time-out, with the smallest TimeOut (10 s). Two transfers run at once
// to keep the wait to one period: a server that never answers, and one that stops
// in the middle of the body. Then the deadline and the rate, in milliseconds.
#include <gtest/gtest.h>

#include "http/DownloadFile.h"
#include "platform/Window.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/ScriptedTransfer.h"
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

// The limits beside the idle time-out: a server that keeps the connection busy
// without bringing the file along (a byte now and then, trailer lines without
// end) is cut off by the deadline or the rate, and a steady one is not.
TEST(TimeOut, DeadlineAndRate) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 400\r\n\r\n";
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n";
    // `piece` `times` over, `ms` apart: never idle long enough for the idle
    // time-out. Then the connection stays open, or (`close`) the reply is whole.
    auto every = [](const std::string& first, const std::string& piece, int times, int ms, bool close = false) {
        std::vector<S::Step> steps{S::Send(first)};
        for (int i = 0; i < times; ++i) steps.insert(steps.end(), {S::Pause(ms), S::Send(piece)});
        if (!close) steps.push_back(S::Hold());
        return steps;
    };
    using F = DownloadFailure;
    const struct {
        const char* name;
        std::int32_t deadline, rateBytes, rateMs;
        std::vector<S::Step> script;
        F kind;
        std::uint64_t atLeast, atMost;  // ms from the start to the end
    } cases[] = {
        {"a byte now and then, under the rate", 0, 64, 1000, every(head, "d", 400, 150), F::TooSlow, 900, 3000},
        {"trailers without end, under the rate", 0, 64, 1000, every(chunked, "X-T: t\r\n", 400, 20), F::TooSlow,
         900, 3000},
        {"a byte now and then, past the deadline", 1500, 0, 0, every(head, "d", 400, 150), F::Overdue, 1400, 3500},
        {"steady, within both", 5000, 100, 1000, every(head, std::string(100, 's'), 4, 200, true), F::None, 0, 4000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTransfer x(c.script);
        x.d.SetDeadline(c.deadline);
        x.d.SetMinRate(c.rateBytes, c.rateMs);
        const std::uint64_t start = plat::TickCount();
        ASSERT_TRUE(x.t.Run(10000));
        const std::uint64_t took = plat::TickCount() - start;
        EXPECT_EQ(x.d.LastFailure(), c.kind) << x.t.errorText;
        EXPECT_EQ(x.t.errorNumber, c.kind == F::None ? 0 : 10008) << x.t.errorText;
        EXPECT_GE(took, c.atLeast);
        EXPECT_LE(took, c.atMost);
        EXPECT_FALSE(x.d.IsBusy());
        EXPECT_TRUE(x.t.finished);
    }
}
