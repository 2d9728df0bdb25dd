// Every program's --help and --version: exit 0, on stdout, and nothing else
// done (no registry, no temporary file, no connection).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/ProgramVersion.h"
#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"

TEST(HelpAndVersion, EveryProgramAnswersAndTouchesNothing) {
    // An empty registry and temporary folder; without an UpdateServer value the
    // updater's server is one that cannot be reached from here. (On Windows the
    // registry is the system's; a run would show in the exit code and the output.)
    testutil::TempDir sandbox;
    for (const char* d : {"reg", "tmp"}) std::filesystem::create_directory(sandbox / d);
    std::vector<std::string> env = testutil::TempFolderEnv(sandbox / "tmp");
    env.insert(env.end(), {"NOVALINK_REGISTRY=" + sandbox / "reg", "NOVALINK_UI=text"});
    const struct {
        const char* program;
        const char* arg;
        const char* said;  // "" : the version line
    } cases[] = {
        {"novalink", "--help", "usage: novalink [/A"},        {"novalink", "/?", "usage: novalink [/A"},
        {"novalink", "--version", ""},                       {"novalink-ver", "--help", "usage: novalink-ver"},
        {"novalink-ver", "-h", "usage: novalink-ver"},       {"novalink-ver", "--version", ""},
        {"novalink-reg", "--help", "Usage:\n  novalink-reg query"},    {"novalink-reg", "/?", "Usage:\n  novalink-reg query"},
        {"novalink-reg", "--version", ""},                   {"novalink-get", "--help", "Usage: novalink-get"},
        {"novalink-get", "--version", ""},                   {"novalink-ping", "--help", "usage: novalink-ping"},
        {"novalink-ping", "--version", ""},                  {"novalink-publish", "--help", "usage:\n  novalink-publish keygen"},
        {"novalink-publish", "--version", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.arg);
        const testutil::RunResult r = testutil::Run({testutil::BuildProgram(c.program), c.arg}, env, 20);
        EXPECT_EQ(r.exitCode, 0) << r.out;
        if (*c.said)
            EXPECT_EQ(r.out.find(c.said), 0u) << r.out;
        else
            EXPECT_EQ(r.out, std::string(c.program) + " " + nl::ProgramVersion() + "\n");
        EXPECT_TRUE(std::filesystem::is_empty(sandbox / "reg")) << "the registry was touched";
        EXPECT_TRUE(std::filesystem::is_empty(sandbox / "tmp")) << "the temporary folder was touched";
    }
    EXPECT_STRNE(nl::ProgramVersion(), "unknown");
}
