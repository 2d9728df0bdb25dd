// novalink-reg against the Linux store files themselves: a damaged one, one
// that is not a regular file (a FIFO), and where they are.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/common/RegistrySandbox.h"

using testutil::RegistrySandbox;
using testutil::RunResult;

namespace {

class NovalinkReg : public testing::Test {
protected:
    RunResult Reg(std::vector<std::string> args) {
        args.insert(args.begin(), testutil::BuildDir() + "/novalink-reg");
        return testutil::Run(args, {sandbox_.EnvEntry()}, 30);
    }
    void Add(const std::string& key, const std::string& name, const std::string& type, const std::string& data) {
        RunResult r = Reg({"add", key, "/v", name, "/t", type, "/d", data, "/f"});
        ASSERT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(r.out, "The operation completed successfully.\n");
    }

    RegistrySandbox sandbox_;
};

const char kKey[] = "HKLM\\Software\\Brightloom";

}  // namespace

// A FIFO in place of a store file neither hangs the tool nor gets replaced.
TEST_F(NovalinkReg, StoreThatIsNotARegularFileIsRefused) {
    Add(kKey, "Path", "REG_SZ", "/opt/bl");
    ASSERT_EQ(std::remove(sandbox_.File("HKLM").c_str()), 0);
    ASSERT_EQ(mkfifo(sandbox_.File("HKLM").c_str(), 0644), 0);
    const std::vector<std::vector<std::string>> calls = {
        {"query", kKey},
        {"query", "HKLM", "/s"},
        {"add", kKey, "/v", "Path", "/d", "/new", "/f"},
        {"delete", kKey, "/f"},
    };
    for (const auto& args : calls) {
        SCOPED_TRACE(args[0] + " " + args[1]);
        RunResult r = Reg(args);  // killed after 30 s, which fails the test
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.out.find(sandbox_.File("HKLM") + " is not a regular file (it is a FIFO)"), std::string::npos)
            << r.out;
        struct stat st{};
        ASSERT_EQ(lstat(sandbox_.File("HKLM").c_str(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
    Add("HKCU\\Software\\Brightloom", "Update", "REG_DWORD", "0");
}

TEST_F(NovalinkReg, DamagedStoreIsReportedAndKept) {
    Add(kKey, "Path", "REG_SZ", "/opt/bl");
    std::string text = testutil::ReadFile(sandbox_.File("HKLM"));
    std::string damaged = text.substr(0, text.size() / 2);
    testutil::WriteFile(sandbox_.File("HKLM"), damaged);
    RunResult r = Reg({"query", kKey, "/v", "Path"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("damaged"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(sandbox_.File("HKLM")), std::string::npos) << r.out;
    r = Reg({"add", kKey, "/v", "Path", "/d", "/new", "/f"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(testutil::ReadFile(sandbox_.File("HKLM")), damaged);
    // Other roots still work.
    Add("HKCU\\Software\\Brightloom", "Update", "REG_DWORD", "0");
}

// Without NOVALINK_REGISTRY, HKEY_LOCAL_MACHINE is the machine's. Until that
// exists, the one earlier versions kept for the user is read, with one notice.
TEST_F(NovalinkReg, WithoutAMachineHiveTheUsersOldOneIsRead) {
    if (access("/etc/novalink/HKLM.txt", F_OK) == 0) GTEST_SKIP() << "this machine has its hive";
    Add(kKey, "Path", "REG_SZ", "/opt/bl");
    testutil::TempDir config;
    ASSERT_EQ(std::system(("mkdir -p " + config / "novalink && cp -r " + sandbox_.Folder() + " " +
                           config / "novalink/registry").c_str()), 0);
    RunResult r = testutil::Run({testutil::BuildDir() + "/novalink-reg", "query", kKey, "/s"},
                                {"NOVALINK_REGISTRY=", "XDG_CONFIG_HOME=" + config.path()}, 30);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Path    REG_SZ    /opt/bl"), std::string::npos) << r.out;
    const std::string notice = "no machine registry /etc/novalink/HKLM.txt yet; HKEY_LOCAL_MACHINE is read from " +
                               config / "novalink/registry/HKLM.txt";
    EXPECT_NE(r.out.find(notice), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("no machine registry", r.out.find(notice) + 1), std::string::npos) << "more than one notice";
}
