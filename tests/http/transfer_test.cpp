// Whole transfers against a scripted loopback server, for the replies real
// servers do not produce on demand: headers and bodies in odd blocks, lengths that
// are missing, short or exceeded, chunked bodies, and endless headers.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "http/DownloadFile.h"
#include "platform/Window.h"
#include "support/ErrorReport.h"
#include "tests/common/Events.h"
#include "tests/common/NginxServer.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/TestUtil.h"
#include "tests/common/TransferHarness.h"

using namespace nl;
using namespace testutil;
using S = ScriptedServer;

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
