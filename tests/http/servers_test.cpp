// Transfers against real servers on loopback: nginx for static files, ranges,
// errors and Basic authorization; tinyproxy for the proxy's absolute-form request
// and its Basic authorization.
#include <gtest/gtest.h>

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

}  // namespace

TEST_F(Servers, FreshDownloadIsByteIdentical) {
    for (int version : {0, 1}) {
        DownloadFile d;
        Aim(d, "/pub/data.bin", dir_ / "data.bin", version);
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(t.errorNumber, 0) << t.errorText;
        EXPECT_TRUE(ReadFile(dir_ / "data.bin") == *file_);
        EXPECT_EQ(d.DownloadedSize(), static_cast<std::int32_t>(file_->size()));
        EXPECT_EQ(d.DownloadFileSize(), static_cast<std::int32_t>(file_->size()));
        EXPECT_EQ(d.ReceiveHead().rfind(version ? "HTTP/1.1 200" : "HTTP/1.1 200", 0), 0u);
        EXPECT_EQ(d.ProgressLabel().Caption, "100%");
    }
}

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

TEST_F(Servers, NotFound) {
    DownloadFile d;
    Aim(d, "/pub/missing.bin", dir_ / "m");
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.errorNumber, 10003);
    EXPECT_EQ(t.errorText, "The host responses an error,State Code:404");
    EXPECT_EQ(t.Events(), Seq({"BeforeConnect", "Connect", "SendProgress", "SendComplete", "Error", "Close", "Finish"}));
}

TEST_F(Servers, BasicAuthorizationRightAndWrong) {
    {
        DownloadFile d;
        Aim(d, "/private/secret.txt", dir_ / "s");
        d.SetUserName("alice");
        d.SetUserPassword("s3cret");
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(t.errorNumber, 0) << t.errorText;
        EXPECT_EQ(ReadFile(dir_ / "s"), "members only\n");
    }
    for (const char* password : {"wrong", ""}) {
        DownloadFile d;
        Aim(d, "/private/secret.txt", dir_ / "w");
        d.SetUserName("alice");
        d.SetUserPassword(password);
        Transfer t(d);
        ASSERT_TRUE(t.Run());
        EXPECT_EQ(t.errorNumber, 10003);
        EXPECT_EQ(t.errorText, "The host responses an error,State Code:401");
    }
}

TEST_F(Servers, ThroughAnAuthenticatingProxy) {
    ProxyServer proxy("proxyuser", "proxypass");
    ASSERT_TRUE(proxy.Running()) << "tinyproxy did not start";
    {
        DownloadFile d;
        Aim(d, "/pub/data.bin", dir_ / "p.bin");
        d.SetProxyServer("127.0.0.1");
        d.SetProxyPort(proxy.Port());
        d.SetProxyUserName("proxyuser");
        d.SetProxyPassword("proxypass");
        Transfer t(d);
        ASSERT_TRUE(t.Run(30000));
        EXPECT_EQ(t.errorNumber, 0) << t.errorText << "\n" << proxy.Log();
        EXPECT_TRUE(ReadFile(dir_ / "p.bin") == *file_);
        EXPECT_NE(d.ReceiveHead().find("tinyproxy"), std::string::npos) << d.ReceiveHead();  // came through it
    }
    {
        DownloadFile d;
        Aim(d, "/pub/data.bin", dir_ / "q.bin");
        d.SetProxyServer("127.0.0.1");
        d.SetProxyPort(proxy.Port());
        d.SetProxyUserName("proxyuser");
        d.SetProxyPassword("nope");
        Transfer t(d);
        ASSERT_TRUE(t.Run(30000));
        // The proxy refuses (tinyproxy answers a plain GET with 401 rather than 407).
        EXPECT_EQ(t.errorNumber, 10003);
        EXPECT_TRUE(t.errorText == "The host responses an error,State Code:407" ||
                    t.errorText == "The host responses an error,State Code:401")
            << t.errorText;
        EXPECT_NE(d.ReceiveHead().find("Server: tinyproxy"), std::string::npos) << d.ReceiveHead();
        EXPECT_FALSE(Exists(dir_ / "q.bin") && ReadFile(dir_ / "q.bin") == *file_);
    }
}
