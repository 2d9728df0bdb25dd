// Transfers over TLS against nginx on loopback: one site per kind of server
// certificate, the good one also behind tinyproxy's CONNECT and behind a relay
// that cuts the stream without the server's close_notify.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <ostream>
#include <string>
#include <thread>

#include "http/DownloadFile.h"
#include "platform/Tls.h"
#include "tests/common/LoopbackSocket.h"
#include "tests/common/ProxyServer.h"
#include "tests/common/TlsSites.h"
#include "tests/common/TransferHarness.h"

using namespace nl;
using namespace testutil;
namespace lb = testutil::loopback;

namespace {

// Passes one connection through to a port and closes both ends, without the
// server's close_notify, once `cutAfter` bytes of the server's have gone by.
class CutRelay {
public:
    CutRelay(int target, long cutAfter) : listener_(lb::Bound(true, 4)), target_(target), cutAfter_(cutAfter) {
        thread_ = std::thread([this] { Serve(); });
    }
    ~CutRelay() {
        stop_ = true;
        lb::Wake(listener_);
        thread_.join();
        lb::Close(listener_);
    }
    int Port() const { return lb::BoundPort(listener_); }

private:
    void Serve() {
        const int client = lb::Accept(listener_);
        const int server = client < 0 ? -1 : lb::Connect(target_);
        long passed = 0;
        char buf[16384];
        while (!stop_ && server >= 0) {
            if (lb::Readable(client, 5)) {
                const long n = lb::Receive(client, buf, sizeof buf);
                if (n <= 0 || lb::Send(server, buf, static_cast<std::size_t>(n)) != n) break;
            }
            if (lb::Readable(server, 5)) {
                long n = lb::Receive(server, buf, sizeof buf);
                if (n <= 0) break;
                n = std::min(n, cutAfter_ - passed);
                if (n > 0 && lb::Send(client, buf, static_cast<std::size_t>(n)) != n) break;
                passed += n;
                if (passed >= cutAfter_) break;
            }
        }
        if (server >= 0) lb::Close(server);
        if (client >= 0) lb::Close(client);
    }

    int listener_;
    int target_;
    long cutAfter_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class Secure : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sites_ = std::make_unique<TlsSites>();
        proxy_ = std::make_unique<ProxyServer>("proxyuser", "proxypass");
        sites_->Put("pub/data.bin", file_);
        sites_->Put("stream/page.txt", stream_);
    }
    static void TearDownTestSuite() {
        sites_.reset();
        proxy_.reset();
    }
    void SetUp() override { ASSERT_TRUE(sites_->Running() && proxy_->Running()) << "a server did not start"; }

    static inline std::unique_ptr<TlsSites> sites_;
    static inline std::unique_ptr<ProxyServer> proxy_;
    static inline const std::string file_ = RandomBytes(3 * 1024 * 1024 + 17, 7);
    // Text for nginx's SSI filter, which then sends it in chunks.
    static inline const std::string stream_ = [] {
        std::string s = RandomBytes(1 << 20, 9);
        for (char& c : s) c = static_cast<char>('a' + static_cast<unsigned char>(c) % 26);
        return s;
    }();
    TempDir dir_;
};

enum Proxy { Direct, ProxyWithPassword, ProxyWithout };

struct Row {
    const char* name;
    TlsSites::Kind site;
    const char* host;  // the server's name as the control is given it
    bool stream;       // the reply comes in chunks
    bool trusted;      // the test root is the CaFile
    long part;         // bytes the local file holds before: resumed with a Range
    long cutAfter;     // a relay cuts the server's stream after this many bytes; 0: none
    Proxy proxy;
    std::int32_t error;
    const char* text;  // found in the error's text
};
void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

using K = TlsSites;
using T = plat::TlsClient;
const char* const kCut = "before the whole file arrived";
const long kAll = 1L << 30;

const Row kRows[] = {
    {"Whole", K::Good, "127.0.0.1", false, true, 0, 0, Direct, 0, nullptr},
    {"WholeByName", K::Good, "localhost", false, true, 0, 0, Direct, 0, nullptr},
    {"ResumedWithRange", K::Good, "127.0.0.1", false, true, 1000003, 0, Direct, 0, nullptr},
    {"CutThenResumed", K::Good, "127.0.0.1", false, true, 0, 1 << 20, Direct, 10007, kCut},
    {"ChunkedThroughRelay", K::Good, "127.0.0.1", true, true, 0, kAll, Direct, 0, nullptr},
    {"ChunkedCutWithoutCloseNotify", K::Good, "127.0.0.1", true, true, 0, 200000, Direct, 10007, kCut},
    {"ThroughProxyTunnel", K::Good, "127.0.0.1", false, true, 0, 0, ProxyWithPassword, 0, nullptr},
    {"ProxyRefusesTunnel", K::Good, "127.0.0.1", false, true, 0, 0, ProxyWithout, 10010, "State Code:407"},
    {"RootNotTrusted", K::Good, "127.0.0.1", false, false, 0, 0, Direct, 40020, T::kUntrusted},
    {"LeafOnly", K::LeafOnly, "127.0.0.1", false, true, 0, 0, Direct, 40020, T::kUntrusted},
    {"WrongHostAddress", K::WrongHost, "127.0.0.1", false, true, 0, 0, Direct, 40020, T::kWrongHost},
    {"WrongHostName", K::WrongHost, "localhost", false, true, 0, 0, Direct, 40020, T::kWrongHost},
    {"Expired", K::Expired, "127.0.0.1", false, true, 0, 0, Direct, 40020, T::kExpired},
    {"SelfSigned", K::SelfSigned, "127.0.0.1", false, true, 0, 0, Direct, 40020, T::kSelfSigned},
    {"UnknownAuthority", K::UnknownCa, "127.0.0.1", false, true, 0, 0, Direct, 40020, T::kUntrusted},
    {"Tls10Only", K::Tls10, "127.0.0.1", false, true, 0, 0, Direct, 40020, T::kOldProtocol},
};

class SecureTransfer : public Secure, public ::testing::WithParamInterface<Row> {};

TEST_P(SecureTransfer, Row) {
    const Row& r = GetParam();
    const std::string& served = r.stream ? stream_ : file_;
    const std::string out = dir_ / "out";
    if (r.part) WriteFile(out, served.substr(0, static_cast<std::size_t>(r.part)));
    std::unique_ptr<CutRelay> relay;
    if (r.cutAfter) relay = std::make_unique<CutRelay>(sites_->Port(r.site), r.cutAfter);

    DownloadFile d;
    d.SetSecure(true);
    d.SetServer(r.host);
    d.SetPort(relay ? relay->Port() : sites_->Port(r.site));
    d.SetURL(r.stream ? "/stream/page.txt" : "/pub/data.bin");
    d.SetHTTPVersion(1);
    d.SetLocalFileName(out);
    d.SetWhileFileExist(1);
    if (r.trusted) d.SetCaFile(sites_->CaFile());
    if (r.proxy != Direct) {
        d.SetProxyServer("127.0.0.1");
        d.SetProxyPort(proxy_->Port());
        if (r.proxy == ProxyWithPassword) {
            d.SetProxyUserName("proxyuser");
            d.SetProxyPassword("proxypass");
        }
    }
    Transfer t(d);
    ASSERT_TRUE(t.Run(30000));
    EXPECT_EQ(t.errorNumber, r.error) << t.errorText;
    if (r.error == 0) {
        EXPECT_TRUE(ReadFile(out) == served);
        EXPECT_EQ(t.Events(), kSuccess);
        if (r.part) {
            EXPECT_EQ(d.ReceiveHead().rfind("HTTP/1.1 206", 0), 0u) << d.ReceiveHead();
        }
        if (r.proxy == ProxyWithPassword) {
            EXPECT_NE(proxy_->Log().find("CONNECT"), std::string::npos) << proxy_->Log();
        }
        return;
    }
    // Wine's SChannel names no reason for a server of an older protocol.
    const bool named = r.site != K::Tls10 || WineVersion().empty();
    EXPECT_NE(t.errorText.find(named ? r.text : "refused: "), std::string::npos) << t.errorText;
    if (r.error == 40020) {
        // Refused before the request: the host is named, nothing was written.
        EXPECT_NE(t.errorText.find(r.host), std::string::npos) << t.errorText;
        EXPECT_FALSE(Exists(out));
        EXPECT_EQ(d.LastFailure(), DownloadFailure::Connection);
        return;
    }
    if (r.error != 10007) return;
    EXPECT_EQ(d.LastFailure(), DownloadFailure::Truncated);
    const std::string got = ReadFile(out);
    EXPECT_LT(got.size(), served.size());
    EXPECT_TRUE(served.compare(0, got.size(), got) == 0);
    if (r.stream) return;
    // What arrived before the cut is resumed from where it ends.
    d.SetPort(sites_->Port(r.site));
    d.SetWhileFileExist(1);
    Transfer again(d);
    ASSERT_TRUE(again.Run(30000));
    EXPECT_EQ(again.errorNumber, 0) << again.errorText;
    EXPECT_EQ(d.ReceiveHead().rfind("HTTP/1.1 206", 0), 0u) << d.ReceiveHead();
    EXPECT_TRUE(ReadFile(out) == served);
}

INSTANTIATE_TEST_SUITE_P(Secure, SecureTransfer, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& i) { return std::string(i.param.name); });

}  // namespace
