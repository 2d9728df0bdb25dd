// novalink-publish's catalogue and verify commands, run as a program: what they
// refuse to write or read, and what they write. (Signing and the updater's side:
// tests/app/signed_update_test.cpp.)
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"

using namespace testutil;

TEST(NovalinkPublish, WritesOnlyWhatTheUpdaterReadsRightly) {
    TempDir dir;
    const std::string cfg = dir / "blmnl.cfg", package = dir / "pkg", victim = dir / "victim";
    WriteFile(package, "12345");
    const std::string twoEditions = "[Info]\r\nVER=2.01.0001\r\n[Desktop]\r\nSIZE=1\r\n[Standard]\r\nSIZE=1\r\n";
    const struct {
        const char* what;
        std::string seed;  // the file at -o before the run; "link" a link to `victim`
        std::vector<std::string> args;
        int exit;
        std::string said;     // in the output
        std::string written;  // in the file afterwards ("" for the seed unchanged)
    } cases[] = {
        {"an existing file needs --update", "old", {}, 2, "exists; give --update", ""},
        {"a link in its place is not written through", "link", {}, 2, "exists; give --update", ""},
        {"a line that is not plain stops --update", "[Info]\r\nVER=1\r\n[ Desktop ]\r\n", {"--update"}, 2,
         "line 3 not a plain", ""},
        {"--update that leaves an edition behind", twoEditions, {"--update"}, 1,
         "Standard would keep the old package", ""},
        {"--update of every edition", twoEditions, {"--update", "--edition", "Standard"}, 0, "VER=2.01.0008",
         "[Standard]\r\nSIZE=5\r\n"},
        {"--update adding an edition of the same VER", twoEditions, {"--update", "--version", "2.01.0001"}, 0, "",
         "[Desktop]\r\nSIZE=5\r\n"},
        {"a.b.c.d is written the updater's way", "", {}, 0, "", "\r\nVER=2.01.0008\r\n"},
        {"a version in neither form", "", {"--version", "2.1"}, 1, "(2.01.0008)", ""},
        {"Issued more than a day ahead", "", {"--issued", "2099-01-01T00:00:00Z"}, 1, "more than a day ahead", ""},
        {"--expires after Issued", "", {"--issued", "2026-12-01T00:00:00Z", "--expires", "30d"}, 0, "",
         "\r\nExpires=2026-12-31T00:00:00Z\r\n"},
        {"-o - writes to standard output", "", {"-o", "-"}, 0, "[Info]\r\nVER=2.01.0008\r\n", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.seed == "link" && kWindows) continue;  // links are the Linux side's concern
        std::filesystem::remove(cfg);
        if (c.seed == "link") std::filesystem::create_symlink(victim, cfg);
        else if (!c.seed.empty()) WriteFile(cfg, c.seed);
        std::vector<std::string> argv{BuildProgram("novalink-publish"), "catalogue", "--package", package,
                                      "--download", "http://x/pkg", "--edition", "Desktop", "--version", "2.1.0.8",
                                      "-o", cfg};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const RunResult r = testutil::Run(argv, {}, 30);
        EXPECT_EQ(r.exitCode, c.exit) << r.out;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
        if (c.written.empty() && c.seed != "link")
            EXPECT_EQ(Exists(cfg) ? ReadFile(cfg) : "", c.seed);
        else
            EXPECT_NE(ReadFile(cfg).find(c.written), std::string::npos) << ReadFile(cfg);
        EXPECT_FALSE(Exists(victim));
    }

    // -o - wrote no file named "-".
    EXPECT_TRUE(!Exists("-") || ReadFile("-").find("VER=2.01.0008") == std::string::npos);
}

TEST(NovalinkPublish, VerifyReadsAsTheUpdaterDoes) {
    TempDir dir;
    const std::string large = dir / "large.cfg", odd = dir / "odd.cfg", fifo = dir / "fifo.cfg";
    WriteFile(large, std::string(1024 * 1024 + 1, ';'));
    WriteFile(odd, "[Info]\r\nVER=1\r\n[ Desktop ]\r\n");
    if (!kWindows) {
        ASSERT_EQ(testutil::Run({"/usr/bin/mkfifo", fifo}).exitCode, 0);
    }
    const struct {
        std::string file;
        int exit;
        const char* said;
    } cases[] = {
        {large, 2, "longer than a catalogue may be"},
        {dir.path(), 2, "cannot read the catalogue"},
        {kWindows ? dir.path() : fifo, 2, "cannot read the catalogue"},  // a pipe does not hang
        {odd, 3, "warning: line 3 is not a plain"},
    };
    for (const auto& c : cases) {
        const RunResult r = testutil::Run({BuildProgram("novalink-publish"), "verify", c.file, "--public", "04ab"}, {}, 20);
        EXPECT_EQ(r.exitCode, c.exit) << c.file << ": " << r.out;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
    }
}
