#include "platform/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/posix/FileUtil.h"

namespace plat {

namespace {

const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

bool Fail(std::string& why, const std::string& reason) {
    why = reason;
    return false;
}

bool FailErrno(std::string& why, const std::string& what) { return Fail(why, what + ": " + std::strerror(errno)); }

}  // namespace

bool ReadSettingsFile(const std::string& path, std::size_t maxBytes, std::string& text, std::string& why) {
    text.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return FailErrno(why, "cannot open " + path);
    if (!S_ISREG(st.st_mode)) return Fail(why, path + " is " + KindOf(st.st_mode) + ", not a settings file");
    // Non-blocking: what was swapped in for the file since cannot hold the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return FailErrno(why, "cannot open " + path);
    bool ok = ::fstat(fd, &st) == 0;
    if (ok && !S_ISREG(st.st_mode)) {
        ::close(fd);
        return Fail(why, path + " is " + KindOf(st.st_mode) + ", not a settings file");
    }
    // One byte beyond the bound tells a file that grew meanwhile.
    char buf[65536];
    while (ok) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
        if (text.size() > maxBytes) {
            ::close(fd);
            text.clear();
            return Fail(why, path + " is larger than " + std::to_string(maxBytes) + " bytes, too large for a settings file");
        }
    }
    const int saved = errno;
    ::close(fd);
    errno = saved;
    if (!ok) {
        text.clear();
        return FailErrno(why, "cannot read " + path);
    }
    return true;
}

bool WriteSettingsFile(const std::string& path, const std::string& text, std::string& why) {
    std::string target = path;
    struct stat st {};
    bool exists = false;
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            // The file the link names is replaced and the link stays. A link that
            // names nothing is left alone: where it points was not chosen here.
            char resolved[PATH_MAX];
            if (!::realpath(path.c_str(), resolved))
                return FailErrno(why, path + " is a link whose target cannot be reached, and is left as it is");
            target = resolved;
            if (::stat(target.c_str(), &st) != 0) return FailErrno(why, "cannot examine " + target);
        }
        if (!S_ISREG(st.st_mode)) return Fail(why, path + " is " + KindOf(st.st_mode) + ", not a settings file");
        exists = true;
    } else if (errno != ENOENT) {
        return FailErrno(why, "cannot examine " + path);
    }
    // The temporary file is made for this user alone (mode 0600) before a byte
    // of the settings goes into it.
    posix::TempFile temp;
    if (!temp.Create(target)) return FailErrno(why, "cannot create a temporary file next to " + target);
    if (!posix::WriteAll(temp.fd(), text.data(), text.size())) return FailErrno(why, "cannot write " + target);
    if (exists && ::fchmod(temp.fd(), st.st_mode & 07777) != 0)
        return FailErrno(why, "cannot give the new " + target + " the old one's permissions");
    if (!temp.Commit(target)) return FailErrno(why, "cannot replace " + target);
    return true;
}

}  // namespace plat
