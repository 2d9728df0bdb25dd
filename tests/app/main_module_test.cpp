// The file, profile and folder helpers of the start-up module.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/MainModule.h"
#include "tests/common/RegistrySandbox.h"
#include "tests/common/TestUtil.h"

using namespace nl;
using testutil::Exists;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

TEST(FileAndFolderExists, FollowTheListingAttributes) {
    TempDir dir;
    WriteFile(dir / "BLMNL.PTX", "p");
    WriteFile(dir / ".hidden", "h");
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

    // A file in a folder without write access. Root may delete anything, so the
    // check runs as "nobody" in a child process.
    std::filesystem::create_directory(dir / "locked");
    WriteFile(dir / "locked/f", "x");
    std::filesystem::permissions(dir.path(), static_cast<std::filesystem::perms>(0755));
    std::filesystem::permissions(dir / "locked", static_cast<std::filesystem::perms>(0555));
    EXPECT_EQ(testutil::RunWithoutWriteAccess(dir / "locked", [&]() -> std::string {
                  return KillFile(dir / "locked/f") ? "KillFile answered true for a file it could not delete" : "";
              }),
              "");
    EXPECT_TRUE(Exists(dir / "locked/f"));
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
    const char* saved = std::getenv("TMPDIR");
    std::string keep = saved ? saved : "";
    setenv("TMPDIR", "/srv/t", 1);
    EXPECT_EQ(GetTempDir(), "/srv/t/");
    EXPECT_EQ(GetTempDir() + kStagingFolderName, "/srv/t/BLM_UPDATE");
    // A folder name too long for the 260-character buffer gives no folder rather
    // than a cut one.
    setenv("TMPDIR", ("/" + std::string(300, 'x')).c_str(), 1);
    EXPECT_EQ(GetTempDir(), "");
    if (saved)
        setenv("TMPDIR", keep.c_str(), 1);
    else
        unsetenv("TMPDIR");
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
    CleanFolder(staging);
    EXPECT_FALSE(Exists(staging + "/BLMNL.PTX"));
    EXPECT_TRUE(Exists(staging + "/.keep"));
}

TEST(Paths, NoneIsEverRelativeToTheCurrentFolder) {
    const char* saved = std::getenv("TMPDIR");
    std::string keep = saved ? saved : "";
    struct Case {
        std::string tmpdir, staging;
    } cases[] = {
        {"/srv/t", "/srv/t/BLM_UPDATE"},
        {"/" + std::string(257, 'x'), "/" + std::string(257, 'x') + "/BLM_UPDATE"},  // 259 with the separator
        {"/" + std::string(258, 'x'), ""},  // 260: no room for the NUL in the buffer
        {"/" + std::string(316, 'x'), ""},
        {"relative", ""},
        {"./tmp", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tmpdir.substr(0, 20) + "... " + std::to_string(c.tmpdir.size()));
        setenv("TMPDIR", c.tmpdir.c_str(), 1);
        EXPECT_EQ(TempFolderPath(kStagingFolderName), c.staging);
        std::string base = c.staging.empty() ? "" : c.staging.substr(0, c.staging.size() - 10);
        EXPECT_EQ(TempFolderPath(kCatalogueName), c.staging.empty() ? "" : base + "blmnl.cfg");
        EXPECT_EQ(TempFolderPath(kSetupName), c.staging.empty() ? "" : base + "BLM_SETUP.EXE");
    }
    if (saved)
        setenv("TMPDIR", keep.c_str(), 1);
    else
        unsetenv("TMPDIR");

    EXPECT_EQ(JoinPath("/tmp/BLM_UPDATE", kStagedPackageName), "/tmp/BLM_UPDATE/BLMNL.PTX");
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
    chmod((dir / "ro").c_str(), 0444);
    EXPECT_FALSE(KillFile(dir / "ro"));
    EXPECT_TRUE(Exists(dir / "ro"));
    chmod((dir / "ro").c_str(), 0644);
    EXPECT_TRUE(KillFile(dir / "ro"));
}
