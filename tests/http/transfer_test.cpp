// Whole transfers against a scripted loopback server, for the replies and faults
// real servers do not produce on demand.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "http/DownloadFile.h"
#include "net/CSocket.h"
#include "net/MSocketSupport.h"
#include "platform/Window.h"
#include "support/ErrorReport.h"
#include "tests/common/DescriptorLimit.h"
#include "tests/common/NginxServer.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/TestUtil.h"
#include "tests/http/TransferHarness.h"

using namespace nl;
using namespace testutil;
using S = ScriptedServer;

namespace {

std::string Ok(const std::string& body, const std::string& extra = "") {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
}

void Aim(DownloadFile& d, const ScriptedServer& s, const std::string& file, const std::string& path = "/f.bin") {
    d.SetServer("127.0.0.1");
    d.SetPort(s.Port());
    d.SetURL(path);
    d.SetLocalFileName(file);
}

const auto kSuccess = Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Data", "Close", "Finish"});

}  // namespace

TEST(Transfer, HeaderSplitAcrossBlocksWithTheBlankLineSplit) {
    TempDir dir;
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n";
    S server({S::Send("HTTP/1.1 200 OK\r\nContent-Len"), S::Pause(60), S::Send("gth: 10\r\n\r"), S::Pause(60),
              S::Send("\n0123456789")});
    DownloadFile d;
    Aim(d, server, dir / "out");
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.Events(), kSuccess);
    EXPECT_EQ(t.errorNumber, 0);
    EXPECT_EQ(d.ReceiveHead(), head);
    EXPECT_EQ(ReadFile(dir / "out"), "0123456789");
    EXPECT_EQ(d.DownloadedSize(), 10);
    EXPECT_EQ(d.DownloadFileSize(), 10);
    EXPECT_EQ(t.blocks, std::vector<std::int32_t>{10});
    EXPECT_FALSE(d.IsBusy());
    EXPECT_EQ(d.StateCode(), 0);
    EXPECT_EQ(d.ProgressLabel().Caption, "100%");
}

TEST(Transfer, OneByteBlocks) {
    TempDir dir;
    const std::string body = "abcdefghijklmnopqrst";
    S server(S::Trickle(Ok(body), 3));
    DownloadFile d;
    Aim(d, server, dir / "out");
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, 0) << t.errorText;
    EXPECT_EQ(ReadFile(dir / "out"), body);
    EXPECT_EQ(d.DownloadedSize(), 20);
    std::int32_t sum = 0;
    for (auto b : t.blocks) sum += b;
    EXPECT_EQ(sum, 20);
    EXPECT_GT(t.blocks.size(), 1u);
}

TEST(Transfer, FirstBlockEndingAtTheBlankLineWritesNothingYet) {
    TempDir dir;
    S server({S::Send("HTTP/1.0 200 OK\r\nContent-Length: 1024\r\n\r\n"), S::Pause(150),
              S::Send(std::string(256, 'a')), S::Pause(150), S::Send(std::string(768, 'b'))});
    DownloadFile d;
    d.Resize(4000, 300);
    Aim(d, server, dir / "out");
    Transfer t(d);
    std::string firstLabel;
    std::int32_t firstBar = -1;
    d.OnDataDownloaded = [&](std::int32_t n) {
        if (t.blocks.empty()) {
            firstLabel = d.ProgressLabel().Caption;
            firstBar = d.Surface().Rects().empty() ? -1 : d.Surface().Rects().back().x2;
        }
        t.blocks.push_back(n);
    };
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, 0);
    ASSERT_GE(t.blocks.size(), 2u);
    EXPECT_EQ(t.blocks[0], 256);  // no empty block for the header-only first block
    EXPECT_EQ(firstLabel, "25%");
    EXPECT_EQ(firstBar, 1000);
    EXPECT_EQ(ReadFile(dir / "out"), std::string(256, 'a') + std::string(768, 'b'));
}

TEST(Transfer, NoLengthOrZeroLengthMeansNothingLeft) {
    for (const std::string reply : {"HTTP/1.0 200 OK\r\n\r\nbody without a length",
                                    "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}) {
        TempDir dir;
        S server({S::Send(reply), S::Hold()});
        DownloadFile d;
        Aim(d, server, dir / "out");
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(t.errorNumber, 10005);
        EXPECT_EQ(t.errorText, "No data lefts");
        EXPECT_EQ(ReadFile(dir / "out"), "");
        EXPECT_TRUE(t.blocks.empty());
        EXPECT_EQ(t.Events(), Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Error", "Close",
                                   "Finish"}));
    }
}

TEST(Transfer, BytesBeyondTheAnnouncedSizeAreWritten) {
    TempDir dir;
    S server({S::Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n12345678")});
    DownloadFile d;
    Aim(d, server, dir / "out");
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, 0);
    EXPECT_EQ(ReadFile(dir / "out"), "12345678");
    EXPECT_EQ(d.DownloadedSize(), 8);
    EXPECT_EQ(d.DownloadFileSize(), 5);
}

TEST(Transfer, TruncatedBodyIsAnErrorAndResumesLater) {
    TempDir dir;
    const std::string body = RandomBytes(100, 7);
    {
        S server({S::Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + body.substr(0, 40))});
        DownloadFile d;
        Aim(d, server, dir / "out");
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(t.errorNumber, 10007);
        EXPECT_EQ(t.errorText, "The connection was closed before the whole file arrived");
        EXPECT_EQ(t.Events(), Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Data", "Error",
                                   "Close", "Finish"}));
        EXPECT_EQ(ReadFile(dir / "out"), body.substr(0, 40));  // kept for a resume
    }
    S server({S::Send("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 40-99/100\r\nContent-Length: 60\r\n\r\n" +
                      body.substr(40))});
    DownloadFile d;
    Aim(d, server, dir / "out");
    d.SetWhileFileExist(1);
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, 0);
    EXPECT_NE(server.Requests().at(0).find("\r\nRange: bytes=40-\r\n"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "out"), body);
    EXPECT_EQ(d.DownloadedSize(), 100);
    EXPECT_EQ(d.DownloadFileSize(), 100);
}

TEST(Transfer, ClosedBeforeAnyReplyIsAnError) {
    TempDir dir;
    S server({S::Send("HTTP/1.1 200 OK\r\nContent-")});
    DownloadFile d;
    Aim(d, server, dir / "out");
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, 10007);
    EXPECT_EQ(t.errorText, "The connection was closed before the reply header arrived");
    EXPECT_TRUE(t.finished);
}

TEST(Transfer, ChunkedBodyIsDecoded) {
    TempDir dir;
    const std::string entity = "Hello, chunked world! " + RandomBytes(3000, 3);
    std::string wire = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    wire += "16;name=x\r\n" + entity.substr(0, 22) + "\r\n";
    char size[16];
    std::snprintf(size, sizeof size, "%zx", entity.size() - 22);
    wire += std::string(size) + "\r\n" + entity.substr(22) + "\r\n0\r\nX-Trailer: 1\r\n\r\n";
    // Delivered in awkward pieces: cuts inside size lines and CR LF pairs.
    std::vector<S::Step> steps;
    for (std::size_t i = 0; i < wire.size(); i += 17) {
        steps.push_back(S::Send(wire.substr(i, 17)));
        if (i % 5 == 0) steps.push_back(S::Pause(1));
    }
    steps.push_back(S::Hold());  // the end of the body is known without a close
    S server(steps);
    DownloadFile d;
    Aim(d, server, dir / "out");
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, 0) << t.errorText;
    EXPECT_TRUE(t.finished);
    EXPECT_EQ(ReadFile(dir / "out"), entity);
    EXPECT_EQ(d.DownloadedSize(), static_cast<std::int32_t>(entity.size()));
    EXPECT_EQ(d.DownloadFileSize(), static_cast<std::int32_t>(entity.size()));
    EXPECT_EQ(d.ProgressLabel().Caption, "100%");
}

TEST(Transfer, ChunkedBodyCutShortIsTruncated) {
    TempDir dir;
    S server({S::Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA\r\n0123456789\r\n5\r\nab")});
    DownloadFile d;
    Aim(d, server, dir / "out");
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, 10007);
    EXPECT_EQ(ReadFile(dir / "out"), "0123456789ab");
}

TEST(Transfer, FullReplyToARangeRequestRestartsTheFile) {
    TempDir dir;
    WriteFile(dir / "out", "OLD CONTENT OF THIRTY BYTES...");
    const std::string body = RandomBytes(50, 9);
    S server({S::Send(Ok(body))});
    DownloadFile d;
    Aim(d, server, dir / "out");
    d.SetWhileFileExist(1);
    EXPECT_EQ(d.DownloadedSize(), 30);
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, 0);
    EXPECT_NE(server.Requests().at(0).find("Range: bytes=30-"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "out"), body);
    EXPECT_EQ(d.DownloadedSize(), 50);

    // A full reply that announces nothing to write ends with 10005 and leaves the
    // partial file as it was.
    for (const std::string reply : {"HTTP/1.0 200 OK\r\n\r\nbody without a length",
                                    "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}) {
        WriteFile(dir / "part", "OLD CONTENT OF THIRTY BYTES...");
        S empty({S::Send(reply)});
        DownloadFile e;
        Aim(e, empty, dir / "part");
        e.SetWhileFileExist(1);
        Transfer te(e);
        ASSERT_TRUE(te.Run());
        EXPECT_EQ(te.errorNumber, 10005);
        EXPECT_EQ(ReadFile(dir / "part"), "OLD CONTENT OF THIRTY BYTES...");
    }
}

TEST(Transfer, EndlessHeaderIsRefusedWithBoundedMemory) {
    TempDir dir;
    std::string junk;
    while (junk.size() < 70000) junk += "X-Junk: " + std::string(60, 'j') + "\r\n";
    S server({S::Send("HTTP/1.1 200 OK\r\n" + junk), S::Hold()});
    DownloadFile d;
    Aim(d, server, dir / "out");
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, 10003);
    EXPECT_NE(t.errorText.find("65536"), std::string::npos) << t.errorText;
    EXPECT_LE(d.ReceiveHead().size(), 65536u);
    EXPECT_EQ(t.Events(),
              Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Error", "Close", "Finish"}));
    EXPECT_EQ(ReadFile(dir / "out"), "");
}

TEST(Transfer, RefusalAndTheDeletionRule) {
    struct Case {
        bool neverDelete;
        const char* before;  // nullptr: no file
        bool survives;
    };
    for (const Case c : {Case{true, "", true}, Case{false, "", false}, Case{false, "data", true},
                         Case{false, nullptr, true}}) {
        TempDir dir;
        if (c.before) WriteFile(dir / "out", c.before);
        S server({S::Send("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found")});
        DownloadFile d;
        Aim(d, server, dir / "out");
        d.SetNeverDeleteTmpFile(c.neverDelete);
        d.SetWhileFileExist(c.before && *c.before ? 1 : 0);
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(t.errorNumber, 10003);
        EXPECT_EQ(t.errorText, "The host responses an error,State Code:404");
        EXPECT_EQ(t.Events(),
                  Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Error", "Close", "Finish"}));
        EXPECT_EQ(Exists(dir / "out"), c.survives) << c.neverDelete << " " << (c.before ? c.before : "none");
        if (c.before && *c.before) {
            EXPECT_EQ(ReadFile(dir / "out"), c.before);
        }
    }
}

TEST(Transfer, WhileFileExistModes) {
    const std::string body = "fresh body";
    for (int mode : {0, 1, 2}) {
        for (bool exists : {false, true}) {
            TempDir dir;
            if (exists) WriteFile(dir / "out", "older, longer content");
            std::string reply = mode == 1 && exists
                                    ? "HTTP/1.1 206 Partial\r\nContent-Range: bytes 21-30/31\r\n\r\n+appended!"
                                    : Ok(body);
            S server({S::Send(reply)});
            DownloadFile d;
            Aim(d, server, dir / "out");
            d.SetWhileFileExist(mode);
            Transfer t(d);
            ASSERT_TRUE(t.Run());
            SCOPED_TRACE("mode " + std::to_string(mode) + (exists ? " with file" : " without file"));
            if (mode == 2 && exists) {
                EXPECT_EQ(t.errorNumber, 10006);
                EXPECT_EQ(t.errorText, "The local file has existed");
                EXPECT_EQ(t.Events(), Seq({"Error", "Finish"}));
                EXPECT_EQ(server.Connections(), 0);
                EXPECT_EQ(ReadFile(dir / "out"), "older, longer content");
            } else if (mode == 1 && exists) {
                EXPECT_EQ(t.errorNumber, 0);
                EXPECT_EQ(ReadFile(dir / "out"), "older, longer content+appended!");
                EXPECT_EQ(d.DownloadedSize(), 31);
                EXPECT_EQ(d.DownloadFileSize(), 31);
            } else {
                EXPECT_EQ(t.errorNumber, 0);
                EXPECT_EQ(ReadFile(dir / "out"), body);
                EXPECT_EQ(server.Requests().at(0).find("Range:"), std::string::npos);
            }
        }
    }
}

TEST(Transfer, LocalFileThatCannotBeWrittenIsAnError) {
    // A full disk: the bytes did not land, so the transfer is no success.
    if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    for (bool chunked : {false, true}) {
        SCOPED_TRACE(chunked ? "chunked" : "plain");
        S server({S::Send(chunked ? "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n"
                                  : Ok("hello")),
                  S::Hold()});
        DownloadFile d;
        Aim(d, server, "/dev/full");
        Transfer t(d);
        ASSERT_TRUE(t.Run(5000));
        EXPECT_EQ(t.errorNumber, 10004);
        EXPECT_EQ(t.errorText, "The local file could not be written");
        EXPECT_EQ(t.Events(),
                  Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Error", "Close", "Finish"}));
        EXPECT_EQ(d.DownloadedSize(), 0);
        EXPECT_FALSE(d.IsBusy());
    }
}

TEST(Transfer, LocalFileTooLongToCountIsNeitherOverwrittenNorMixed) {
    // A local file beyond 2 GiB has no 32-bit length, yet it exists: replacing
    // deletes it, refusing refuses it, and resuming (which cannot count it) leaves
    // it alone instead of writing a new body over its head.
    const std::uintmax_t big = (std::uintmax_t{1} << 31) + 10;
    for (int mode : {0, 1, 2}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        TempDir dir;
        WriteFile(dir / "out", "MARK");
        std::filesystem::resize_file(dir / "out", big);  // sparse: no disk space used
        S server({S::Send(Ok("new body"))});
        DownloadFile d;
        Aim(d, server, dir / "out");
        d.SetWhileFileExist(mode);
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        if (mode == 0) {
            EXPECT_EQ(t.errorNumber, 0) << t.errorText;
            EXPECT_EQ(std::filesystem::file_size(dir / "out"), 8u);
            if (std::filesystem::file_size(dir / "out") == 8u) {
                EXPECT_EQ(ReadFile(dir / "out"), "new body");
            }
            continue;
        }
        EXPECT_EQ(t.errorNumber, mode == 1 ? 10004 : 10006) << t.errorText;
        EXPECT_EQ(std::filesystem::file_size(dir / "out"), big);
        std::string head(4, '\0');
        std::FILE* f = std::fopen((dir / "out").c_str(), "rb");
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(std::fread(head.data(), 1, 4, f), 4u);
        std::fclose(f);
        EXPECT_EQ(head, "MARK");
        plat::PumpUntil([] { return false; }, 50);
        EXPECT_TRUE(server.Requests().empty());
    }
}

TEST(Transfer, LocalFileErrorEndsBeforeAnyRequest) {
    TempDir dir;
    S server({S::Send(Ok("x"))});
    DownloadFile d;
    Aim(d, server, dir / "no/such/folder/out");
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, 10004);
    EXPECT_EQ(t.errorText, "Cann't open or creat the local file");
    EXPECT_EQ(t.Events(), Seq({"BeforeConnect", "Connect", "Error", "Close", "Finish"}));
    plat::PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_FALSE(d.IsBusy());
}

TEST(Transfer, RequestThatCannotBeComposedEndsTheTransfer) {
    // Credentials too long to encode: the failure is reported at once instead of
    // leaving a connection open with nothing sent and no time-out running.
    TempDir dir;
    S server({S::Send(Ok("x")), S::Hold()});
    DownloadFile d;
    Aim(d, server, dir / "out");
    d.SetUserName(std::string(40000, 'u'));
    Transfer t(d);
    ASSERT_TRUE(t.Run(5000));
    EXPECT_EQ(t.errorNumber, 6);
    EXPECT_EQ(t.Events(), Seq({"BeforeConnect", "Connect", "Error", "Close", "Finish"}));
    EXPECT_FALSE(d.IsBusy());
    plat::PumpUntil([] { return false; }, 100);
    EXPECT_TRUE(server.Requests().empty());
}

TEST(Transfer, CancelWhileResolvingAndWhileReceiving) {
    TempDir dir;
    {
        S server({S::Send(Ok("x"))});
        DownloadFile d;
        Aim(d, server, dir / "a");
        d.SetServer("localhost");
        Transfer t(d);
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
        S server({S::Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(500, 'z')), S::Hold()});
        DownloadFile d;
        Aim(d, server, dir / "b");
        Transfer t(d);
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
        EXPECT_EQ(ReadFile(dir / "b"), std::string(500, 'z'));
        d.CancelDownload();  // idle: nothing happens
        EXPECT_EQ(t.Events().back(), "Finish");
        plat::PumpUntil([&] { return server.ClientClosed(); }, 2000);
        EXPECT_TRUE(server.ClientClosed());
    }
}

TEST(Transfer, SecondStartWhileBusyAndGuardedSetters) {
    TempDir dir;
    S server({S::Pause(200), S::Send(Ok("payload"))});
    DownloadFile d;
    Aim(d, server, dir / "out");
    Transfer t(d);
    d.StartDownload();
    EXPECT_TRUE(d.IsBusy());
    d.StartDownload();  // ignored
    try {
        d.SetURL("/other");
        FAIL() << "URL set while busy";
    } catch (const RaisedError& e) {
        EXPECT_EQ(e.Number(), 10001);
        EXPECT_EQ(e.Description(), "Job is running,This property is read-only");
    }
    EXPECT_EQ(d.URL(), "/f.bin");
    d.SetUserName("allowed");
    ASSERT_TRUE(plat::PumpUntil([&] { return t.Done(); }, 10000));
    EXPECT_EQ(t.errorNumber, 0);
    EXPECT_EQ(server.Connections(), 1);
    EXPECT_EQ(ReadFile(dir / "out"), "payload");
}

TEST(Transfer, EmptyServerIsRefusedAtOnce) {
    DownloadFile d;
    try {
        d.StartDownload();
        FAIL();
    } catch (const RaisedError& e) {
        EXPECT_EQ(e.Number(), 10002);
        EXPECT_EQ(e.Description(), "Invalid host name.");
    }
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
        S server({S::Send(Ok("x"))});
        DownloadFile d;
        Aim(d, server, dir / "out", "/download/blmnl.cfg");
        d.SetHTTPVersion(0);
        const std::string expected =
            "GET /download/blmnl.cfg HTTP/1.0\r\nHost: 127.0.0.1\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
            "User-Agent: Tarnwick Hurrycast!(http://www.tarnwick.example/)\r\n"
            "Referer: http://127.0.0.1/download\r\nPragma: no-cache\r\nCache-Control: no-cache\r\n"
            "Connection: close\r\n\r\n";
        EXPECT_EQ(d.GetHttpHead(), expected);
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(server.Requests().at(0), expected);
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
            "GET http://files.example:8080/pkg/a.bin HTTP/1.1\r\nHost: files.example\r\n"
            "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, */*\r\n"
            "User-Agent: Tarnwick Hurrycast!(http://www.tarnwick.example/)\r\n"
            "Referer: http://files.example/pkg\r\nAuthorization: Basic dTpw\r\n"
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
    S server({S::Send(Ok("body"))});
    DownloadFile d;
    Aim(d, server, dir / "out");
    {
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(t.Events(), kSuccess);
        // The first transfer's socket object is gone with it.
        EXPECT_EQ(MSocketSupport::ServiceUsers(), 0u);
    }
    WriteFile(dir / "out", "");
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
    EXPECT_EQ(server.Connections(), 2);
}

TEST(Transfer, NoSocketToBeHadIsAnErrorNotAWait) {
    TempDir dir;
    S server({S::Send(Ok("later"))});
    DownloadFile d;
    Aim(d, server, dir / "out");
    std::unique_ptr<NoFreeDescriptors> none;
    {
        Transfer t(d);
        // Descriptors run out just as the connection attempt starts, and come back
        // once the control has reported.
        auto before = d.OnBeforeConnect;
        d.OnBeforeConnect = [&] {
            before();
            none = std::make_unique<NoFreeDescriptors>();
        };
        auto error = d.OnError;
        d.OnError = [&](std::int32_t n, const std::string& text) {
            none.reset();
            error(n, text);
        };
        ASSERT_TRUE(t.Run());
        none.reset();
        EXPECT_EQ(t.errorNumber, 10024);
        EXPECT_EQ(t.errorText, "没有可用的文件描述符.");
        // Like a refused connection: the socket never had a handle to close.
        EXPECT_EQ(t.Events(), Seq({"BeforeConnect", "Error"}));
        EXPECT_FALSE(d.IsBusy());
        EXPECT_EQ(server.Connections(), 0);
    }
    // The control is ready for the next transfer.
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.Events(), kSuccess);
    EXPECT_EQ(ReadFile(dir / "out"), "later");
}
