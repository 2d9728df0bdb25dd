// What a hostile or broken peer, or a careless owner, can hand the download
// control: partial replies that do not fit the local file, odd status lines, line
// breaks in the texts of the request, and an owner that destroys the control from
// inside the host's property-changed notification.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/PropertyBag.h"
#include "http/DownloadFile.h"
#include "http/HttpHeader.h"
#include "platform/Window.h"
#include "support/ErrorReport.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/TestUtil.h"
#include "tests/common/TransferHarness.h"

using namespace nl;
using namespace testutil;
using S = ScriptedServer;

namespace {

std::string Printable(const std::string& s) {
    std::string out;
    for (char c : s) out += c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == '\0' ? "\\0" : std::string(1, c);
    return out;
}

const auto kRefused = Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Error", "Close", "Finish"});

}  // namespace

TEST(HostileHeader, StatusLines) {
    const struct {
        const char* head;
        std::int32_t code;
    } cases[] = {
        {"HTTP/1.1 200\r\n\r\n", 200},          // no reason phrase
        {"HTTP/1.1 200 \r\n\r\n", 200},         // an empty one
        {"HTTP/1.0 206\r\nContent-Range: bytes 0-1/2\r\n\r\n", 206},
        {"HTTP/1.1 404 Not Found\r\n\r\n", 404},
        {"XXXXXXXXX200 x\r\n\r\n", 0},          // no protocol name
        {"HTTP/2.0 200 OK\r\n\r\n", 0},
        {"http/1.1 200 OK\r\n\r\n", 0},
        {"HTTP/1.1  200 OK\r\n\r\n", 0},
        {"HTTP/1.1 2x0 OK\r\n\r\n", 0},
        {"HTTP/1.1 20\r\n\r\n", 0},
        {"\r\n\r\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.head);
        EXPECT_EQ(ReplyStatusCode(c.head), c.code);
        std::int64_t size = 5;
        const std::string verdict = CheckResponseStatus(c.head, size);
        if (c.code == 0) {
            EXPECT_EQ(verdict, "The host responses an error,State Code:0");
        } else {
            EXPECT_NE(verdict.find(c.code == 404 ? "State Code:404" : "success"), std::string::npos) << verdict;
        }
    }
}

TEST(HostileHeader, ContentRanges) {
    const struct {
        const char* value;
        bool ok;
        std::int64_t first, last, total;
    } cases[] = {
        {"bytes 500-999/1000", true, 500, 999, 1000},
        {"0-9/10", true, 0, 9, 10},
        {"bytes 0-4999999999/5000000000", true, 0, 4999999999, 5000000000},
        {"bytes 0-1/*", false, 0, 0, 0},
        {"bytes 0-1", false, 0, 0, 0},
        {"bytes */1000", false, 0, 0, 0},
        {"bytes 9-5/10", false, 0, 0, 0},    // ends before it starts
        {"bytes 0-10/10", false, 0, 0, 0},   // beyond the total
        {"bytes 0-1/2 junk", false, 0, 0, 0},
        {"bytes 0-1/1234567890123456789", false, 0, 0, 0},  // more digits than a count holds
        {"", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        std::int64_t first = -1, last = -1, total = -1;
        ASSERT_EQ(ParseContentRange(c.value, first, last, total), c.ok);
        if (c.ok) {
            EXPECT_EQ(std::vector<std::int64_t>({first, last, total}),
                      std::vector<std::int64_t>({c.first, c.last, c.total}));
        }
    }
    // What the reply announces, for a message that says why it cannot be used.
    const struct {
        const char* head;
        AnnouncedLength kind;
    } lengths[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n", AnnouncedLength::Known},
        {"HTTP/1.1 200 OK\r\n\r\n", AnnouncedLength::Missing},
        {"HTTP/1.1 200 OK\r\nContent-Length: lots\r\n\r\n", AnnouncedLength::Unusable},
        {"HTTP/1.1 200 OK\r\nContent-Length: 2147483648\r\n\r\n", AnnouncedLength::Known},
        {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", AnnouncedLength::TooLarge},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 0-1/2\r\n\r\n", AnnouncedLength::Known},
        {"HTTP/1.1 206 P\r\n\r\n", AnnouncedLength::Missing},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 0-1/*\r\n\r\n", AnnouncedLength::Unusable},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 0-1/5000000000\r\n\r\n", AnnouncedLength::Known},
    };
    for (const auto& c : lengths) {
        std::int64_t length = 0;
        EXPECT_EQ(ReplyLength(c.head, length), c.kind) << c.head;
    }
}

// Partial replies that cannot be placed right after what the local file holds
// are refused before a byte is written.
TEST(HostileReply, PartialRepliesThatDoNotFitAreRefused) {
    const std::string part(40, 'A');
    const struct {
        const char* name;
        bool resume;  // a 40-byte local file resumed with "Range: bytes=40-"
        std::string reply;
        std::vector<std::string> named;  // what the description must name
    } cases[] = {
        {"resume answered from byte 0", true,
         "HTTP/1.1 206 P\r\nContent-Range: bytes 0-99/100\r\n\r\n" + std::string(100, 'z'), {"byte 0,", "byte 40"}},
        {"resume answered from byte 50", true,
         "HTTP/1.1 206 P\r\nContent-Range: bytes 50-99/100\r\n\r\n" + std::string(50, 'z'), {"byte 50", "byte 40"}},
        {"no Range line", false, "HTTP/1.1 206 P\r\nContent-Range: bytes 10-19/20\r\n\r\n0123456789",
         {"bytes 10-19", "whole file"}},
        {"no Range line, from byte 0", false, "HTTP/1.1 206 P\r\nContent-Range: bytes 0-9/10\r\n\r\n0123456789",
         {"bytes 0-9", "whole file"}},
        {"total unknown", true, "HTTP/1.1 206 P\r\nContent-Range: bytes 40-99/*\r\n\r\n" + std::string(60, 'z'),
         {"bytes 40-99/*"}},
        {"no total", true, "HTTP/1.1 206 P\r\nContent-Range: bytes 40-99\r\n\r\n" + std::string(60, 'z'),
         {"bytes 40-99)"}},
        {"no Content-Range", true, "HTTP/1.1 206 P\r\nContent-Length: 60\r\n\r\n" + std::string(60, 'z'),
         {"Content-Range: )"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.resume) WriteFile(dir / "out", part);
        S server({S::Send(c.reply), S::Hold()});
        DownloadFile d;
        Aim(d, server, dir / "out");
        d.SetWhileFileExist(c.resume ? 1 : 0);
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(server.Requests().at(0).find("Range: bytes=40-") != std::string::npos, c.resume);
        EXPECT_EQ(t.errorNumber, 10003);
        EXPECT_EQ(d.LastFailure(), DownloadFailure::BadReply);
        for (const auto& n : c.named) EXPECT_NE(t.errorText.find(n), std::string::npos) << t.errorText;
        EXPECT_EQ(t.Events(), kRefused);
        EXPECT_TRUE(t.blocks.empty());
        EXPECT_EQ(ReadFile(dir / "out"), c.resume ? part : "");
        EXPECT_FALSE(d.IsBusy());
    }
}

// Announced lengths no count can hold are refused before a byte is written; an
// owner's bound refuses a longer announcement at once and ends a body that grows
// past it, endless or lying, with nothing beyond the bound on disk. Chunk
// extensions and trailers count toward it.
TEST(HostileReply, LengthsAndTheOwnersBound) {
    const std::string block(64 * 1024, 'z');
    const std::string chunk = "10000\r\n" + block + "\r\n";
    const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string trailer = "X-T: " + std::string(4000, 't') + "\r\n";
    using F = DownloadFailure;
    const struct {
        const char* name;
        std::int64_t bound;
        std::vector<S::Step> script;
        F kind;
        std::int32_t number;
        std::int64_t written, announced;
    } cases[] = {
        {"announced beyond the bound", 1000000,
         {S::Send("HTTP/1.1 200 OK\r\nContent-Length: 2000000000\r\n\r\n"), S::Repeat(block, 64), S::Hold()},
         F::TooLarge, 10009, 0, 2000000000},
        {"a lying length, then no end", 1000000,
         {S::Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n"), S::Repeat(block, 64), S::Hold()},
         F::TooLarge, 10009, -1, 100},
        {"chunks without end", 1000000,
         {S::Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"), S::Repeat(chunk, 64), S::Hold()},
         F::TooLarge, 10009, -1, 0},
        {"exactly the bound", 100, {S::Send(Ok(std::string(100, 'x')))}, F::None, 0, 100, 100},
        {"chunked to exactly the bound", 100, {S::Send(chunked + "64\r\n" + std::string(100, 'x') + "\r\n0\r\n\r\n")},
         F::None, 0, 100, 100},
        // Framing without end fills nothing on disk, but counts all the same (the
        // body's five bytes may or may not come in the read that crosses the bound).
        {"trailers without end", 100000, {S::Send(chunked + "5\r\nhello\r\n0\r\n"), S::Repeat(trailer, 1000), S::Hold()},
         F::TooLarge, 10009, -1, 0},
        {"chunk extensions without end", 100000,
         {S::Send(chunked), S::Repeat("1;" + std::string(4000, 'e') + "\r\nz\r\n", 1000), S::Hold()}, F::TooLarge,
         10009, -1, 0},
        {"no number", 0, {S::Send("HTTP/1.1 200 OK\r\nContent-Length: lots\r\n\r\nbody")}, F::BadReply, 10003, 0, 0},
        {"negative", 0, {S::Send("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nbody")}, F::BadReply, 10003, 0, 0},
        {"more digits than a count holds", 0,
         {S::Send("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\nbody")}, F::BadReply, 10003,
         0, 0},
        {"beyond 32 bits is held", 0, {S::Send("HTTP/1.1 200 OK\r\nContent-Length: 5000000000\r\n\r\nbody")},
         F::Truncated, 10007, 4, 5000000000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        S server(c.script);
        DownloadFile d;
        Aim(d, server, dir / "out");
        d.SetMaxBytes(c.bound);
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(d.LastFailure(), c.kind) << t.errorText;
        EXPECT_EQ(t.errorNumber, c.number) << t.errorText;
        const std::int64_t size = static_cast<std::int64_t>(std::filesystem::file_size(dir / "out"));
        if (c.written >= 0) {
            EXPECT_EQ(size, c.written);
        } else {
            EXPECT_LE(size, c.bound);
            EXPECT_EQ(d.DownloadedBytes(), size);
        }
        EXPECT_EQ(d.AnnouncedBytes(), c.announced);
        EXPECT_FALSE(d.IsBusy());
    }
}

TEST(HostileReply, StatusLinesWithAndWithoutAReasonPhrase) {
    const struct {
        const char* statusLine;
        bool accepted;
    } cases[] = {
        {"HTTP/1.1 200", true},
        {"HTTP/1.1 200 ", true},
        {"HTTP/1.0 200", true},
        {"HTTP/1.1 200 OK", true},
        {"XXXXXXXXX200 x", false},
        {"HTTP/2 200 OK", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.statusLine);
        TempDir dir;
        S server({S::Send(std::string(c.statusLine) + "\r\nContent-Length: 5\r\n\r\nhello")});
        DownloadFile d;
        Aim(d, server, dir / "out");
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        if (c.accepted) {
            EXPECT_EQ(t.errorNumber, 0) << t.errorText;
            EXPECT_EQ(ReadFile(dir / "out"), "hello");
            EXPECT_EQ(d.DownloadFileSize(), 5);
        } else {
            EXPECT_EQ(t.errorNumber, 10003);
            EXPECT_EQ(t.errorText, "The host responses an error,State Code:0");
            EXPECT_EQ(t.Events(), kRefused);
            EXPECT_EQ(ReadFile(dir / "out"), "");
        }
    }
}

// Every text that goes into the request refuses a CR, LF or NUL: it would end its
// line and let the rest pass for request lines of its own.
TEST(RequestTexts, LineBreaksAreRefused) {
    using Set = std::function<void(DownloadFile&, const std::string&)>;
    using Get = std::function<std::string(const DownloadFile&)>;
    const struct {
        const char* property;
        Set set;
        Get get;
    } texts[] = {
        {"Server", &DownloadFile::SetServer, [](const DownloadFile& d) { return d.Server(); }},
        {"ProxyServer", &DownloadFile::SetProxyServer, [](const DownloadFile& d) { return d.ProxyServer(); }},
        {"URL", &DownloadFile::SetURL, [](const DownloadFile& d) { return d.URL(); }},
        {"Agent", &DownloadFile::SetAgent, [](const DownloadFile& d) { return d.Agent(); }},
        {"Referer", &DownloadFile::SetReferer, [](const DownloadFile& d) { return d.Referer(); }},
        {"UserName", &DownloadFile::SetUserName, [](const DownloadFile& d) { return d.UserName(); }},
        {"UserPassword", &DownloadFile::SetUserPassword, [](const DownloadFile& d) { return d.UserPassword(); }},
        {"ProxyUserName", &DownloadFile::SetProxyUserName, [](const DownloadFile& d) { return d.ProxyUserName(); }},
        {"ProxyPassword", &DownloadFile::SetProxyPassword, [](const DownloadFile& d) { return d.ProxyPassword(); }},
    };
    const std::string bad[] = {"a\r\nX-Injected: 1", "a\nX-Injected: 1", "a\rb", std::string("a\0b", 3)};
    for (const auto& t : texts) {
        for (const auto& value : bad) {
            SCOPED_TRACE(std::string(t.property) + " <- " + Printable(value));
            DownloadFile d;
            d.SetServer("srv");
            d.SetURL("/x");
            const std::string before = t.get(d);
            const std::string request = d.GetHttpHead();
            try {
                t.set(d, value);
                ADD_FAILURE() << "accepted";
            } catch (const RaisedError& e) {
                EXPECT_EQ(e.Number(), err::kDownloadBadValue);
                EXPECT_EQ(e.Source(), std::string("DownloadFile.") + t.property);
                EXPECT_NE(e.Description().find("line break"), std::string::npos) << e.Description();
            }
            EXPECT_EQ(t.get(d), before);
            EXPECT_EQ(d.GetHttpHead(), request);
        }
        DownloadFile d;
        t.set(d, "plain value");  // an ordinary value still goes in
        EXPECT_NE(t.get(d), "") << t.property;
    }

    // Saved settings bypass the setters; a text that would break the request's
    // lines loads as missing.
    PropertyBag bag;
    bag.WriteProperty("Server", std::string("srv"), "");
    bag.WriteProperty("URL", std::string("/ok"), "/");
    bag.WriteProperty("Agent", std::string("evil\r\nX-Injected: 1"), "");
    bag.WriteProperty("Referer", std::string("r\nX-Injected: 1"), "");
    bag.WriteProperty("UserName", std::string("u\r"), "");
    DownloadFile d;
    d.ReadProperties(bag);
    EXPECT_EQ(d.Server(), "srv");
    EXPECT_EQ(d.URL(), "/ok");
    EXPECT_EQ(d.Agent(), DownloadFile::kDefaultAgent);
    EXPECT_EQ(d.Referer(), "");
    EXPECT_EQ(d.UserName(), "");
    EXPECT_EQ(d.GetHttpHead().find("X-Injected"), std::string::npos);
}

// An owner that destroys the control from inside the host's property-changed
// notification: the control touches nothing of itself afterwards, so the host
// hears of no further change.
TEST(PropertyChanged, OwnerMayDestroyTheControlInside) {
    using Act = std::function<void(DownloadFile&)>;
    const struct {
        const char* name;
        Act act;
    } setters[] = {
        {"TimeOut", [](DownloadFile& d) { d.SetTimeOut(60); }},
        {"Server", [](DownloadFile& d) { d.SetServer("srv"); }},
        {"Port", [](DownloadFile& d) { d.SetPort(81); }},
        {"URL", [](DownloadFile& d) { d.SetURL("/x"); }},
        {"Agent", [](DownloadFile& d) { d.SetAgent("a"); }},
        {"LocalFileName", [](DownloadFile& d) { d.SetLocalFileName("f"); }},
        {"WhileFileExist", [](DownloadFile& d) { d.SetWhileFileExist(1); }},
        {"HTTPVersion", [](DownloadFile& d) { d.SetHTTPVersion(1); }},
        {"NoCache", [](DownloadFile& d) { d.SetNoCache(false); }},
        {"UserName", [](DownloadFile& d) { d.SetUserName("u"); }},
        {"StartDownload", [](DownloadFile& d) { d.StartDownload(); }},
    };
    for (const auto& s : setters) {
        SCOPED_TRACE(s.name);
        auto d = std::make_unique<DownloadFile>();
        d->SetServer("127.0.0.1");
        d->SetPort(1);
        int after = 0;  // notifications once the control is gone
        bool gone = false;
        d->Host().OnPropertyChanged = [&](const std::string&) {
            if (gone) {
                ++after;
                return;
            }
            gone = true;
            d.reset();
        };
        s.act(*d);
        EXPECT_TRUE(gone);
        EXPECT_EQ(d, nullptr);
        EXPECT_EQ(after, 0);
    }

    // The same during a transfer, at each change the transfer makes.
    for (const char* property : {"StateCode", "FileNumber", "ReceiveHead", "DownloadFileSize", "DownloadedSize",
                                 "IsBusy"}) {
        SCOPED_TRACE(property);
        TempDir dir;
        S server({S::Send("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello")});
        auto d = std::make_unique<DownloadFile>();
        Aim(*d, server, dir / "out");
        d->StartDownload();
        int after = 0;
        bool gone = false;
        d->Host().OnPropertyChanged = [&](const std::string& name) {
            if (gone) {
                ++after;
            } else if (name == property) {
                gone = true;
                d.reset();
            }
        };
        EXPECT_TRUE(plat::PumpUntil([&] { return gone; }, 10000));
        plat::PumpUntil([] { return false; }, 50);
        EXPECT_EQ(after, 0);
    }
}
