// Listing, copying, deleting and the temporary folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
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

// The temporary folder is private: $TMPDIR itself when nobody else may write
// to it, otherwise novalink-<uid> inside it, which is refused unless it is a
// real folder of ours with mode 0700; a shared one must be sticky. Nothing found
// there is ever changed.
TEST(TempPath, IsPrivateOrRefused) {
    TempDir dir;
    const std::string own = "novalink-" + std::to_string(geteuid());
    auto folder = [](const std::string& path, mode_t mode) {
        mkdir(path.c_str(), mode);
        chmod(path.c_str(), mode);
    };
    struct Case {
        const char* tmpdir;  // under the scratch folder; "*" names a relative one
        mode_t mode;         // of that folder
        const char* plant;   // what waits as novalink-<uid>: "", "link", "file", "open", "theirs"
        const char* refusal; // words of the reason; nullptr when a folder is given
        bool own;            // the folder given is novalink-<uid>, not TMPDIR itself
    } cases[] = {
        {"a", 0700, "", nullptr, false},       {"b/", 0755, "", nullptr, false},
        {"c", 01777, "", nullptr, true},       {"e", 01777, "link", "symbolic link", false},
        {"f", 01777, "file", "not a folder", false}, {"g", 01777, "open", "has mode 0777", false},
        {"h", 01777, "theirs", "belongs to another user", false}, {"*", 0, "", "not a full path", false},
        {"i", 0777, "", "may be written by others (mode 0777) and is not sticky", false},
    };
    const char* saved = std::getenv("TMPDIR");
    const std::string keep = saved ? saved : "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tmpdir);
        const std::string base = dir / std::string(c.tmpdir).substr(0, 1), mine = base + "/" + own;
        if (c.mode) folder(base, c.mode);
        const std::string plant = c.plant;
        if (plant == "link") folder(base + "0", 0700), symlink((base + "0").c_str(), mine.c_str());
        if (plant == "file") WriteFile(mine, "x");
        if (plant == "open") folder(mine, 0777);
        if (plant == "theirs" && (folder(mine, 0700), chown(mine.c_str(), 65534, 65534) != 0)) continue;  // not root
        setenv("TMPDIR", c.mode ? (dir / c.tmpdir).c_str() : "tmp", 1);
        char buf[4096];
        const DWORD n = GetTempPathA(sizeof buf, buf);
        if (c.refusal) {
            EXPECT_EQ(n, 0u);
            EXPECT_EQ(GetLastError(), PL_ERROR_ACCESS_DENIED);
            EXPECT_NE(TempFolderRefusal().find(c.refusal), std::string::npos) << TempFolderRefusal();
            // What was planted is as it was.
            EXPECT_TRUE(plant.empty() || plant == "file" ? plant.empty() || ReadFile(mine) == "x"
                                                          : std::filesystem::is_directory(mine));
            continue;
        }
        const std::string expected = c.own ? mine + "/" : base + "/";
        EXPECT_EQ(std::string(buf, n), expected);
        EXPECT_EQ(TempFolderRefusal(), "");
        EXPECT_TRUE(IsPrivateFolder(expected));
        struct stat st {};
        EXPECT_TRUE(lstat(expected.c_str(), &st) == 0 && (!c.own || (st.st_mode & 07777) == 0700));
        // Too small: the length needed, with the NUL, and nothing copied.
        buf[0] = 'q';
        EXPECT_EQ(GetTempPathA(n, buf), n + 1);
        EXPECT_EQ(buf[0], 'q');
    }
    // A link to a private folder is not taken as the folder itself.
    folder(dir / "p", 0700);
    symlink("p", (dir / "l").c_str());
    setenv("TMPDIR", (dir / "l").c_str(), 1);
    char buf[4096];
    EXPECT_EQ(std::string(buf, GetTempPathA(sizeof buf, buf)), dir / "l/" + own + "/");
    if (saved) {
        setenv("TMPDIR", keep.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

// ---- read-only files, links that lead nowhere, leftovers of killed copies ----

namespace {

size_t CountStartingWith(const std::string& folder, const std::string& prefix) {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        n += e.path().filename().string().rfind(prefix, 0) == 0;
    return n;
}

// Dates an entry (not what a link leads to) an hour back: left by an earlier run.
void Age(const std::string& path) {
    timespec times[2];
    clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[1] = times[0];
    utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace

TEST(ReadOnly, NeitherDeletedNorReplacedAsOnWindows) {
    TempDir dir;
    WriteFile(dir / "pkg", "new");
    struct Case {
        const char* what;
        std::function<bool()> call;
        DWORD error;
    } cases[] = {
        {"delete", [&] { return DeleteFileA(dir / "ro"); }, PL_ERROR_ACCESS_DENIED},
        {"replace", [&] { return CopyFileA(dir / "pkg", dir / "ro", false); }, PL_ERROR_ACCESS_DENIED},
        {"replace through a link", [&] { return CopyFileA(dir / "pkg", dir / "link", false); }, PL_ERROR_ACCESS_DENIED},
        {"replace unless it exists", [&] { return CopyFileA(dir / "pkg", dir / "ro", true); }, PL_ERROR_FILE_EXISTS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(dir / "ro", "old");
        chmod((dir / "ro").c_str(), 0444);
        std::filesystem::remove(dir / "link");
        std::filesystem::create_symlink(dir / "ro", dir / "link");
        ASSERT_EQ(GetFileAttributesA(dir / "ro"), PL_FILE_ATTRIBUTE_READONLY);
        EXPECT_FALSE(c.call());
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(ReadFile(dir / "ro"), "old");
        EXPECT_EQ(CountStartingWith(dir.path(), "."), 0u) << "a temporary file was left";
        chmod((dir / "ro").c_str(), 0644);
    }
    // A link is no read-only file itself: deleting it deletes the link alone.
    chmod((dir / "ro").c_str(), 0444);
    EXPECT_TRUE(DeleteFileA(dir / "link"));
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "link"));
    EXPECT_EQ(ReadFile(dir / "ro"), "old");
    // Once writable again it goes.
    chmod((dir / "ro").c_str(), 0644);
    EXPECT_TRUE(DeleteFileA(dir / "ro"));
}

TEST(CopyFileA, ALinkThatLeadsNowhereIsNeitherFollowedNorReplaced) {
    TempDir dir;
    WriteFile(dir / "pkg", "new");
    std::filesystem::create_symlink(dir / "gone/prog", dir / "nofolder");
    std::filesystem::create_symlink(dir / "prog", dir / "nofile");
    for (const char* link : {"nofolder", "nofile"}) {
        SCOPED_TRACE(link);
        EXPECT_FALSE(CopyFileA(dir / "pkg", dir / link, false));
        EXPECT_EQ(GetLastError(), PL_ERROR_FILE_NOT_FOUND);
        EXPECT_TRUE(std::filesystem::is_symlink(dir / link)) << "the link was replaced by a file";
    }
    EXPECT_FALSE(Exists(dir / "prog"));
    EXPECT_EQ(CountStartingWith(dir.path(), "."), 0u);
}

TEST(RemoveStaleCopies, ACopyKilledMidwayLeavesAFileTheNextRunRemoves) {
    // The file-size limit's signal kills the copy during its writes.
    TempDir dir;
    std::string pkg = dir / "pkg", prog = dir / "prog";
    WriteFile(pkg, std::string(256 * 1024, 'N'));
    WriteFile(prog, "old program");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_DFL);
        rlimit lim{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &lim);
        CopyFileA(pkg, prog, false);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the copy was not killed";
    EXPECT_EQ(ReadFile(prog), "old program");
    ASSERT_EQ(CountStartingWith(dir.path(), ".prog."), 1u) << "no temporary file was left";

    // Written since this run started: it may be a live copy's, so it stays.
    EXPECT_EQ(RemoveStaleCopies(prog), 0u);
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) Age(e.path());
    EXPECT_EQ(RemoveStaleCopies(prog), 1u);
    EXPECT_EQ(CountStartingWith(dir.path(), ".prog."), 0u);
    EXPECT_EQ(ReadFile(prog), "old program");
    EXPECT_EQ(ReadFile(pkg), std::string(256 * 1024, 'N'));
}

TEST(RemoveStaleCopies, OnlyItsOwnNamesAndNoLiveCopysFile) {
    TempDir dir;
    std::filesystem::create_directory(dir / "opt");
    const std::string folder = dir / "opt";
    WriteFile(folder + "/prog", "program");
    std::filesystem::create_symlink(folder + "/prog", dir / "link");
    struct Entry {
        const char* name;
        bool removed;
    } entries[] = {
        {".prog.novalink-copy-AbC123", true},
        {".prog.novalink-copy-zz9ZZ9", true},
        {".prog.novalink-copy-AbC12", false},    // too short
        {".prog.novalink-copy-AbC1234", false},  // too long
        {".prog.novalink-copy-AbC1_3", false},   // not a letter or digit
        {".prog.new-AbC123", false},             // another writer's temporary
        {"prog.novalink-copy-AbC123", false},
        {".other.novalink-copy-AbC123", false},  // next to another file
        {".prog.novalink-copy-Locked", false},   // a live copy holds it
        {".prog.novalink-copy-Linked", false},   // a link, not a file
        {".prog.novalink-copy-Folder", false},
        {".prog.novalink-copy-Fresh1", false},   // newer than this run
    };
    for (const auto& e : entries) {
        std::string path = folder + "/" + e.name;
        if (std::string(e.name).find("Linked") != std::string::npos)
            std::filesystem::create_symlink(folder + "/prog", path);
        else if (std::string(e.name).find("Folder") != std::string::npos)
            std::filesystem::create_directory(path);
        else
            WriteFile(path, "part");
        if (std::string(e.name).find("Fresh") == std::string::npos) Age(path);
    }
    int held = open((folder + "/.prog.novalink-copy-Locked").c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);

    // While a copy runs in the folder (it holds the folder shared), nothing goes.
    int folderFd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_EQ(flock(folderFd, LOCK_SH), 0);
    EXPECT_EQ(RemoveStaleCopies(dir / "link"), 0u);
    EXPECT_TRUE(Exists(folder + "/.prog.novalink-copy-AbC123"));
    close(folderFd);

    // Through the link, next to the file it leads to.
    EXPECT_EQ(RemoveStaleCopies(dir / "link"), 2u);
    for (const auto& e : entries) {
        SCOPED_TRACE(e.name);
        EXPECT_EQ(std::filesystem::exists(std::filesystem::symlink_status(folder + "/" + e.name)), !e.removed);
    }
    close(held);
    EXPECT_EQ(RemoveStaleCopies(folder + "/prog"), 1u) << "the copy that held its file has gone";
    EXPECT_EQ(ReadFile(folder + "/prog"), "program");
    EXPECT_EQ(RemoveStaleCopies(""), 0u);
    EXPECT_EQ(RemoveStaleCopies(dir / "nofolder/prog"), 0u);
}

TEST(PathIsRelativeA, OnlyFullPathsAreNot) {
    EXPECT_FALSE(PathIsRelativeA("/tmp/BLM_UPDATE"));
    EXPECT_FALSE(PathIsRelativeA("/"));
    for (const char* p : {"", "BLM_UPDATE", "./BLM_UPDATE", "../x", "~/x"}) EXPECT_TRUE(PathIsRelativeA(p)) << p;
}
