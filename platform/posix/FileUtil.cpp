#include "platform/posix/FileUtil.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>
#include <vector>

namespace plat::posix {

// ---- the held folder ------------------------------------------------------------

namespace {

std::mutex g_heldMutex;
std::string g_heldPath;
int g_heldFd = -1;

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

void HoldFolder(const std::string& path, int fd) {
    std::lock_guard<std::mutex> lk(g_heldMutex);
    if (g_heldFd >= 0 && g_heldFd != fd) close(g_heldFd);
    g_heldFd = fd;
    g_heldPath = fd >= 0 ? WithoutTrailingSlashes(path) : "";
}

std::string HeldFolderPath() {
    std::lock_guard<std::mutex> lk(g_heldMutex);
    return g_heldPath;
}

int HeldFolderFd() {
    std::lock_guard<std::mutex> lk(g_heldMutex);
    return g_heldFd;
}

PathAt::PathAt(const std::string& path) : dir_(AT_FDCWD), name_(path) {
    int cur = -1;
    std::string rest;
    {
        std::lock_guard<std::mutex> lk(g_heldMutex);
        const std::string& held = g_heldPath;
        // The root held as the temporary folder is no folder to walk below.
        if (g_heldFd < 0 || held.size() < 2 || path.compare(0, held.size(), held) != 0 ||
            (path.size() > held.size() && path[held.size()] != '/'))
            return;
        cur = fcntl(g_heldFd, F_DUPFD_CLOEXEC, 0);
        rest = path.substr(held.size());
    }
    held_ = true;
    own_ = true;
    dir_ = cur;
    if (cur < 0) {
        error_ = errno;
        return;
    }
    std::vector<std::string> parts;
    for (size_t at = 0; at <= rest.size();) {
        size_t slash = rest.find('/', at);
        if (slash == std::string::npos) slash = rest.size();
        std::string part = rest.substr(at, slash - at);
        if (part == "..") {
            // Nothing below the held folder leads out of it.
            close(cur);
            dir_ = -1;
            error_ = errno = EACCES;
            return;
        }
        if (!part.empty() && part != ".") parts.push_back(part);
        at = slash + 1;
    }
    name_ = ".";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i + 1 == parts.size()) {
            name_ = parts[i];
            break;
        }
        const int next = openat(cur, parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (next >= 0) {
            close(cur);
            dir_ = cur = next;
            continue;
        }
        const int err = errno;
        struct stat st {};
        if (err == ELOOP || (fstatat(cur, parts[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))) {
            close(cur);
            dir_ = -1;
            error_ = errno = ELOOP;
            return;
        }
        // A folder that is missing, or no folder: the call fails on the rest as
        // it would by name.
        name_.clear();
        for (size_t j = i; j < parts.size(); ++j) name_ += (j > i ? "/" : "") + parts[j];
        break;
    }
}

PathAt::~PathAt() {
    if (own_ && dir_ >= 0) close(dir_);
}

std::string PathAt::Leaf() const {
    const size_t slash = name_.rfind('/');
    return slash == std::string::npos ? name_ : name_.substr(slash + 1);
}

int PathAt::OpenFolder() const {
    if (dir_ == -1) {
        errno = error_ ? error_ : EBADF;
        return -1;
    }
    if (dir_ != AT_FDCWD && name_.find('/') == std::string::npos)
        return name_ == "." ? openat(dir_, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                            : fcntl(dir_, F_DUPFD_CLOEXEC, 0);
    return openat(dir_, FolderOf(name_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// ---- path pieces, whole files ------------------------------------------------------

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    PathAt at(path);
    struct stat st {};
    return fstatat(at.dir(), at.name(), &st, 0) == 0 && S_ISDIR(st.st_mode);
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    PathAt at(path);
    int fd = openat(at.dir(), at.name(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            close(fd);
            errno = err;
            return false;
        }
        if (n == 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool CopyData(int in, int out) {
    // Inside the kernel where it can (nothing passes through this process), in
    // blocks whose writing back starts as soon as each is written: the caller's
    // fsync then finds most of the file already on its way to the disk.
    constexpr size_t kBlock = size_t{8} << 20;
    bool inKernel = true;
    char buf[65536];
    for (off_t done = 0;;) {
        ssize_t n = 0;
        if (inKernel) {
            n = copy_file_range(in, nullptr, out, nullptr, kBlock, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                          errno == EBADF || errno == EPERM)) {
                // Not between these two files: through a buffer, from where it got.
                inKernel = false;
                continue;
            }
            if (n < 0) return false;
            if (n == 0) return true;
        } else {
            while (static_cast<size_t>(n) < kBlock) {
                ssize_t r = read(in, buf, sizeof buf);
                if (r < 0 && errno == EINTR) continue;
                if (r < 0) return false;
                if (r == 0) break;
                if (!WriteAll(out, buf, static_cast<size_t>(r))) return false;
                n += r;
            }
            if (n == 0) return true;
        }
        sync_file_range(out, done, n, SYNC_FILE_RANGE_WRITE);
        done += n;
    }
}

bool ReplacedFile(const std::string& path, std::string& target) {
    target = path;
    PathAt at(path);
    struct stat lst {};
    if (fstatat(at.dir(), at.name(), &lst, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(lst.st_mode)) return true;
    char real[PATH_MAX];
    if (!realpath(path.c_str(), real)) return false;
    target = real;
    return true;
}

bool RenameFlushed(int fd, int dir, const std::string& from, const std::string& to, bool noReplace) {
    if (fsync(fd) != 0) return false;
    int r;
    if (noReplace) {
        r = renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE);
        if (r != 0 && errno == EINVAL) {
            // A file system without that rename: a hard link fails just as well
            // when the destination exists.
            r = linkat(dir, from.c_str(), dir, to.c_str(), 0);
            if (r == 0) unlinkat(dir, from.c_str(), 0);
        }
    } else {
        r = renameat(dir, from.c_str(), dir, to.c_str());
    }
    if (r != 0) return false;
    // Make the rename itself durable.
    fsync(dir);
    return true;
}

TempFile::~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (!name_.empty() && dir_ >= 0) unlinkat(dir_, name_.c_str(), 0);
    if (dir_ >= 0) close(dir_);
}

bool TempFile::Create(const std::string& destination) {
    PathAt at(destination);
    return Create(destination, Prefix(at.Leaf()));
}

bool TempFile::Create(const std::string& destination, const std::string& prefix) {
    PathAt at(destination);
    dir_ = at.OpenFolder();
    if (dir_ < 0) return false;
    folder_ = FolderOf(destination);
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        unsigned char random[kRandomLength];
        if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) return false;
        std::string name = prefix;
        for (unsigned char r : random) name += kLetters[r % (sizeof kLetters - 1)];
        fd_ = openat(dir_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            name_ = name;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

void TempFile::Release() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    name_.clear();
}

bool TempFile::Commit(const std::string& destination, bool noReplace) {
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    // In the folder the file was made in, whatever its name leads to by now.
    const bool ok = RenameFlushed(fd_, dir_, name_, PathAt(destination).Leaf(), noReplace);
    const int err = errno;
    if (close(fd_) != 0 && ok) {
        fd_ = -1;
        return false;
    }
    fd_ = -1;
    if (!ok) {
        errno = err;
        return false;
    }
    name_.clear();
    return true;
}

}  // namespace plat::posix
