// novalink-reg against a store file that is not a regular file (POSIX: a FIFO).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
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
