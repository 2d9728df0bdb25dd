// novalink-ping, run as a program: its lines and its exit codes.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "platform/Icmp.h"
#include "tests/common/TestUtil.h"

namespace {

testutil::RunResult Ping(std::vector<std::string> args) {
    args.insert(args.begin(), testutil::BuildDir() + "/novalink-ping");
    return testutil::Run(args, {}, 60);
}

bool IcmpAvailable() {
    const plat::HANDLE h = plat::IcmpCreateFile();
    if (h == plat::PL_INVALID_HANDLE_VALUE) return false;
    plat::IcmpCloseHandle(h);
    return true;
}

}  // namespace

TEST(NovalinkPing, HelpAndUsage) {
    testutil::RunResult r = Ping({"--help"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("ping_group_range"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("CAP_NET_RAW"), std::string::npos) << r.out;
    for (const std::vector<std::string>& bad : {std::vector<std::string>{}, {"-c", "0", "127.0.0.1"},
                                                {"127.0.0.1", "-c", "x"}, {"a", "b"}}) {
        r = Ping(bad);
        EXPECT_EQ(r.exitCode, 3) << r.out;  // not 2, which says ICMP is not available
        EXPECT_EQ(r.out.find(": state "), std::string::npos) << r.out;  // no ping was sent
    }
}

TEST(NovalinkPing, AnsweredAndUnknownHosts) {
    if (!IcmpAvailable()) {
        testutil::RunResult r = Ping({"127.0.0.1"});
        EXPECT_EQ(r.exitCode, 2) << r.out;
        EXPECT_NE(r.out.find("127.0.0.1: state -1, \"Unable to Create File Handle.\""), std::string::npos) << r.out;
        GTEST_SKIP() << "this user may not send ICMP echoes; only the refusal was checked";
    }
    testutil::RunResult r = Ping({"127.0.0.1", "-c", "2"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(std::regex_match(r.out, std::regex("(127\\.0\\.0\\.1: state 1, \" [0-9]+ ms\"\n){2}"))) << r.out;
    r = Ping({"name.invalid"});
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(r.out, "name.invalid: state 2, \"Unknown host\"\n");
    // An address that gets no answer: 127.0.0.1 in a network namespace of its own,
    // whose loopback is down.
    if (testutil::kWindows || testutil::Run({"/usr/bin/unshare", "-n", "/bin/true"}, {}, 20).exitCode != 0)
        GTEST_SKIP() << "no network namespace to be had (unshare -n needs root); the unanswered address was not checked";
    r = testutil::Run({"/usr/bin/unshare", "-n", testutil::BuildDir() + "/novalink-ping", "127.0.0.1"}, {}, 20);
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(r.out, "127.0.0.1: state 2, \"Timeout or unknown error\"\n");
}
