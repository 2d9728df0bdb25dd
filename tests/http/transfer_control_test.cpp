// Starting, refusing and cancelling transfers: requests that cannot be composed,
// cancels, a second start while busy, hosts that are empty, unknown or refuse, and
// the exact request bytes sent directly and through a proxy.
#include <gtest/gtest.h>

#include <string>

#include "http/DownloadFile.h"
#include "platform/Window.h"
#include "tests/common/Events.h"
#include "tests/common/ScriptedTransfer.h"

using namespace nl;
using namespace testutil;
using S = ScriptedServer;

TEST(Transfer, RequestThatCannotBeComposedEndsTheTransfer) {
    // Credentials too long to encode: the failure is reported at once instead of
    // leaving a connection open with nothing sent and no time-out running.
    ScriptedTransfer x({S::Send(Ok("x")), S::Hold()});
    x.d.SetUserName(std::string(40000, 'u'));
    ASSERT_TRUE(x.t.Run(5000));
    EXPECT_EQ(x.t.errorNumber, 6);
    EXPECT_EQ(x.t.Events(), Seq({"BeforeConnect", "Connect", "Error", "Close", "Finish"}));
    EXPECT_FALSE(x.d.IsBusy());
    plat::PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(x.server.Requests().empty());
}

TEST(Transfer, CancelWhileResolvingAndWhileReceiving) {
    {
        ScriptedTransfer x({S::Send(Ok("x"))});
        DownloadFile& d = x.d;
        Transfer& t = x.t;
        d.SetServer("localhost");
        bool closedInside = false, cancelled = false;
        d.OnStateChange = [&](std::int32_t state, const std::string&) {
            if (state == 1 && !cancelled) {
                cancelled = true;
                d.CancelDownload();
                closedInside = t.finished && !d.IsBusy();
            }
        };
        ASSERT_TRUE(t.Run());
        EXPECT_TRUE(cancelled);
        EXPECT_TRUE(closedInside);
        EXPECT_EQ(t.errorNumber, 0);
        EXPECT_EQ(t.Events(), Seq({"BeforeConnect", "Close", "Finish"}));
    }
    {
        ScriptedTransfer x(
            {S::Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(500, 'z')), S::Hold()});
        DownloadFile& d = x.d;
        Transfer& t = x.t;
        bool closedInside = false;
        d.OnDataDownloaded = [&](std::int32_t n) {
            t.blocks.push_back(n);
            d.CancelDownload();
            closedInside = t.finished && !d.IsBusy();
        };
        ASSERT_TRUE(t.Run());
        EXPECT_TRUE(closedInside);
        EXPECT_EQ(t.errorNumber, 0);  // a cancel is not a truncation
        EXPECT_EQ(t.Events(), Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Close", "Finish"}));
        EXPECT_EQ(x.Out(), std::string(500, 'z'));
        d.CancelDownload();  // idle: nothing happens
        EXPECT_EQ(t.Events().back(), "Finish");
        plat::PumpUntil([&] { return x.server.ClientClosed(); }, 2000);
        EXPECT_TRUE(x.server.ClientClosed());
    }
}

TEST(Transfer, SecondStartWhileBusyAndGuardedSetters) {
    ScriptedTransfer x({S::Pause(200), S::Send(Ok("payload"))});
    DownloadFile& d = x.d;
    d.StartDownload();
    EXPECT_TRUE(d.IsBusy());
    d.StartDownload();  // ignored
    ExpectRaised([&] { d.SetURL("/other"); }, 10001, "", "Job is running,This property is read-only",
                 "URL set while busy");
    EXPECT_EQ(d.URL(), "/f.bin");
    d.SetUserName("allowed");
    ASSERT_TRUE(plat::PumpUntil([&] { return x.t.Done(); }, 10000));
    EXPECT_EQ(x.t.errorNumber, 0);
    EXPECT_EQ(x.server.Connections(), 1);
    EXPECT_EQ(x.Out(), "payload");
}

TEST(Transfer, EmptyServerIsRefusedAtOnce) {
    DownloadFile d;
    ExpectRaised([&] { d.StartDownload(); }, 10002, "", "Invalid host name.");
    EXPECT_FALSE(d.IsBusy());
}

TEST(Transfer, UnresolvableHostAndRefusedPort) {
    TempDir dir;
    {
        DownloadFile d;
        d.SetServer("no-such-host.invalid");
        d.SetLocalFileName(dir / "a");
        Transfer t(d);
        ASSERT_TRUE(t.Run(20000));
        EXPECT_EQ(t.errorNumber, 10008);
        EXPECT_EQ(t.errorText, "Cannot resolve host name");
        EXPECT_EQ(t.Events(), Seq({"BeforeConnect", "Error", "Close", "Finish"}));
    }
    {
        DownloadFile d;
        d.SetServer("127.0.0.1");
        d.SetPort(FreeLoopbackPort());
        d.SetLocalFileName(dir / "b");
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(t.errorNumber, 10061);
        // The socket has closed its handle itself: no close or finish follows.
        EXPECT_EQ(t.Events(), Seq({"BeforeConnect", "Error"}));
        EXPECT_FALSE(d.IsBusy());
    }
}

TEST(Transfer, ExactRequestBytesDirectAndThroughAProxy) {
    TempDir dir;
    WriteFile(dir / "part", "12345");
    {
        ScriptedTransfer x({S::Send(Ok("x"))}, "/download/blmnl.cfg");
        x.d.SetHTTPVersion(0);
        // The Host header names the port, which is not http's 80.
        const std::string host = "127.0.0.1:" + std::to_string(x.server.Port());
        const std::string expected =
            "GET /download/blmnl.cfg HTTP/1.0\r\nHost: " + host + "\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
            "User-Agent: Tarnwick Hurrycast!(http://www.tarnwick.example/)\r\n"
            "Referer: http://" + host + "/download\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n"
            "Connection: close\r\n\r\n";
        EXPECT_EQ(x.d.GetHttpHead(), expected);
        ASSERT_TRUE(x.t.Run());
        EXPECT_EQ(x.server.Requests().at(0), expected);
    }
    {
        // Resumed, credentialed HTTP/1.1 through a proxy: the request goes to the proxy in absolute form.
        S proxy({S::Send("HTTP/1.1 206 Partial\r\nContent-Range: bytes 5-9/10\r\n\r\n67890")});
        DownloadFile d;
        d.SetServer("files.example");
        d.SetPort(8080);
        d.SetURL("/pkg/a.bin");
        d.SetProxyServer("127.0.0.1");
        d.SetProxyPort(proxy.Port());
        d.SetProxyUserName("pu");
        d.SetProxyPassword("pp");
        d.SetUserName("u");
        d.SetUserPassword("p");
        d.SetHTTPVersion(1);
        d.SetLocalFileName(dir / "part");
        d.SetWhileFileExist(1);
        const std::string expected =
            "GET http://files.example:8080/pkg/a.bin HTTP/1.1\r\nHost: files.example:8080\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
            "User-Agent: Tarnwick Hurrycast!(http://www.tarnwick.example/)\r\n"
            "Referer: http://files.example:8080/pkg\r\nAuthorization: Basic dTpw\r\n"
            "Proxy-Authorization: Basic cHU6cHA=\r\nProxy-Connection: Keep-Alive\r\nRange: bytes=5-\r\n"
            "Pragma: no-cache\r\nCache-Control: no-cache\r\nConnection: close\r\n\r\n";
        EXPECT_EQ(d.GetHttpHead(), expected);
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(t.errorNumber, 0);
        EXPECT_EQ(proxy.Requests().at(0), expected);
        EXPECT_EQ(ReadFile(dir / "part"), "1234567890");
    }
}
