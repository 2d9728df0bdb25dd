// Transfers and their owner: an owner that destroys the control or starts it again
// inside its events, handlers that fail, and other owners letting go of their
// sockets. No socket to be had is in tests/platform/posix/no_descriptor_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "http/DownloadFile.h"
#include "net/CSocket.h"
#include "platform/Window.h"
#include "support/ErrorReport.h"
#include "tests/common/Events.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/SocketService.h"
#include "tests/common/TestUtil.h"
#include "tests/common/TransferHarness.h"

using namespace nl;
using namespace testutil;
using S = ScriptedServer;

TEST(Transfer, OwnerMayDestroyTheControlInsideEvents) {
    TempDir dir;
    for (const char* when : {"Data", "Error", "Finish", "Close"}) {
        S server({S::Send(std::string(when) == "Error" ? "HTTP/1.1 500 Oops\r\n\r\n" : Ok(std::string(3000, 'q')))});
        auto* d = new DownloadFile;
        Aim(*d, server, dir / "out");
        bool gone = false;
        auto kill = [&] {
            if (!gone) {
                gone = true;
                delete d;
            }
        };
        if (std::string(when) == "Data") d->OnDataDownloaded = [&](std::int32_t) { kill(); };
        if (std::string(when) == "Error") d->OnError = [&](std::int32_t, const std::string&) { kill(); };
        if (std::string(when) == "Finish") d->OnFinish = [&] { kill(); };
        if (std::string(when) == "Close") d->OnClose = [&] { kill(); };
        d->StartDownload();
        EXPECT_TRUE(plat::PumpUntil([&] { return gone; }, 10000)) << when;
        plat::PumpUntil([] { return false; }, 50);
        if (!gone) delete d;
    }
}

TEST(Transfer, OwnerMayStartAgainInsideEvents) {
    // An owner that starts the next transfer from inside an event of the one that
    // is ending gets that next transfer whole, whatever was still on the stack.
    struct Case {
        const char* when;
        std::string firstReply;
        bool cancelFirst;
        bool hold = true;  // the first server keeps its connection open
    };
    const std::vector<Case> cases = {
        {"Finish", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", false},  // the error path
        {"Finish", "HTTP/1.1 404 Not Found\r\n\r\n", false},                // a refused reply
        {"Finish", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", false, false},  // cut short
        {"Connect", Ok("first"), true},
        {"SendProgress", Ok("first"), true},
        {"SendComplete", Ok("first"), true},
        {"Data", Ok(std::string(3000, 'q')), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.when) + " after " + c.firstReply.substr(0, c.firstReply.find("\r\n\r\n")));
        TempDir dir;
        S first(c.hold ? std::vector<S::Step>{S::Send(c.firstReply), S::Hold()}
                       : std::vector<S::Step>{S::Send(c.firstReply)});
        S second({S::Send(Ok("second body"))});
        DownloadFile d;
        Aim(d, first, dir / "out");
        int finishes = 0;
        bool restarted = false;
        std::vector<std::int32_t> laterErrors;
        auto again = [&] {
            if (restarted) return;
            restarted = true;
            if (c.cancelFirst) d.CancelDownload();
            d.SetPort(second.Port());
            d.StartDownload();
        };
        d.OnFinish = [&] {
            ++finishes;
            if (std::string(c.when) == "Finish") again();
        };
        d.OnError = [&](std::int32_t n, const std::string&) {
            if (restarted) laterErrors.push_back(n);
        };
        if (std::string(c.when) == "Connect") d.OnConnect = again;
        if (std::string(c.when) == "SendProgress") d.OnSendProgress = [&](std::int32_t, std::int32_t) { again(); };
        if (std::string(c.when) == "SendComplete") d.OnSendComplete = again;
        if (std::string(c.when) == "Data") d.OnDataDownloaded = [&](std::int32_t) { again(); };
        d.StartDownload();
        if (!plat::PumpUntil([&] { return finishes >= 2; }, 5000)) {
            ADD_FAILURE() << "the second transfer never ended";
            continue;
        }
        EXPECT_TRUE(restarted);
        EXPECT_TRUE(laterErrors.empty()) << laterErrors.front();
        EXPECT_EQ(ReadFile(dir / "out"), "second body");
        EXPECT_EQ(d.DownloadedSize(), 11);
        EXPECT_FALSE(d.IsBusy());
        EXPECT_EQ(second.Connections(), 1);
    }
}

TEST(Transfer, FailingOwnerHandlersDoNotStopTheTransfer) {
    // An owner's handler that fails (here: a guarded property set while busy) is
    // one failed step; the control goes on and still ends the transfer.
    struct Case {
        const char* when;
        std::string reply;
        bool hold;
        std::int32_t error;
    };
    const std::vector<Case> cases = {
        {"Error", "HTTP/1.1 404 Not Found\r\n\r\n", true, 10003},
        {"Error", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n", true, 10005},
        {"Error", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", false, 10007},
        {"Data", Ok(std::string(5000, 'd')), false, 0},
        {"Connect", Ok("abc"), false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.when) + " after " + c.reply.substr(0, c.reply.find("\r\n\r\n")));
        TempDir dir;
        S server(c.hold ? std::vector<S::Step>{S::Send(c.reply), S::Hold()} : std::vector<S::Step>{S::Send(c.reply)});
        DownloadFile d;
        Aim(d, server, dir / "out");
        Transfer t(d);
        int failures = 0;
        auto fail = [&] {
            ++failures;
            d.SetURL("/changed");
        };
        auto error = d.OnError;
        if (std::string(c.when) == "Error")
            d.OnError = [&](std::int32_t n, const std::string& text) {
                error(n, text);
                fail();
            };
        auto data = d.OnDataDownloaded;
        if (std::string(c.when) == "Data")
            d.OnDataDownloaded = [&](std::int32_t n) {
                data(n);
                fail();
            };
        auto connect = d.OnConnect;
        if (std::string(c.when) == "Connect")
            d.OnConnect = [&] {
                connect();
                fail();
            };
        d.StartDownload();
        if (!plat::PumpUntil([&] { return t.finished; }, 5000)) {
            ADD_FAILURE() << "no finish";
            continue;
        }
        EXPECT_GT(failures, 0);
        EXPECT_EQ(t.errorNumber, c.error);
        EXPECT_EQ(t.events.back(), "Finish");
        EXPECT_FALSE(d.IsBusy());
        EXPECT_EQ(d.URL(), "/f.bin");
        if (c.error == 0) {
            EXPECT_EQ(ReadFile(dir / "out"), c.reply.substr(c.reply.find("\r\n\r\n") + 4));
        }
    }
}

TEST(Transfer, TwoInARowWhileAnotherOwnerLetsGoOfItsSocket) {
    TempDir dir;
    DownloadFile d;
    {
        // Where start-ups are counted per process (Windows) the test's own server
        // is a user of the socket service too: the first transfer has a server of
        // its own, gone with it.
        S first({S::Send(Ok("body"))});
        Aim(d, first, dir / "out");
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(t.Events(), kSuccess);
        EXPECT_EQ(first.Connections(), 1);
    }
    // The first transfer's socket object is gone with it, and with it the last
    // user of the socket service.
    EXPECT_FALSE(WinsockRunning());
    WriteFile(dir / "out", "");
    S server({S::Send(Ok("body"))});
    Aim(d, server, dir / "out");
    {
        // The second transfer's new socket waits for its connection attempt while
        // other owners let go of socket objects that hold no socket.
        Transfer t(d);
        d.StartDownload();
        { CSocket other; }
        {
            DownloadFile e;
            Aim(e, server, dir / "other");
            e.StartDownload();
        }
        ASSERT_TRUE(plat::PumpUntil([&] { return t.Done(); }, 10000));
        EXPECT_EQ(t.errorNumber, 0) << t.errorText;
        EXPECT_EQ(t.Events(), kSuccess);
        EXPECT_EQ(ReadFile(dir / "out"), "body");
    }
    EXPECT_EQ(server.Connections(), 1);
}
