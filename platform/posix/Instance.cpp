#include "platform/Instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "platform/Files.h"
#include "platform/posix/FileUtil.h"

namespace plat {

bool ClaimSingleInstance(const std::string& name) {
    static std::mutex mu;
    static std::map<std::string, int> held;  // kept open (and locked) until we exit
    std::lock_guard<std::mutex> lk(mu);
    if (held.count(name)) return true;

    // The lock lives in the temporary folder, which is per user as on Windows;
    // the user id in its name keeps users apart where they share /tmp.
    char tmp[4096];
    DWORD n = GetTempPathA(sizeof tmp, tmp);
    std::string folder = (n == 0 || n >= sizeof tmp) ? std::string() : std::string(tmp, n);
    // A temporary folder that is not a full path would put the lock file into
    // whatever the current folder is; the system's own folder serves instead.
    if (folder.empty() || folder[0] != '/') folder = "/tmp/";
    std::string safe;
    for (char c : name) safe += (c == PL_PATH_SEPARATOR || c == '\0') ? '_' : c;
    std::string path = folder + "." + safe + "-" + std::to_string(getuid()) + ".instance";

    posix::PathAt at(path);
    int fd = openat(at.dir(), at.name(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        // Without a lock file we cannot tell; this instance goes on alone.
        return true;
    }
    int r;
    do {
        r = flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
        close(fd);
        return false;
    }
    held[name] = fd;
    return true;
}

}  // namespace plat
