#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/Errors.h"
#include "platform/WildcardMatch.h"
#include "platform/posix/ErrorMap.h"
#include "platform/posix/FileUtil.h"

namespace plat {

using posix::PathAt;
using posix::SetLastErrorFromErrno;

namespace {

bool HasWildcards(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

}  // namespace

// Names on Linux file systems differ by case.
bool MatchesWildcard(const std::string& pattern, const std::string& name) {
    return wildcard::Match(pattern, name, false);
}

// ---- listing --------------------------------------------------------------

namespace {

struct Listing {
    std::vector<FindData> entries;
    size_t next = 0;
};

std::mutex g_findMutex;
std::map<HANDLE, Listing> g_finds;
HANDLE g_nextFind = 0x1000;

DWORD AttributesAt(int dir, const char* entry, const std::string& name, std::uint64_t* size) {
    DWORD attrs = 0;
    struct stat st {};
    if (fstatat(dir, entry, &st, 0) != 0) {
        // A broken link or an entry we may not look at.
        *size = 0;
        attrs = PL_FILE_ATTRIBUTE_SYSTEM;
    } else {
        *size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
        if (S_ISDIR(st.st_mode))
            attrs |= PL_FILE_ATTRIBUTE_DIRECTORY;
        else if (!S_ISREG(st.st_mode))
            attrs |= PL_FILE_ATTRIBUTE_SYSTEM;
        if ((st.st_mode & S_IWUSR) == 0) attrs |= PL_FILE_ATTRIBUTE_READONLY;
    }
    if (name.size() > 1 && name[0] == '.' && name != "..") attrs |= PL_FILE_ATTRIBUTE_HIDDEN;
    return attrs == 0 ? PL_FILE_ATTRIBUTE_NORMAL : attrs;
}

HANDLE Register(std::vector<FindData> entries, FindData& found) {
    found = entries.front();
    std::lock_guard<std::mutex> lk(g_findMutex);
    HANDLE h = g_nextFind++;
    g_finds[h] = Listing{std::move(entries), 1};
    return h;
}

}  // namespace

HANDLE FindFirstFileA(const std::string& pattern, FindData& found) {
    found = FindData{};
    if (pattern.empty()) {
        SetLastError(PL_ERROR_PATH_NOT_FOUND);
        return PL_INVALID_FIND_HANDLE;
    }
    size_t slash = pattern.rfind(PL_PATH_SEPARATOR);
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : pattern.substr(0, slash);
    std::string last = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (last.empty()) {
        SetLastError(PL_ERROR_FILE_NOT_FOUND);
        return PL_INVALID_FIND_HANDLE;
    }
    if (HasWildcards(folder)) {
        SetLastError(PL_ERROR_INVALID_NAME);
        return PL_INVALID_FIND_HANDLE;
    }

    if (!HasWildcards(last)) {
        PathAt at(pattern);
        struct stat st {};
        if (fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            int err = errno;
            SetLastError(err == ENOENT && !posix::IsFolder(folder) ? PL_ERROR_PATH_NOT_FOUND
                         : err == ENOTDIR                          ? PL_ERROR_PATH_NOT_FOUND
                                                                   : posix::FromErrno(err));
            return PL_INVALID_FIND_HANDLE;
        }
        FindData d;
        d.name = last;
        d.attributes = AttributesAt(at.dir(), at.name(), last, &d.size);
        return Register({d}, found);
    }

    PathAt at(folder);
    const int folderFd = openat(at.dir(), at.name(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = folderFd >= 0 ? fdopendir(folderFd) : nullptr;
    if (!dir) {
        int err = errno;
        if (folderFd >= 0) close(folderFd);
        SetLastError(err == ENOENT || err == ENOTDIR ? PL_ERROR_PATH_NOT_FOUND : posix::FromErrno(err));
        return PL_INVALID_FIND_HANDLE;
    }
    std::vector<FindData> entries;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (!MatchesWildcard(last, name)) continue;
        FindData d;
        d.name = name;
        d.attributes = AttributesAt(dirfd(dir), e->d_name, name, &d.size);
        entries.push_back(std::move(d));
    }
    closedir(dir);
    if (entries.empty()) {
        SetLastError(PL_ERROR_FILE_NOT_FOUND);
        return PL_INVALID_FIND_HANDLE;
    }
    std::sort(entries.begin(), entries.end(),
              [](const FindData& a, const FindData& b) { return a.name < b.name; });
    return Register(std::move(entries), found);
}

bool FindNextFileA(HANDLE find, FindData& found) {
    std::lock_guard<std::mutex> lk(g_findMutex);
    auto it = g_finds.find(find);
    if (it == g_finds.end()) {
        SetLastError(PL_ERROR_INVALID_HANDLE);
        return false;
    }
    Listing& l = it->second;
    if (l.next >= l.entries.size()) {
        SetLastError(PL_ERROR_NO_MORE_FILES);
        return false;
    }
    found = l.entries[l.next++];
    return true;
}

bool FindClose(HANDLE find) {
    std::lock_guard<std::mutex> lk(g_findMutex);
    if (g_finds.erase(find) == 0) {
        SetLastError(PL_ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

DWORD GetFileAttributesA(const std::string& path) {
    if (path.empty()) {
        SetLastError(PL_ERROR_PATH_NOT_FOUND);
        return PL_INVALID_FILE_ATTRIBUTES;
    }
    PathAt at(path);
    struct stat st {};
    if (fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        int err = errno;
        SetLastError(err == ENOENT && !posix::IsFolder(posix::FolderOf(path)) ? PL_ERROR_PATH_NOT_FOUND
                     : err == ENOENT                                        ? PL_ERROR_FILE_NOT_FOUND
                     : err == ENOTDIR                                       ? PL_ERROR_PATH_NOT_FOUND
                                                                            : posix::FromErrno(err));
        return PL_INVALID_FILE_ATTRIBUTES;
    }
    size_t slash = path.rfind(PL_PATH_SEPARATOR);
    std::uint64_t size = 0;
    return AttributesAt(at.dir(), at.name(), slash == std::string::npos ? path : path.substr(slash + 1), &size);
}

// ---- copy -----------------------------------------------------------------

namespace {

// When this process started, as near as the clock can tell: a temporary copy
// written since then may belong to a copy that is still running.
const struct timespec g_processStart = [] {
    struct timespec t {};
    clock_gettime(CLOCK_REALTIME, &t);
    return t;
}();

// The names CopyFileA gives its temporary files next to a file of this name:
// this prefix and TempFile::kRandomLength letters or digits.
std::string CopyPrefix(const std::string& fileName) { return "." + fileName + ".novalink-copy-"; }

bool IsCopyName(const std::string& entry, const std::string& prefix) {
    if (entry.size() != prefix.size() + posix::TempFile::kRandomLength || entry.compare(0, prefix.size(), prefix) != 0)
        return false;
    return std::all_of(entry.begin() + static_cast<long>(prefix.size()), entry.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    });
}

std::string NameOf(const std::string& path) {
    size_t slash = path.rfind(PL_PATH_SEPARATOR);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool FollowLink(const std::string& path, std::string& target) { return posix::ReplacedFile(path, target); }

int Flock(int fd, int operation) {
    int r;
    do r = flock(fd, operation);
    while (r != 0 && errno == EINTR);
    return r;
}

// The folder of a copy's temporary files. Copies hold it shared from before
// their temporary file exists until it is gone or renamed; the clean-up holds it
// exclusive while it looks for leftovers, so it never meets a live copy's file.
class FolderLock {
public:
    explicit FolderLock(const std::string& file) : fd_(PathAt(file).OpenFolder()) {}
    ~FolderLock() {
        if (fd_ >= 0) close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    int fd() const { return fd_; }
    // Where the folder cannot be locked the copy goes on without: its own file
    // lock then still keeps the clean-up away.
    void HoldShared() {
        if (fd_ >= 0) Flock(fd_, LOCK_SH);
    }
    // 0 when held, otherwise the errno (EWOULDBLOCK while a copy runs).
    int TryExclusive() {
        if (fd_ < 0) return EBADF;
        return Flock(fd_, LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
    }

private:
    int fd_;
};

bool Before(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

}  // namespace

namespace {

// The copy itself, from `in` (open, at its first byte) onto `to`. Closes `in`
// when `closeIn` is set.
bool CopyFrom(int in, bool closeIn, const std::string& to, bool failIfExists) {
    auto close = [&](int fd) {
        if (closeIn) ::close(fd);
    };
    // Replace the file a link names, not the link; a link that leads nowhere
    // names no file to replace.
    std::string target;
    if (!FollowLink(to, target)) {
        close(in);
        SetLastError(PL_ERROR_FILE_NOT_FOUND);
        return false;
    }
    struct stat src {};
    if (fstat(in, &src) != 0 || !S_ISREG(src.st_mode)) {
        close(in);
        SetLastError(PL_ERROR_ACCESS_DENIED);
        return false;
    }

    struct stat old {};
    bool exists = false;
    {
        PathAt at(target);
        exists = fstatat(at.dir(), at.name(), &old, 0) == 0;
    }
    if (exists && S_ISDIR(old.st_mode)) {
        close(in);
        SetLastError(PL_ERROR_ACCESS_DENIED);
        return false;
    }
    if (exists && failIfExists) {
        close(in);
        SetLastError(PL_ERROR_FILE_EXISTS);
        return false;
    }
    // A read-only file is not replaced, as on Windows.
    if (exists && (old.st_mode & S_IWUSR) == 0) {
        close(in);
        SetLastError(PL_ERROR_ACCESS_DENIED);
        return false;
    }
    if (exists && old.st_dev == src.st_dev && old.st_ino == src.st_ino) {
        close(in);
        SetLastError(PL_ERROR_SHARING_VIOLATION);
        return false;
    }
    // A program file that some process runs or holds open is in use, as it is
    // on Windows: renaming over it would pull it from under that process.
    if (exists && FileInUse(target)) {
        close(in);
        SetLastError(PL_ERROR_SHARING_VIOLATION);
        return false;
    }

    // The lock outlives the temporary file (declared first, released last).
    FolderLock folder(target);
    folder.HoldShared();
    posix::TempFile tmp;
    if (!tmp.Create(target, CopyPrefix(NameOf(target)))) {
        int err = errno;
        close(in);
        SetLastError(err == ENOENT ? PL_ERROR_PATH_NOT_FOUND : posix::FromErrno(err));
        return false;
    }
    Flock(tmp.fd(), LOCK_EX);
    bool ok = posix::CopyData(in, tmp.fd());
    int err = errno;
    close(in);
    if (!ok) {
        SetLastErrorFromErrno(err);
        return false;
    }
    // The copy takes the permissions (and, where we may, the owner) of the file
    // it replaces, so a replaced program can still be started; a new file takes
    // those of its source.
    const struct stat& like = exists ? old : src;
    if (exists && fchown(tmp.fd(), old.st_uid, old.st_gid) != 0) {
        // Not allowed for an ordinary user; the file then belongs to us.
    }
    if (fchmod(tmp.fd(), like.st_mode & 07777) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    if (!tmp.Commit(target, failIfExists)) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

int Fd(HANDLE file) { return file == PL_INVALID_FILE_HANDLE ? -1 : static_cast<int>(file - 1); }

}  // namespace

bool CopyFileA(const std::string& from, const std::string& to, bool failIfExists) {
    if (from.empty() || to.empty()) {
        SetLastError(PL_ERROR_PATH_NOT_FOUND);
        return false;
    }
    PathAt at(from);
    int in = openat(at.dir(), at.name(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        int err = errno;
        SetLastError(err == ENOENT && !posix::IsFolder(posix::FolderOf(from)) ? PL_ERROR_PATH_NOT_FOUND
                                                                              : posix::FromErrno(err));
        return false;
    }
    return CopyFrom(in, true, to, failIfExists);
}

bool CopyOpenFile(HANDLE from, const std::string& to, bool failIfExists) {
    const int in = Fd(from);
    if (in < 0 || to.empty()) {
        SetLastError(in < 0 ? PL_ERROR_INVALID_HANDLE : PL_ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (lseek(in, 0, SEEK_SET) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return CopyFrom(in, false, to, failIfExists);
}

HANDLE OpenFileForReading(const std::string& path) {
    if (path.empty()) {
        SetLastError(PL_ERROR_PATH_NOT_FOUND);
        return PL_INVALID_FILE_HANDLE;
    }
    // O_NONBLOCK: a pipe planted under the name must not hang the open.
    PathAt at(path);
    int fd = openat(at.dir(), at.name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        SetLastError(err == ELOOP                                                 ? PL_ERROR_ACCESS_DENIED
                     : err == ENOENT && !posix::IsFolder(posix::FolderOf(path)) ? PL_ERROR_PATH_NOT_FOUND
                                                                                 : posix::FromErrno(err));
        return PL_INVALID_FILE_HANDLE;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        SetLastError(PL_ERROR_ACCESS_DENIED);
        return PL_INVALID_FILE_HANDLE;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return static_cast<HANDLE>(fd) + 1;
}

bool ReadOpenFile(HANDLE file, void* buffer, DWORD size, DWORD& read) {
    read = 0;
    const int fd = Fd(file);
    if (fd < 0) {
        SetLastError(PL_ERROR_INVALID_HANDLE);
        return false;
    }
    for (;;) {
        ssize_t n = ::read(fd, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            SetLastErrorFromErrno(errno);
            return false;
        }
        read = static_cast<DWORD>(n);
        return true;
    }
}

bool SizeOfOpenFile(HANDLE file, std::uint64_t& size) {
    struct stat st {};
    if (Fd(file) < 0 || fstat(Fd(file), &st) != 0) {
        SetLastError(PL_ERROR_INVALID_HANDLE);
        return false;
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool RewindOpenFile(HANDLE file) {
    if (Fd(file) < 0 || lseek(Fd(file), 0, SEEK_SET) != 0) {
        SetLastError(PL_ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

bool CloseOpenFile(HANDLE file) {
    if (Fd(file) < 0 || ::close(Fd(file)) != 0) {
        SetLastError(PL_ERROR_INVALID_HANDLE);
        return false;
    }
    return true;
}

namespace {

bool SameFile(const char* path, dev_t dev, ino_t ino) {
    struct stat st {};
    return stat(path, &st) == 0 && st.st_dev == dev && st.st_ino == ino;
}

// A line of /proc/<pid>/maps: "start-end perms offset major:minor inode path".
bool MapsHold(const std::string& mapsPath, dev_t dev, ino_t ino) {
    FILE* f = fopen(mapsPath.c_str(), "re");
    if (!f) return false;
    bool found = false;
    char line[4096];
    while (!found && fgets(line, sizeof line, f)) {
        unsigned int maj = 0, min = 0;
        unsigned long long inode = 0;
        if (sscanf(line, "%*s %*s %*s %x:%x %llu", &maj, &min, &inode) == 3 && inode != 0 &&
            inode == static_cast<unsigned long long>(ino) && maj == major(dev) && min == minor(dev))
            found = true;
    }
    fclose(f);
    return found;
}

}  // namespace

bool FileInUse(const std::string& path) {
    struct stat target {};
    if (path.empty()) return false;
    {
        PathAt at(path);
        if (fstatat(at.dir(), at.name(), &target, 0) != 0) return false;
    }
    DIR* proc = opendir("/proc");
    if (!proc) return false;
    bool used = false;
    while (!used) {
        dirent* p = readdir(proc);
        if (!p) break;
        if (p->d_name[0] < '1' || p->d_name[0] > '9') continue;
        const std::string base = std::string("/proc/") + p->d_name;
        // Processes of other users cannot be looked into; they are passed over.
        if (SameFile((base + "/exe").c_str(), target.st_dev, target.st_ino)) {
            used = true;
            break;
        }
        if (DIR* fds = opendir((base + "/fd").c_str())) {
            while (dirent* e = readdir(fds)) {
                if (e->d_name[0] == '.') continue;
                if (SameFile((base + "/fd/" + e->d_name).c_str(), target.st_dev, target.st_ino)) {
                    used = true;
                    break;
                }
            }
            closedir(fds);
        }
        if (!used) used = MapsHold(base + "/maps", target.st_dev, target.st_ino);
    }
    closedir(proc);
    return used;
}

bool MarkExecutable(const std::string& path) {
    PathAt at(path);
    struct stat st {};
    if (path.empty() || fstatat(at.dir(), at.name(), &st, 0) != 0 || !S_ISREG(st.st_mode)) {
        SetLastError(PL_ERROR_FILE_NOT_FOUND);
        return false;
    }
    // Execute for each class that may read it.
    mode_t mode = st.st_mode & 07777;
    if (mode & S_IRUSR) mode |= S_IXUSR;
    if (mode & S_IRGRP) mode |= S_IXGRP;
    if (mode & S_IROTH) mode |= S_IXOTH;
    if (fchmodat(at.dir(), at.name(), mode, 0) != 0) {
        SetLastErrorFromErrno(errno);
        return false;
    }
    return true;
}

DWORD RemoveStaleCopies(const std::string& to) {
    std::string target;
    if (to.empty() || !FollowLink(to, target)) return 0;
    const std::string prefix = CopyPrefix(NameOf(target));
    FolderLock folder(target);
    int locked = folder.TryExclusive();
    // A copy is running next to it (EWOULDBLOCK), or the folder cannot be read.
    if (locked == EWOULDBLOCK || folder.fd() < 0) return 0;
    int listFd = dup(folder.fd());
    DIR* dir = listFd >= 0 ? fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0) close(listFd);
        return 0;
    }
    DWORD removed = 0;
    while (dirent* e = readdir(dir)) {
        if (!IsCopyName(e->d_name, prefix)) continue;
        int fd = openat(folder.fd(), e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {}, now {};
        // Only our own plain files from before this run that no live copy holds
        // (a copy keeps its file locked, should the folder lock be unavailable),
        // and only while the name still leads to that file.
        if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() &&
            Before(st.st_mtim, g_processStart) && Flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            fstatat(folder.fd(), e->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_dev == st.st_dev &&
            now.st_ino == st.st_ino && unlinkat(folder.fd(), e->d_name, 0) == 0)
            ++removed;
        close(fd);
    }
    closedir(dir);
    return removed;
}

// ---- a file replaced in one step ------------------------------------------

std::string CreateReplacement(const std::string& target) {
    std::string file;
    if (target.empty() || !posix::ReplacedFile(target, file)) {
        SetLastError(PL_ERROR_FILE_NOT_FOUND);
        return "";
    }
    posix::TempFile tmp;
    if (!tmp.Create(file)) {
        SetLastErrorFromErrno(errno);
        return "";
    }
    const std::string path = tmp.Path();
    tmp.Release();
    return path;
}

bool CommitReplacement(const std::string& replacement, const std::string& target) {
    std::string file;
    if (target.empty() || !posix::ReplacedFile(target, file)) {
        SetLastError(PL_ERROR_FILE_NOT_FOUND);
        return false;
    }
    if (posix::FolderOf(replacement) != posix::FolderOf(file)) {
        SetLastError(PL_ERROR_INVALID_PARAMETER);
        return false;
    }
    PathAt at(replacement);
    const int fd = openat(at.dir(), at.name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    const int dir = at.OpenFolder();
    struct stat st {}, old {};
    bool ok = fd >= 0 && dir >= 0 && fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode)) {
        ok = false;
        errno = EACCES;
    }
    if (ok && fstatat(dir, PathAt(file).Leaf().c_str(), &old, 0) == 0) ok = fchmod(fd, old.st_mode & 07777) == 0;
    ok = ok && posix::RenameFlushed(fd, dir, at.Leaf(), PathAt(file).Leaf(), false);
    const int err = errno;
    if (fd >= 0) close(fd);
    if (dir >= 0) close(dir);
    if (!ok) SetLastErrorFromErrno(err);
    return ok;
}

// ---- delete, folders ------------------------------------------------------

bool DeleteFileA(const std::string& path) {
    if (path.empty()) {
        SetLastError(PL_ERROR_PATH_NOT_FOUND);
        return false;
    }
    // A read-only file stays, as on Windows. A link is not read-only itself.
    PathAt at(path);
    struct stat st {};
    if (fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        (st.st_mode & S_IWUSR) == 0) {
        SetLastError(PL_ERROR_ACCESS_DENIED);
        return false;
    }
    if (unlinkat(at.dir(), at.name(), 0) == 0) return true;
    int err = errno;
    if (err == ENOENT)
        SetLastError(posix::IsFolder(posix::FolderOf(path)) ? PL_ERROR_FILE_NOT_FOUND : PL_ERROR_PATH_NOT_FOUND);
    else if (err == ENOTDIR)
        SetLastError(PL_ERROR_PATH_NOT_FOUND);
    else
        SetLastErrorFromErrno(err);
    return false;
}

bool CreateDirectoryA(const std::string& path) {
    if (path.empty()) {
        SetLastError(PL_ERROR_PATH_NOT_FOUND);
        return false;
    }
    // A new folder takes after its parent, as on Windows: inside a folder that
    // nobody else may write to, nobody else may write to it either.
    std::string parent = path;
    while (parent.size() > 1 && parent.back() == PL_PATH_SEPARATOR) parent.pop_back();
    parent = posix::FolderOf(parent);
    struct stat st {};
    PathAt up(parent);
    const bool privateParent = fstatat(up.dir(), up.name(), &st, 0) == 0 && (st.st_mode & 022) == 0;
    PathAt at(path);
    if (mkdirat(at.dir(), at.name(), privateParent ? 0755 : 0777) == 0) return true;
    int err = errno;
    SetLastError(err == ENOENT || err == ENOTDIR ? PL_ERROR_PATH_NOT_FOUND : posix::FromErrno(err));
    return false;
}

bool RemoveDirectoryA(const std::string& path) {
    if (path.empty()) {
        SetLastError(PL_ERROR_PATH_NOT_FOUND);
        return false;
    }
    PathAt at(path);
    if (unlinkat(at.dir(), at.name(), AT_REMOVEDIR) == 0) return true;
    int err = errno;
    SetLastError(err == ENOTDIR ? PL_ERROR_DIRECTORY : err == EEXIST ? PL_ERROR_DIR_NOT_EMPTY : posix::FromErrno(err));
    return false;
}

bool PathIsRelativeA(const std::string& path) { return path.empty() || path[0] != PL_PATH_SEPARATOR; }

// ---- the temporary folder -------------------------------------------------

namespace {

std::string Mode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Opens the folder `path` names by walking it from the root, one folder at a
// time through descriptors, and checks each on the way, the temporary folder
// too: it must belong to root or to us, and no group or other user may write
// to it unless it is sticky (where nobody may rename or remove what is not
// theirs). A link on the way must belong to root or to us; it is followed.
// The open folder, or -1 with the reason in `why`.
int OpenSafeFolder(const std::string& path, std::string& why) {
    const uid_t me = geteuid();
    const auto trusted = [me](uid_t owner) { return owner == 0 || owner == me; };
    const auto check = [&](int fd, const std::string& shown) {
        struct stat st {};
        if (fstat(fd, &st) != 0)
            why = "the folder " + shown + " cannot be examined: " + std::strerror(errno);
        else if (!trusted(st.st_uid))
            why = "the folder " + shown + " on the way to the temporary folder belongs to another user (uid " +
                  std::to_string(st.st_uid) + ")";
        else if ((st.st_mode & 022) != 0 && (st.st_mode & S_ISVTX) == 0)
            why = "the folder " + shown + " on the way to the temporary folder may be written by others (mode " +
                  Mode(st.st_mode) + ") and is not sticky";
        return why.empty();
    };
    // Components still to walk, the next one last.
    std::vector<std::string> todo;
    const auto push = [&todo](const std::string& p) {
        std::vector<std::string> parts;
        for (size_t at = 0; at <= p.size();) {
            size_t slash = p.find('/', at);
            if (slash == std::string::npos) slash = p.size();
            if (slash > at) parts.push_back(p.substr(at, slash - at));
            at = slash + 1;
        }
        todo.insert(todo.end(), parts.rbegin(), parts.rend());
    };
    // The folders walked so far, each open, with its path.
    std::vector<std::pair<int, std::string>> walked;
    const auto closeAll = [&walked] {
        for (auto& w : walked) close(w.first);
        walked.clear();
    };
    const auto fromRoot = [&] {
        closeAll();
        const int root = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (root < 0) {
            why = std::string("the folder / cannot be opened: ") + std::strerror(errno);
            return false;
        }
        walked.emplace_back(root, "");
        return check(root, "/");
    };
    if (!fromRoot()) {
        closeAll();
        return -1;
    }
    push(path);
    int links = 0;
    while (!todo.empty()) {
        const std::string part = todo.back();
        todo.pop_back();
        if (part == ".") continue;
        if (part == "..") {
            if (walked.size() > 1) {
                close(walked.back().first);
                walked.pop_back();
            }
            continue;
        }
        const int dir = walked.back().first;
        const std::string here = walked.back().second + "/" + part;
        const int next = openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next >= 0) {
            walked.emplace_back(next, here);
            if (!check(next, here)) break;
            continue;
        }
        const int err = errno;
        struct stat st {};
        if (fstatat(dir, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode)) {
            why = "the temporary folder " + path + " cannot be opened at " + here + ": " + std::strerror(err);
            break;
        }
        if (!trusted(st.st_uid)) {
            why = "the link " + here + " on the way to the temporary folder belongs to another user (uid " +
                  std::to_string(st.st_uid) + ")";
            break;
        }
        char target[PATH_MAX];
        const ssize_t n = readlinkat(dir, part.c_str(), target, sizeof target - 1);
        if (n <= 0 || ++links > 40) {
            why = "the link " + here + " on the way to the temporary folder cannot be followed";
            break;
        }
        push(std::string(target, static_cast<size_t>(n)));
        if (target[0] == '/' && !fromRoot()) break;
    }
    if (!why.empty()) {
        closeAll();
        return -1;
    }
    const int fd = walked.back().first;
    walked.pop_back();
    closeAll();
    return fd;
}

// Holds the checked folder `fd` (with `st` its status) as the one `path` names.
// Once one is held, the same path leading to another folder later means it was
// swapped while in use: that one is not taken (false, the reason in `why`).
bool Hold(const std::string& path, int fd, const struct stat& st, std::string& why) {
    struct stat held {};
    if (posix::HeldFolderPath() != path || fstat(posix::HeldFolderFd(), &held) != 0) {
        posix::HoldFolder(path, fd);
        return true;
    }
    close(fd);
    if (held.st_dev == st.st_dev && held.st_ino == st.st_ino) return true;
    why = "the temporary folder " + path + " was replaced by another since it was checked";
    return false;
}

// The temporary folder of this user: $TMPDIR (else /tmp) itself when it is
// private, a real folder of ours that nobody else may write to, as a Windows
// user's %TEMP% is; otherwise novalink-<uid> inside it, made private. Every
// folder above it is checked from the root down (OpenSafeFolder), and the one
// given is held open, so that what is done in it later is done in the folder
// that was checked (posix::PathAt). Looked at again on every call: a folder
// swapped since the last one is refused, and the one held stays held.
// "" with the reason in `why` when there is none to be had.
std::string PrivateTempFolder(std::string& why) {
    why.clear();
    const char* env = std::getenv("TMPDIR");
    std::string base = env && *env ? env : "/tmp";
    while (base.size() > 1 && base.back() == PL_PATH_SEPARATOR) base.pop_back();
    if (base[0] != PL_PATH_SEPARATOR) {
        why = "the temporary folder " + base + " is not a full path";
        return "";
    }
    const uid_t me = geteuid();
    const int baseFd = OpenSafeFolder(base, why);
    if (baseFd < 0) return "";
    struct stat st {}, lst {};
    // A link given as the folder leads to a folder that is not taken as ours.
    if (fstat(baseFd, &st) == 0 && lstat(base.c_str(), &lst) == 0 && !S_ISLNK(lst.st_mode) && st.st_uid == me &&
        (st.st_mode & 022) == 0) {
        return Hold(base, baseFd, st, why) ? (base == "/" ? base : base + PL_PATH_SEPARATOR) : "";
    }

    const std::string name = "novalink-" + std::to_string(me);
    const std::string own = (base == "/" ? "" : base) + "/" + name;
    bool made = mkdirat(baseFd, name.c_str(), 0700) == 0;
    const int mkdirErr = errno;
    const int fd = openat(baseFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const int openErr = errno;
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fstatat(baseFd, name.c_str(), &lst, AT_SYMLINK_NOFOLLOW) != 0)
            why = "the temporary folder " + own + " cannot be created: " + std::strerror(made ? openErr : mkdirErr);
        else if (S_ISLNK(lst.st_mode))
            why = "the temporary folder " + own + " is a symbolic link";
        else if (!S_ISDIR(lst.st_mode))
            why = "the temporary folder " + own + " is not a folder";
        else
            why = "the temporary folder " + own + " cannot be opened: " + std::strerror(openErr);
        if (fd >= 0) close(fd);
        close(baseFd);
        return "";
    }
    close(baseFd);
    // What we made ourselves gets exactly its mode, whatever the umask took away.
    if (made && st.st_uid == me && (st.st_mode & 07777) != 0700 && fchmod(fd, 0700) == 0)
        st.st_mode = (st.st_mode & ~07777) | 0700;
    if (st.st_uid != me)
        why = "the temporary folder " + own + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    else if ((st.st_mode & 07777) != 0700)
        why = "the temporary folder " + own + " has mode " + Mode(st.st_mode) + ", not 0700";
    if (!why.empty()) {
        close(fd);
        return "";
    }
    return Hold(own, fd, st, why) ? own + PL_PATH_SEPARATOR : "";
}

}  // namespace

DWORD GetTempPathA(DWORD bufferLength, char* buffer) {
    std::string why;
    const std::string path = PrivateTempFolder(why);
    if (path.empty()) {
        SetLastError(PL_ERROR_ACCESS_DENIED);
        return 0;
    }
    DWORD len = static_cast<DWORD>(path.size());
    if (!buffer || bufferLength < len + 1) return len + 1;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return len;
}

std::string TempFolderRefusal() {
    std::string why;
    PrivateTempFolder(why);
    return why;
}

std::FILE* OpenStdioFile(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

std::FILE* OpenDataFile(const std::string& path) {
    PathAt at(path);
    int fd = openat(at.dir(), at.name(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        SetLastError(PL_ERROR_ACCESS_DENIED);
        errno = EISDIR;
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = fdopen(fd, "r+b");
    if (!f) {
        ::close(fd);
        return nullptr;
    }
    std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

bool SeekDataFile(std::FILE* file, std::int64_t offset) {
    return file && offset >= 0 && fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool TruncateDataFile(std::FILE* file) {
    return file && std::fflush(file) == 0 && ftruncate(fileno(file), 0) == 0 && fseeko(file, 0, SEEK_SET) == 0;
}

std::FILE* CreateNewFile(const std::string& path, bool ownerOnly) {
    const mode_t mode = ownerOnly ? 0600 : 0644;
    PathAt at(path);
    const int fd = openat(at.dir(), at.name(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0) {
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    // The mask may take bits away, never add them; owner-only is exactly 0600.
    if (ownerOnly) fchmod(fd, 0600);
    std::FILE* f = fdopen(fd, "wb");
    if (!f) {
        SetLastErrorFromErrno(errno);
        ::close(fd);
    }
    return f;
}

bool IsPrivateFolder(const std::string& path) {
    PathAt at(path);
    struct stat st {};
    return !path.empty() && fstatat(at.dir(), at.name(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

}  // namespace plat
