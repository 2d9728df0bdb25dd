// Whole transfers against a scripted loopback server, for the replies real
// servers do not produce on demand: headers and bodies in odd blocks, lengths that
// are missing, short or exceeded, chunked bodies, and endless headers.
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "http/DownloadFile.h"
#include "tests/common/NginxServer.h"
#include "tests/common/ScriptedTransfer.h"

using namespace nl;
using namespace testutil;
using S = ScriptedServer;

namespace {

// One reply and what the transfer makes of it; what a row leaves empty is not
// looked at.
struct Reply {
    const char* name;
    std::vector<S::Step> script;
    std::int32_t error;
    std::optional<std::string> text, out;  // the error's text, the local file afterwards
    std::vector<std::string> events;
    std::int32_t downloaded = -1, announced = -1;
    void (*more)(ScriptedTransfer&) = nullptr;
};
void PrintTo(const Reply& r, std::ostream* os) { *os << r.name; }

const std::vector<std::string> kErrorBeforeData =
    Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Error", "Close", "Finish"});

std::vector<Reply> Replies() {
    const std::string trickled = "abcdefghijklmnopqrst";
    const std::string entity = "Hello, chunked world! " + RandomBytes(3000, 3);
    std::string wire = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    wire += "16;name=x\r\n" + entity.substr(0, 22) + "\r\n";
    char size[16];
    std::snprintf(size, sizeof size, "%zx", entity.size() - 22);
    wire += std::string(size) + "\r\n" + entity.substr(22) + "\r\n0\r\nX-Trailer: 1\r\n\r\n";
    // Delivered in awkward pieces: cuts inside size lines and CR LF pairs.
    std::vector<S::Step> chunked;
    for (std::size_t i = 0; i < wire.size(); i += 17) {
        chunked.push_back(S::Send(wire.substr(i, 17)));
        if (i % 5 == 0) chunked.push_back(S::Pause(1));
    }
    chunked.push_back(S::Hold());  // the end of the body is known without a close
    std::string junk;
    while (junk.size() < 70000) junk += "X-Junk: " + std::string(60, 'j') + "\r\n";
    const auto nothingLeft = [](ScriptedTransfer& x) { EXPECT_TRUE(x.t.blocks.empty()); };
    return {
        {"HeaderSplitAcrossBlocksWithTheBlankLineSplit",
         {S::Send("HTTP/1.1 200 OK\r\nContent-Len"), S::Pause(60), S::Send("gth: 10\r\n\r"), S::Pause(60),
          S::Send("\n0123456789")},
         0, {}, "0123456789", kSuccess, 10, 10,
         [](ScriptedTransfer& x) {
             EXPECT_EQ(x.d.ReceiveHead(), "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n");
             EXPECT_EQ(x.t.blocks, std::vector<std::int32_t>{10});
             EXPECT_FALSE(x.d.IsBusy());
             EXPECT_EQ(x.d.StateCode(), 0);
             EXPECT_EQ(x.d.ProgressLabel().Caption, "100%");
         }},
        {"OneByteBlocks", S::Trickle(Ok(trickled), 3), 0, {}, trickled, {}, 20, -1,
         [](ScriptedTransfer& x) {
             std::int32_t sum = 0;
             for (auto b : x.t.blocks) sum += b;
             EXPECT_EQ(sum, 20);
             EXPECT_GT(x.t.blocks.size(), 1u);
         }},
        {"NoLengthMeansNothingLeft", {S::Send("HTTP/1.0 200 OK\r\n\r\nbody without a length"), S::Hold()}, 10005,
         "No data lefts", "", kErrorBeforeData, -1, -1, nothingLeft},
        {"ZeroLengthMeansNothingLeft", {S::Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"), S::Hold()}, 10005,
         "No data lefts", "", kErrorBeforeData, -1, -1, nothingLeft},
        {"BytesBeyondTheAnnouncedSizeAreWritten", {S::Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n12345678")}, 0,
         {}, "12345678", {}, 8, 5},
        {"ClosedBeforeAnyReplyIsAnError", {S::Send("HTTP/1.1 200 OK\r\nContent-")}, 10007,
         "The connection was closed before the reply header arrived", {}, {}, -1, -1,
         [](ScriptedTransfer& x) { EXPECT_TRUE(x.t.finished); }},
        {"ChunkedBodyIsDecoded", chunked, 0, {}, entity, {}, static_cast<std::int32_t>(entity.size()),
         static_cast<std::int32_t>(entity.size()),
         [](ScriptedTransfer& x) {
             EXPECT_TRUE(x.t.finished);
             EXPECT_EQ(x.d.ProgressLabel().Caption, "100%");
         }},
        {"ChunkedBodyCutShortIsTruncated",
         {S::Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nA\r\n0123456789\r\n5\r\nab")}, 10007, {},
         "0123456789ab", {}},
        {"EndlessHeaderIsRefusedWithBoundedMemory", {S::Send("HTTP/1.1 200 OK\r\n" + junk), S::Hold()}, 10003, {}, "",
         kErrorBeforeData, -1, -1,
         [](ScriptedTransfer& x) {
             EXPECT_NE(x.t.errorText.find("65536"), std::string::npos) << x.t.errorText;
             EXPECT_LE(x.d.ReceiveHead().size(), 65536u);
         }},
    };
}

class Transfers : public ::testing::TestWithParam<Reply> {};

}  // namespace

TEST_P(Transfers, Reply) {
    const Reply& r = GetParam();
    ScriptedTransfer x(r.script);
    ASSERT_TRUE(x.t.Run());
    EXPECT_EQ(x.t.errorNumber, r.error) << x.t.errorText;
    if (r.text) {
        EXPECT_EQ(x.t.errorText, *r.text);
    }
    if (r.out) {
        EXPECT_EQ(x.Out(), *r.out);
    }
    if (!r.events.empty()) {
        EXPECT_EQ(x.t.Events(), r.events);
    }
    if (r.downloaded >= 0) {
        EXPECT_EQ(x.d.DownloadedSize(), r.downloaded);
    }
    if (r.announced >= 0) {
        EXPECT_EQ(x.d.DownloadFileSize(), r.announced);
    }
    if (r.more) r.more(x);
}

INSTANTIATE_TEST_SUITE_P(Transfer, Transfers, ::testing::ValuesIn(Replies()),
                         [](const ::testing::TestParamInfo<Reply>& i) { return std::string(i.param.name); });

TEST(Transfer, FirstBlockEndingAtTheBlankLineWritesNothingYet) {
    ScriptedTransfer x({S::Send("HTTP/1.0 200 OK\r\nContent-Length: 1024\r\n\r\n"), S::Pause(150),
                        S::Send(std::string(256, 'a')), S::Pause(150), S::Send(std::string(768, 'b'))});
    DownloadFile& d = x.d;
    d.Resize(4000, 300);
    std::string firstLabel;
    std::int32_t firstBar = -1;
    d.OnDataDownloaded = [&](std::int32_t n) {
        if (x.t.blocks.empty()) {
            firstLabel = d.ProgressLabel().Caption;
            firstBar = d.Surface().Rects().empty() ? -1 : d.Surface().Rects().back().x2;
        }
        x.t.blocks.push_back(n);
    };
    ASSERT_TRUE(x.t.Run());
    EXPECT_EQ(x.t.errorNumber, 0);
    ASSERT_GE(x.t.blocks.size(), 2u);
    EXPECT_EQ(x.t.blocks[0], 256);  // no empty block for the header-only first block
    EXPECT_EQ(firstLabel, "25%");
    EXPECT_EQ(firstBar, 1000);
    EXPECT_EQ(x.Out(), std::string(256, 'a') + std::string(768, 'b'));
}

TEST(Transfer, TruncatedBodyIsAnErrorAndResumesLater) {
    const std::string body = RandomBytes(100, 7);
    ScriptedTransfer cut({S::Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" + body.substr(0, 40))});
    ASSERT_TRUE(cut.t.Run());
    EXPECT_EQ(cut.t.errorNumber, 10007);
    EXPECT_EQ(cut.t.errorText, "The connection was closed before the whole file arrived");
    EXPECT_EQ(cut.t.Events(), Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Data", "Error",
                                   "Close", "Finish"}));
    EXPECT_EQ(cut.Out(), body.substr(0, 40));  // kept for a resume

    ScriptedTransfer x({S::Send(
        "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 40-99/100\r\nContent-Length: 60\r\n\r\n" +
        body.substr(40))});
    WriteFile(x.dir / "out", cut.Out());
    x.d.SetWhileFileExist(1);
    ASSERT_TRUE(x.t.Run());
    EXPECT_EQ(x.t.errorNumber, 0);
    EXPECT_NE(x.server.Requests().at(0).find("\r\nRange: bytes=40-\r\n"), std::string::npos);
    EXPECT_EQ(x.Out(), body);
    EXPECT_EQ(x.d.DownloadedSize(), 100);
    EXPECT_EQ(x.d.DownloadFileSize(), 100);
}

TEST(Transfer, FullReplyToARangeRequestRestartsTheFile) {
    const std::string old = "OLD CONTENT OF THIRTY BYTES...";
    const std::string body = RandomBytes(50, 9);
    ScriptedTransfer x({S::Send(Ok(body))});
    WriteFile(x.dir / "out", old);
    x.d.SetWhileFileExist(1);
    EXPECT_EQ(x.d.DownloadedSize(), 30);
    ASSERT_TRUE(x.t.Run());
    EXPECT_EQ(x.t.errorNumber, 0);
    EXPECT_NE(x.server.Requests().at(0).find("Range: bytes=30-"), std::string::npos);
    EXPECT_EQ(x.Out(), body);
    EXPECT_EQ(x.d.DownloadedSize(), 50);

    // A full reply that announces nothing to write ends with 10005 and leaves the
    // partial file as it was.
    for (const std::string reply : {"HTTP/1.0 200 OK\r\n\r\nbody without a length",
                                    "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"}) {
        ScriptedTransfer e({S::Send(reply)});
        WriteFile(e.dir / "out", old);
        e.d.SetWhileFileExist(1);
        ASSERT_TRUE(e.t.Run());
        EXPECT_EQ(e.t.errorNumber, 10005);
        EXPECT_EQ(e.Out(), old);
    }
}
