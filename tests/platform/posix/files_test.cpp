// Listing, copying, deleting and the temporary folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/Errors.h"
#include "platform/Files.h"
#include "tests/common/TestUtil.h"

using namespace plat;
using testutil::Exists;
using testutil::ReadFile;
using testutil::TempDir;
using testutil::WriteFile;

namespace {

std::vector<FindData> ListAll(const std::string& pattern, DWORD* error = nullptr) {
    std::vector<FindData> out;
    FindData d;
    HANDLE h = FindFirstFileA(pattern, d);
    if (error) *error = h == PL_INVALID_FIND_HANDLE ? GetLastError() : 0;
    if (h == PL_INVALID_FIND_HANDLE) return out;
    do out.push_back(d);
    while (FindNextFileA(h, d));
    EXPECT_EQ(GetLastError(), PL_ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    return out;
}

std::vector<std::string> Names(const std::vector<FindData>& v) {
    std::vector<std::string> n;
    for (const auto& d : v) n.push_back(d.name);
    return n;
}

mode_t ModeOf(const std::string& p) {
    struct stat st {};
    stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

}  // namespace

TEST(Wildcards, MatchAsWindowsListingsDo) {
    EXPECT_TRUE(MatchesWildcard("*.*", "README"));
    EXPECT_TRUE(MatchesWildcard("*.*", "a.b.c"));
    EXPECT_TRUE(MatchesWildcard("*", ".hidden"));
    EXPECT_TRUE(MatchesWildcard("*.txt", "a.b.txt"));
    EXPECT_FALSE(MatchesWildcard("*.txt", "a.txt.bak"));
    EXPECT_TRUE(MatchesWildcard("foo.*", "foo"));
    EXPECT_TRUE(MatchesWildcard("foo.*", "foo.c"));
    EXPECT_FALSE(MatchesWildcard("foo.*", "foobar"));
    EXPECT_TRUE(MatchesWildcard("*.", "README"));
    EXPECT_FALSE(MatchesWildcard("*.", "a.b"));
    EXPECT_TRUE(MatchesWildcard("BLMNL.???", "BLMNL.PTX"));
    EXPECT_TRUE(MatchesWildcard("BLMNL.???", "BLMNL.IN"));  // '?' may match nothing at the end
    EXPECT_FALSE(MatchesWildcard("a?c", "a.c"));            // ... but never a period
    EXPECT_FALSE(MatchesWildcard("BLMNL.PTX", "blmnl.ptx"));  // names on Linux keep their case
}

TEST(Listing, AttributesPatternsAndErrors) {
    TempDir dir;
    WriteFile(dir / "b.txt", "bb");
    WriteFile(dir / "a.PTX", "a");
    WriteFile(dir / ".hidden", "h");
    std::filesystem::create_directory(dir / "sub");
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    chmod((dir / "b.txt").c_str(), 0444);

    auto all = ListAll(dir / "*.*");
    EXPECT_EQ(Names(all), (std::vector<std::string>{".", "..", ".hidden", "a.PTX", "b.txt", "pipe", "sub"}));
    for (const auto& d : all) {
        SCOPED_TRACE(d.name);
        if (d.name == "a.PTX") {
            EXPECT_EQ(d.attributes, PL_FILE_ATTRIBUTE_NORMAL);
            EXPECT_EQ(d.size, 1u);
        } else if (d.name == "b.txt") {
            EXPECT_EQ(d.attributes, PL_FILE_ATTRIBUTE_READONLY);
        } else if (d.name == ".hidden") {
            EXPECT_EQ(d.attributes, PL_FILE_ATTRIBUTE_HIDDEN);
        } else if (d.name == "pipe") {
            EXPECT_TRUE(d.attributes & PL_FILE_ATTRIBUTE_SYSTEM);
        } else {
            EXPECT_EQ(d.attributes & ~PL_FILE_ATTRIBUTE_READONLY, PL_FILE_ATTRIBUTE_DIRECTORY);
        }
    }
    EXPECT_EQ(Names(ListAll(dir / "*.txt")), (std::vector<std::string>{"b.txt"}));

    // A name without wildcards finds that entry alone.
    auto one = ListAll(dir / "sub");
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].name, "sub");
    EXPECT_TRUE(one[0].attributes & PL_FILE_ATTRIBUTE_DIRECTORY);

    DWORD err = 0;
    EXPECT_TRUE(ListAll(dir / "*.none", &err).empty());
    EXPECT_EQ(err, PL_ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(ListAll(dir / "missing", &err).empty());
    EXPECT_EQ(err, PL_ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(ListAll(dir / "nofolder/*.*", &err).empty());
    EXPECT_EQ(err, PL_ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(ListAll(dir / "b.txt/x", &err).empty());
    EXPECT_EQ(err, PL_ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(ListAll(dir.path() + "/", &err).empty());
    EXPECT_EQ(err, PL_ERROR_FILE_NOT_FOUND);
    EXPECT_TRUE(ListAll("", &err).empty());
    EXPECT_TRUE(ListAll(dir / "s*/x", &err).empty());
    EXPECT_EQ(err, PL_ERROR_INVALID_NAME);

    FindData d;
    EXPECT_FALSE(FindNextFileA(12345, d));
    EXPECT_EQ(GetLastError(), PL_ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FindClose(12345));
}

TEST(Listing, AttributesOfOneNameTakenLiterally) {
    TempDir dir;
    WriteFile(dir / "brightloom", "b");
    WriteFile(dir / ".hidden", "h");
    std::filesystem::create_directory(dir / "sub");
    EXPECT_EQ(GetFileAttributesA(dir / "brightloom"), PL_FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesA(dir / ".hidden"), PL_FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(GetFileAttributesA(dir / "sub") & PL_FILE_ATTRIBUTE_DIRECTORY);

    // Wildcards are ordinary characters: no pattern is listed.
    EXPECT_EQ(GetFileAttributesA(dir / "bright*"), PL_INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), PL_ERROR_FILE_NOT_FOUND);
    WriteFile(dir / "bright*", "star");
    EXPECT_EQ(GetFileAttributesA(dir / "bright*"), PL_FILE_ATTRIBUTE_NORMAL);

    EXPECT_EQ(GetFileAttributesA(dir / "nofolder/x"), PL_INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), PL_ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA(dir / "brightloom/x"), PL_INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), PL_ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA(""), PL_INVALID_FILE_ATTRIBUTES);
}

TEST(Listing, EntriesDeletedDuringTheListingAreStillWalkedOnce) {
    TempDir dir;
    for (const char* n : {"1", "2", "3"}) WriteFile(dir / n, n);
    FindData d;
    HANDLE h = FindFirstFileA(dir / "*.*", d);
    ASSERT_NE(h, PL_INVALID_FIND_HANDLE);
    int files = 0;
    do {
        if (d.attributes & PL_FILE_ATTRIBUTE_DIRECTORY) continue;
        EXPECT_TRUE(DeleteFileA(dir / d.name));
        ++files;
    } while (FindNextFileA(h, d));
    FindClose(h);
    EXPECT_EQ(files, 3);
    EXPECT_TRUE(RemoveDirectoryA(dir.path()));
    std::filesystem::create_directory(dir.path());  // for TempDir's clean-up
}

TEST(CopyFileA, ReplacesWholeAndKeepsTheOldPermissions) {
    TempDir dir;
    std::string pkg = dir / "BLMNL.PTX", prog = dir / "prog";
    std::string payload(300000, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7);
    WriteFile(pkg, payload);
    chmod(pkg.c_str(), 0600);
    WriteFile(prog, "old");
    chmod(prog.c_str(), 0751);

    ASSERT_TRUE(CopyFileA(pkg, prog, false));
    EXPECT_EQ(ReadFile(prog), payload);
    EXPECT_EQ(ModeOf(prog), 0751u);
    // A new file takes the permissions of its source.
    ASSERT_TRUE(CopyFileA(pkg, dir / "fresh", false));
    EXPECT_EQ(ModeOf(dir / "fresh"), 0600u);

    EXPECT_FALSE(CopyFileA(pkg, prog, true));
    EXPECT_EQ(GetLastError(), PL_ERROR_FILE_EXISTS);

    // Through a link, the file it names is replaced and the link stays.
    std::filesystem::create_directory(dir / "opt");
    WriteFile(dir / "opt/real", "old");
    chmod((dir / "opt/real").c_str(), 0755);
    std::filesystem::create_symlink(dir / "opt/real", dir / "link");
    ASSERT_TRUE(CopyFileA(pkg, dir / "link", false));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
    EXPECT_EQ(ReadFile(dir / "opt/real"), payload);
    EXPECT_EQ(ModeOf(dir / "opt/real"), 0755u);

    // Failures leave the target alone and nothing behind.
    EXPECT_FALSE(CopyFileA(dir / "missing", prog, false));
    EXPECT_EQ(GetLastError(), PL_ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(CopyFileA(dir / "nofolder/x", prog, false));
    EXPECT_EQ(GetLastError(), PL_ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(CopyFileA(pkg, dir / "nofolder/x", false));
    EXPECT_EQ(GetLastError(), PL_ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(CopyFileA(pkg, dir / "opt", false));
    EXPECT_EQ(GetLastError(), PL_ERROR_ACCESS_DENIED);
    EXPECT_FALSE(CopyFileA(dir / "opt", prog, false));
    EXPECT_EQ(ReadFile(prog), payload);
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files += std::filesystem::is_regular_file(e.symlink_status());
    EXPECT_EQ(files, 3u);  // BLMNL.PTX, prog, fresh
}

TEST(CopyFileA, AWriteFailureMidwayLeavesTheTargetIntact) {
    // A file-size limit makes the copy's writes fail part of the way, as a
    // full disk would: the target must keep its old contents, and no partial
    // file may be left.
    TempDir dir;
    std::string pkg = dir / "pkg", prog = dir / "prog";
    WriteFile(pkg, std::string(256 * 1024, 'N'));
    WriteFile(prog, "old program");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit lim{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &lim);
        bool copied = CopyFileA(pkg, prog, false);
        _exit(copied ? 1 : GetLastError() == PL_ERROR_DISK_FULL ? 0 : 2);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the copy claimed success; 2: wrong error";
    EXPECT_EQ(ReadFile(prog), "old program");
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
    EXPECT_EQ(files, 2u);
}

TEST(DeleteAndFolders, ReportWindowsErrors) {
    TempDir dir;
    WriteFile(dir / "f", "x");
    EXPECT_TRUE(DeleteFileA(dir / "f"));
    EXPECT_FALSE(Exists(dir / "f"));
    EXPECT_FALSE(DeleteFileA(dir / "f"));
    EXPECT_EQ(GetLastError(), PL_ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(DeleteFileA(dir / "nofolder/f"));
    EXPECT_EQ(GetLastError(), PL_ERROR_PATH_NOT_FOUND);

    EXPECT_TRUE(CreateDirectoryA(dir / "d"));
    EXPECT_FALSE(CreateDirectoryA(dir / "d"));
    EXPECT_EQ(GetLastError(), PL_ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA(dir / "x/y"));
    EXPECT_EQ(GetLastError(), PL_ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(DeleteFileA(dir / "d"));
    EXPECT_EQ(GetLastError(), PL_ERROR_ACCESS_DENIED);

    WriteFile(dir / "d/in", "x");
    EXPECT_FALSE(RemoveDirectoryA(dir / "d"));
    EXPECT_EQ(GetLastError(), PL_ERROR_DIR_NOT_EMPTY);
    EXPECT_TRUE(DeleteFileA(dir / "d/in"));
    EXPECT_TRUE(RemoveDirectoryA(dir / "d"));
    EXPECT_FALSE(Exists(dir / "d"));
}

TEST(TempPath, FromTmpdirAlwaysEndingWithTheSeparator) {
    const char* saved = std::getenv("TMPDIR");
    std::string keep = saved ? saved : "";
    char buf[260];

    setenv("TMPDIR", "/var/sandbox", 1);
    EXPECT_EQ(GetTempPathA(sizeof buf, buf), 13u);
    EXPECT_STREQ(buf, "/var/sandbox/");
    setenv("TMPDIR", "/var/sandbox/", 1);
    EXPECT_EQ(GetTempPathA(sizeof buf, buf), 13u);
    EXPECT_STREQ(buf, "/var/sandbox/");
    // Too small: the length needed, with the NUL, and nothing copied.
    buf[0] = 'q';
    EXPECT_EQ(GetTempPathA(13, buf), 14u);
    EXPECT_EQ(buf[0], 'q');
    setenv("TMPDIR", "", 1);
    EXPECT_EQ(GetTempPathA(sizeof buf, buf), 5u);
    EXPECT_STREQ(buf, "/tmp/");
    unsetenv("TMPDIR");
    GetTempPathA(sizeof buf, buf);
    EXPECT_STREQ(buf, "/tmp/");

    if (saved) setenv("TMPDIR", keep.c_str(), 1);
}
