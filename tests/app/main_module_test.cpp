// The file, profile and folder helpers of the start-up module. A folder without
// write access is POSIX's own (tests/platform/posix/main_module_test.cpp); a
// file in use, Windows' (tests/platform/win32/main_module_test.cpp).
#include <gtest/gtest.h>

#include <filesystem>

#include "app/MainModule.h"
#include "app/StagedPackage.h"
#include "support/Sha256.h"
#include "tests/common/FileAttributes.h"
#include "tests/common/ScopedEnv.h"
#include "tests/common/TestUtil.h"

using namespace nl;
using testutil::Exists;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

// A full path on this system: "/srv/t" here, "C:\srv\t" on Windows.
std::string Rooted(const std::string& path) { return testutil::NativePath((testutil::kWindows ? "C:" : "") + path); }

}  // namespace

TEST(FileAndFolderExists, FollowTheListingAttributes) {
    TempDir dir;
    WriteFile(dir / "BLMNL.PTX", "p");
    WriteFile(dir / ".hidden", "h");
    testutil::MarkHidden(dir / ".hidden");
    WriteFile(dir / "readonly", "r");
    std::filesystem::permissions(dir / "readonly", static_cast<std::filesystem::perms>(0444));
    std::filesystem::create_directory(dir / "BLM_UPDATE");

    EXPECT_TRUE(FileExists(dir / "BLMNL.PTX"));
    EXPECT_TRUE(FileExists(dir / "readonly"));
    EXPECT_FALSE(FileExists(dir / ".hidden"));
    EXPECT_FALSE(FileExists(dir / "BLM_UPDATE"));
    EXPECT_FALSE(FileExists(dir / "missing"));
    EXPECT_FALSE(FileExists(dir / "nofolder/BLMNL.PTX"));
    EXPECT_FALSE(FileExists(""));
    EXPECT_TRUE(FileExists(dir / "*.PTX"));  // a pattern lists like any other path

    EXPECT_TRUE(FolderExists(dir / "BLM_UPDATE"));
    EXPECT_TRUE(FolderExists(dir / "BLMNL.PTX")) << "a plain file also answers true";
    EXPECT_FALSE(FolderExists(dir / ".hidden"));
    EXPECT_FALSE(FolderExists(dir / "missing"));
    EXPECT_FALSE(FolderExists(""));
}

TEST(KillFile, TrueWhenGoneFalseWhenItMayNotBeDeleted) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    EXPECT_TRUE(KillFile(dir / "f"));
    EXPECT_FALSE(Exists(dir / "f"));
    EXPECT_TRUE(KillFile(dir / "f")) << "a missing file counts as deleted";
    EXPECT_FALSE(KillFile(dir / "nofolder/f"));
    std::filesystem::create_directory(dir / "d");
    EXPECT_FALSE(KillFile(dir / "d")) << "a folder is not a file";
}

TEST(Ini, ReadAndWriteThroughTheProfileCalls) {
    TempDir dir;
    std::string state = dir / "BLMNL.INI";
    WriteIni(state, "INFO", "VER", "2.5.1");
    WriteIni(state, "INFO", "Size", "123456");
    EXPECT_EQ(ReadIni(state, "Info", "VER"), "2.5.1");
    EXPECT_EQ(ReadIni(state, "info", "size"), "123456");
    EXPECT_EQ(ReadIni(state, "Info", "nope"), "");
    EXPECT_EQ(ReadIni(dir / "absent.cfg", "Info", "VER"), "");
    WriteIni(dir / "nofolder/x.ini", "a", "b", "c");  // fails quietly

    // A value longer than the buffer comes back as its first 511 characters.
    std::string lng(600, 'x');
    lng[510] = 'E';
    WriteIni(state, "Info", "Readme", lng);
    std::string got = ReadIni(state, "Info", "Readme");
    EXPECT_EQ(got.size(), 511u);
    EXPECT_EQ(got.back(), 'E');
}

TEST(GetTempDir, EndsWithTheSeparator) {
    TempDir dir;
    testutil::ScopedEnv tmp(testutil::kTempFolderVariable, dir.path());
    EXPECT_EQ(GetTempDir(), testutil::NativePath(dir / ""));
    EXPECT_EQ(GetTempDir() + kStagingFolderName, testutil::NativePath(dir / "BLM_UPDATE"));
    // A folder name too long for the 260-character buffer gives no folder rather
    // than a cut one.
    tmp.Set(Rooted("/" + std::string(300, 'x')));
    EXPECT_EQ(GetTempDir(), "");
}

TEST(ParseProcessId, ReadsALeadingNumberAfterTheSwitch) {
    long id = -1;
    auto parse = [&](const std::string& s) {
        EXPECT_TRUE(ParseProcessId(s, id)) << s;
        return id;
    };
    EXPECT_EQ(parse("/U1234"), 1234);
    EXPECT_EQ(parse("/U 1234"), 1234);
    EXPECT_EQ(parse("/u \t 77 trailing"), 77);
    EXPECT_EQ(parse("/U"), 0);
    EXPECT_EQ(parse("/Uabc"), 0);
    EXPECT_EQ(parse("/U 12abc"), 12);
    EXPECT_EQ(parse("/U 2.5"), 2);  // halves go to the even neighbour
    EXPECT_EQ(parse("/U 3.5"), 4);
    EXPECT_EQ(parse("/U 1e3"), 1000);
    EXPECT_EQ(parse("/U -7"), -7);
    EXPECT_EQ(parse("/U 2147483647"), 2147483647);
    EXPECT_FALSE(ParseProcessId("/U 2147483648", id));
    EXPECT_FALSE(ParseProcessId("/U 1e30", id));
}

TEST(CleanFolder, RemovesPlainFilesThenTheFolderIfEmpty) {
    TempDir dir;
    std::string staging = dir / "BLM_UPDATE";
    std::filesystem::create_directory(staging);
    WriteFile(staging + "/BLMNL.PTX", "p");
    WriteFile(staging + "/BLMNL.INI", "i");
    CleanFolder(staging);
    EXPECT_FALSE(Exists(staging));

    // A hidden file is not listed, so it and the folder stay.
    std::filesystem::create_directory(staging);
    WriteFile(staging + "/BLMNL.PTX", "p");
    WriteFile(staging + "/.keep", "k");
    testutil::MarkHidden(staging + "/.keep");
    CleanFolder(staging);
    EXPECT_FALSE(Exists(staging + "/BLMNL.PTX"));
    EXPECT_TRUE(Exists(staging + "/.keep"));
}

TEST(Paths, NoneIsEverRelativeToTheCurrentFolder) {
    // The longest name that fits: 259 characters with the separator, 260 with
    // the NUL; "C:" takes two of them on Windows.
    const size_t fits = testutil::kWindows ? 255 : 257;
    // A name that is no full path gives no folder here. Windows' GetTempPath
    // qualifies it against the current folder itself, as its documentation
    // says: there the folder is the current one's.
    auto relative = [](const std::string& name) {
        return testutil::kWindows ? testutil::NativePath(std::filesystem::current_path().string() + "/" + name +
                                                         "/BLM_UPDATE")
                                  : std::string();
    };
    // On Linux the folder must also be there and private to count.
    TempDir dir;
    struct Case {
        std::string tmpdir, staging;
    } cases[] = {
        {dir.path(), testutil::NativePath(dir / "BLM_UPDATE")},
        {Rooted("/" + std::string(fits, 'x')),
         testutil::kWindows ? Rooted("/" + std::string(fits, 'x') + "/BLM_UPDATE") : ""},
        {Rooted("/" + std::string(fits + 1, 'x')), ""},  // 260: no room for the NUL in the buffer
        {Rooted("/" + std::string(316, 'x')), ""},
        {"relative", relative("relative")},
        {"./tmp", relative("tmp")},
    };
    testutil::ScopedEnv tmp(testutil::kTempFolderVariable, "");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tmpdir.substr(0, 20) + "... " + std::to_string(c.tmpdir.size()));
        tmp.Set(c.tmpdir);
        EXPECT_EQ(TempFolderPath(kStagingFolderName), c.staging);
        std::string base = c.staging.empty() ? "" : c.staging.substr(0, c.staging.size() - 10);
        EXPECT_EQ(TempFolderPath(kCatalogueName), c.staging.empty() ? "" : base + "blmnl.cfg");
        EXPECT_EQ(TempFolderPath(kSetupName), c.staging.empty() ? "" : base + "BLM_SETUP.EXE");
    }

    EXPECT_EQ(JoinPath(Rooted("/tmp/BLM_UPDATE"), kStagedPackageName), Rooted("/tmp/BLM_UPDATE/BLMNL.PTX"));
    EXPECT_EQ(JoinPath("", kStagedPackageName), "");
    EXPECT_EQ(JoinPath("BLM_UPDATE", kStagedPackageName), "");
}

TEST(CleanFolder, LeavesAFolderThatIsNoFullPathAlone) {
    TempDir dir;
    std::filesystem::create_directory(dir / "BLM_UPDATE");
    WriteFile(dir / "BLM_UPDATE/BLMNL.PTX", "p");
    WriteFile(dir / "keep", "k");
    auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    CleanFolder("BLM_UPDATE");
    std::filesystem::current_path(dir / "BLM_UPDATE");
    CleanFolder(".");
    std::filesystem::current_path(cwd);
    EXPECT_EQ(ReadFile(dir / "BLM_UPDATE/BLMNL.PTX"), "p");
    EXPECT_EQ(ReadFile(dir / "keep"), "k");
}

TEST(KillFile, FalseForAReadOnlyFile) {
    TempDir dir;
    WriteFile(dir / "ro", "x");
    std::filesystem::permissions(dir / "ro", static_cast<std::filesystem::perms>(0444));
    EXPECT_FALSE(KillFile(dir / "ro"));
    EXPECT_TRUE(Exists(dir / "ro"));
    std::filesystem::permissions(dir / "ro", static_cast<std::filesystem::perms>(0644));
    EXPECT_TRUE(KillFile(dir / "ro"));
}

TEST(StagedPackage, WhatIsCheckedIsWhatIsCopied) {
    // A file renamed over the package once its digest was read must not be what
    // lands on the program file (Windows refuses the rename while it is open).
    TempDir dir;
    WriteFile(dir / "BLMNL.PTX", "the real package");
    WriteFile(dir / "theirs", "their program");
    StagedPackage package(dir / "BLMNL.PTX");
    ASSERT_TRUE(package.IsOpen());
    EXPECT_EQ(package.Length(), 16);
    EXPECT_EQ(package.Digest(), Sha256::Of("the real package"));
    std::error_code ec;
    std::filesystem::rename(dir / "theirs", dir / "BLMNL.PTX", ec);
    ASSERT_TRUE(package.CopyTo(dir / "program"));
    EXPECT_EQ(ReadFile(dir / "program"), "the real package");
    EXPECT_EQ(package.Digest(), Sha256::Of("the real package"));
}
