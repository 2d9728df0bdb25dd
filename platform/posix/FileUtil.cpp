#include "platform/posix/FileUtil.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace plat::posix {

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    out.clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
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

TempFile::~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (!path_.empty()) unlink(path_.c_str());
}

bool TempFile::Create(const std::string& destination) {
    std::string name = destination.substr(destination.rfind('/') == std::string::npos ? 0 : destination.rfind('/') + 1);
    return Create(destination, Prefix(name));
}

bool TempFile::Create(const std::string& destination, const std::string& prefix) {
    std::string tmpl = FolderOf(destination) + "/" + prefix + std::string(kRandomLength, 'X');
    fd_ = mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd_ < 0) return false;
    path_ = tmpl;
    return true;
}

bool TempFile::Commit(const std::string& destination, bool noReplace) {
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    if (fsync(fd_) != 0) return false;
    if (close(fd_) != 0) {
        fd_ = -1;
        return false;
    }
    fd_ = -1;
    int r;
    if (noReplace) {
        r = renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE);
        if (r != 0 && errno == EINVAL) {
            // A file system without that rename: a hard link fails just as well
            // when the destination exists.
            r = link(path_.c_str(), destination.c_str());
            if (r == 0) unlink(path_.c_str());
        }
    } else {
        r = rename(path_.c_str(), destination.c_str());
    }
    if (r != 0) return false;
    path_.clear();
    // Make the rename itself durable.
    int dir = open(FolderOf(destination).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return true;
}

}  // namespace plat::posix
