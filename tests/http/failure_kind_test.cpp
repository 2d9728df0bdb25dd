// The kind of failure a transfer ends with, beside the number OnError carries:
// the numbers alone do not tell a time-out from a failed look-up (both 10008), a
// 416 or a malformed body from any other refusal (all 10003). The time-out's own
// kind is checked with the other time-out cases.
#include <gtest/gtest.h>

#include <memory>

#include "http/DownloadFile.h"
#include "support/ErrorReport.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/TestUtil.h"
#include "tests/common/TransferHarness.h"

using namespace nl;
using namespace testutil;
using S = ScriptedServer;
using F = DownloadFailure;

namespace {

enum class Target { Server, Unresolvable, ClosedPort, MissingFolder, ExistingFile };

struct Case {
    const char* name;
    std::vector<S::Step> script;
    Target target;
    const char* cancelIn;  // "Data" or "Error": the owner cancels from inside that event
    F kind;
    std::int32_t number;   // what OnError carried; 0 when it was not raised
};

const std::string kHead9 = "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n";

}  // namespace

TEST(FailureKind, EveryEndNamesItsKind) {
    const Case cases[] = {
        {"whole file", {S::Send(kHead9 + "123456789")}, Target::Server, nullptr, F::None, 0},
        {"unresolvable name", {}, Target::Unresolvable, nullptr, F::Resolve, 10008},
        {"closed port", {}, Target::ClosedPort, nullptr, F::Connection, 10061},
        {"status 404", {S::Send("HTTP/1.1 404 Not Found\r\n\r\n")}, Target::Server, nullptr, F::HttpStatus, 10003},
        {"status 416", {S::Send("HTTP/1.1 416 Range Not Satisfiable\r\n\r\n")}, Target::Server, nullptr,
         F::NothingLeft, 10003},
        {"empty body", {S::Send("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n")}, Target::Server, nullptr,
         F::NothingLeft, 10005},
        {"malformed chunks", {S::Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n")},
         Target::Server, nullptr, F::BadReply, 10003},
        {"cut body", {S::Send(kHead9 + "123")}, Target::Server, nullptr, F::Truncated, 10007},
        {"no such folder", {S::Send(kHead9 + "123456789")}, Target::MissingFolder, nullptr, F::LocalFile, 10004},
        {"file exists", {S::Send(kHead9 + "123456789")}, Target::ExistingFile, nullptr, F::FileExists, 10006},
        {"cancelled", {S::Send(kHead9 + "123"), S::Hold()}, Target::Server, "Data", F::Cancelled, 0},
        // A cancel from inside OnError does not hide what ended the transfer.
        {"cancel on error", {S::Send("HTTP/1.1 404 Not Found\r\n\r\n"), S::Hold()}, Target::Server, "Error",
         F::HttpStatus, 10003},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::unique_ptr<S> server;
        if (!c.script.empty()) server = std::make_unique<S>(c.script);
        DownloadFile d;
        d.SetServer(c.target == Target::Unresolvable ? "no-such-host.invalid" : "127.0.0.1");
        d.SetPort(server ? server->Port() : FreeLoopbackPort());
        d.SetURL("/f");
        d.SetLocalFileName(c.target == Target::MissingFolder ? dir / "no/such/f" : dir / "f");
        if (c.target == Target::ExistingFile) {
            WriteFile(dir / "f", "old");
            d.SetWhileFileExist(2);
        }
        Transfer t(d);
        F atError = F::None;
        auto error = d.OnError;
        d.OnError = [&](std::int32_t n, const std::string& text) {
            atError = d.LastFailure();
            error(n, text);
            if (c.cancelIn && std::string(c.cancelIn) == "Error") d.CancelDownload();
        };
        auto data = d.OnDataDownloaded;
        d.OnDataDownloaded = [&](std::int32_t n) {
            data(n);
            if (c.cancelIn && std::string(c.cancelIn) == "Data") d.CancelDownload();
        };
        ASSERT_TRUE(t.Run(20000));
        EXPECT_EQ(t.errorNumber, c.number) << t.errorText;
        EXPECT_EQ(d.LastFailure(), c.kind);
        // Readable from inside OnError already.
        EXPECT_EQ(atError, c.number != 0 ? c.kind : F::None);
    }
}

TEST(FailureKind, NoServerIsRaisedAndNamedAndTheNextStartClearsIt) {
    S server({S::Send(kHead9 + "123456789")});
    TempDir dir;
    DownloadFile d;
    d.SetLocalFileName(dir / "f");
    EXPECT_THROW(d.StartDownload(), RaisedError);
    EXPECT_EQ(d.LastFailure(), F::NoHost);
    d.SetServer("127.0.0.1");
    d.SetPort(server.Port());
    Transfer t(d);
    d.StartDownload();
    EXPECT_EQ(d.LastFailure(), F::None);
    ASSERT_TRUE(plat::PumpUntil([&] { return t.Done(); }, 15000));
    EXPECT_EQ(d.LastFailure(), F::None);
    EXPECT_EQ(ReadFile(dir / "f"), "123456789");
}
