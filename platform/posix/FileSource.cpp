#include "platform/posix/FileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace plat::posix {

FileSource::~FileSource() { Close(); }

bool FileSource::Open(const std::string& path) {
    Close();
    // O_NONBLOCK keeps a FIFO from blocking the open; it is refused just below.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = static_cast<std::uint64_t>(st.st_size);
    return true;
}

void FileSource::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    size_ = 0;
}

bool FileSource::Read(std::uint64_t offset, void* dst, std::size_t n) const {
    if (fd_ < 0 || offset > size_ || n > size_ - offset) return false;
    auto* p = static_cast<unsigned char*>(dst);
    while (n > 0) {
        ssize_t got = ::pread(fd_, p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;  // the file shrank under us, or a read error
        p += got;
        offset += static_cast<std::uint64_t>(got);
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace plat::posix
