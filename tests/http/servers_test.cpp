// Transfers against real servers on loopback: nginx for static files, ranges,
// errors and Basic authorization; tinyproxy for the proxy's absolute-form request
// and its Basic authorization.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "http/DownloadFile.h"
#include "tests/common/NginxServer.h"
#include "tests/common/ProxyServer.h"
#include "tests/common/TestUtil.h"
#include "tests/common/TransferHarness.h"

using namespace nl;
using namespace testutil;

namespace {

class Servers : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        nginx_ = new NginxServer("alice", "s3cret");
        file_ = new std::string(RandomBytes(3 * 1024 * 1024 + 17, 42));
        nginx_->Put("pub/data.bin", *file_);
        nginx_->Put("private/secret.txt", "members only\n");
    }
    static void TearDownTestSuite() {
        delete nginx_;
        delete file_;
        nginx_ = nullptr;
        file_ = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(nginx_->Running()) << "nginx did not start"; }

    void Aim(DownloadFile& d, const std::string& path, const std::string& local, int version = 1) {
        d.SetServer("127.0.0.1");
        d.SetPort(nginx_->Port());
        d.SetURL(path);
        d.SetLocalFileName(local);
        d.SetHTTPVersion(version);
    }

    static NginxServer* nginx_;
    static std::string* file_;
    TempDir dir_;
};
NginxServer* Servers::nginx_ = nullptr;
std::string* Servers::file_ = nullptr;

// One request to nginx and its outcome; what a row leaves empty is not looked at.
struct Request {
    const char* name;
    const char* path;
    int version;
    const char* user;  // nullptr: no credentials
    const char* password;
    std::int32_t error;
    const char* text;
    const char* out;  // the local file after a success; nullptr: the served data.bin, counted whole
    std::vector<std::string> events;
};
void PrintTo(const Request& r, std::ostream* os) { *os << r.name; }

const char* const k401 = "The host responses an error,State Code:401";

const Request kRequests[] = {
    // A fresh download is byte for byte the file, in HTTP/1.0 and 1.1.
    {"FreshDownloadHttp10", "/pub/data.bin", 0, nullptr, nullptr, 0, nullptr, nullptr, {}},
    {"FreshDownloadHttp11", "/pub/data.bin", 1, nullptr, nullptr, 0, nullptr, nullptr, {}},
    {"NotFound", "/pub/missing.bin", 1, nullptr, nullptr, 10003, "The host responses an error,State Code:404", "",
     Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Error", "Close", "Finish"})},
    {"BasicAuthorizationRight", "/private/secret.txt", 1, "alice", "s3cret", 0, nullptr, "members only\n", {}},
    {"BasicAuthorizationWrong", "/private/secret.txt", 1, "alice", "wrong", 10003, k401, "", {}},
    {"BasicAuthorizationEmpty", "/private/secret.txt", 1, "alice", "", 10003, k401, "", {}},
};

class ServerReplies : public Servers, public ::testing::WithParamInterface<Request> {};

}  // namespace

TEST_P(ServerReplies, Request) {
    const Request& r = GetParam();
    DownloadFile d;
    Aim(d, r.path, dir_ / "out", r.version);
    if (r.user) {
        d.SetUserName(r.user);
        d.SetUserPassword(r.password);
    }
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, r.error) << t.errorText;
    if (r.text) {
        EXPECT_EQ(t.errorText, r.text);
    }
    if (!r.events.empty()) {
        EXPECT_EQ(t.Events(), r.events);
    }
    if (r.out && r.error == 0) {
        EXPECT_EQ(ReadFile(dir_ / "out"), r.out);
    }
    if (r.out) return;
    EXPECT_TRUE(ReadFile(dir_ / "out") == *file_);
    EXPECT_EQ(d.DownloadedSize(), static_cast<std::int32_t>(file_->size()));
    EXPECT_EQ(d.DownloadFileSize(), static_cast<std::int32_t>(file_->size()));
    EXPECT_EQ(d.ReceiveHead().rfind("HTTP/1.1 200", 0), 0u);
    EXPECT_EQ(d.ProgressLabel().Caption, "100%");
}

INSTANTIATE_TEST_SUITE_P(Servers, ServerReplies, ::testing::ValuesIn(kRequests),
                         [](const ::testing::TestParamInfo<Request>& i) { return std::string(i.param.name); });

TEST_F(Servers, ResumeWithRangeThenNothingLeft) {
    WriteFile(dir_ / "data.bin", file_->substr(0, 1000003));
    DownloadFile d;
    Aim(d, "/pub/data.bin", dir_ / "data.bin");
    d.SetWhileFileExist(1);
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, 0) << t.errorText;
    EXPECT_EQ(d.ReceiveHead().rfind("HTTP/1.1 206", 0), 0u) << d.ReceiveHead();
    EXPECT_TRUE(ReadFile(dir_ / "data.bin") == *file_);
    EXPECT_EQ(d.DownloadFileSize(), static_cast<std::int32_t>(file_->size()));

    // Complete now: nginx answers 416 with the whole file's length, which is the
    // local file's; the transfer finishes as complete and writes nothing.
    d.SetWhileFileExist(1);
    Transfer again(d);
    ASSERT_TRUE(again.Run());
    EXPECT_EQ(again.errorNumber, 0) << again.errorText;
    EXPECT_EQ(d.ReceiveHead().rfind("HTTP/1.1 416", 0), 0u) << d.ReceiveHead();
    EXPECT_EQ(d.DownloadFileSize(), static_cast<std::int32_t>(file_->size()));
    EXPECT_EQ(d.DownloadedSize(), static_cast<std::int32_t>(file_->size()));
    EXPECT_TRUE(ReadFile(dir_ / "data.bin") == *file_);

    // A local file longer than the server's: the 416 names another length, and
    // there is nothing after what the file holds.
    WriteFile(dir_ / "data.bin", *file_ + "tail");
    d.SetWhileFileExist(1);
    Transfer longer(d);
    ASSERT_TRUE(longer.Run());
    EXPECT_EQ(longer.errorNumber, 10003);
    EXPECT_EQ(longer.errorText, "No data lefts.");
    EXPECT_TRUE(ReadFile(dir_ / "data.bin") == *file_ + "tail");
}

TEST_F(Servers, ThroughAnAuthenticatingProxy) {
    ProxyServer proxy("proxyuser", "proxypass");
    ASSERT_TRUE(proxy.Running()) << "tinyproxy did not start";
    for (const std::string password : {"proxypass", "nope"}) {
        SCOPED_TRACE(password);
        DownloadFile d;
        Aim(d, "/pub/data.bin", dir_ / password);
        d.SetProxyServer("127.0.0.1");
        d.SetProxyPort(proxy.Port());
        d.SetProxyUserName("proxyuser");
        d.SetProxyPassword(password);
        Transfer t(d);
        ASSERT_TRUE(t.Run(30000));
        if (password == "proxypass") {
            EXPECT_EQ(t.errorNumber, 0) << t.errorText << "\n" << proxy.Log();
            EXPECT_TRUE(ReadFile(dir_ / password) == *file_);
            EXPECT_NE(d.ReceiveHead().find("tinyproxy"), std::string::npos) << d.ReceiveHead();  // came through it
            continue;
        }
        // The proxy refuses (tinyproxy answers a plain GET with 401 rather than 407).
        EXPECT_EQ(t.errorNumber, 10003);
        EXPECT_TRUE(t.errorText == "The host responses an error,State Code:407" ||
                    t.errorText == "The host responses an error,State Code:401")
            << t.errorText;
        EXPECT_NE(d.ReceiveHead().find("Server: tinyproxy"), std::string::npos) << d.ReceiveHead();
        EXPECT_FALSE(Exists(dir_ / password) && ReadFile(dir_ / password) == *file_);
    }
}
