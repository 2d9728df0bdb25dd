#include "platform/posix/RegistryFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "platform/Registry.h"
#include "platform/posix/FileUtil.h"

namespace plat::posix {
namespace {

const char* const kRootNames[RegistryFile::kRoots] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                                      "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
const char* const kFileNames[RegistryFile::kRoots] = {"HKCR", "HKCU", "HKLM", "HKU"};

LONG FromErrno(int err) {
    switch (err) {
        case EACCES:
        case EPERM:
        case EROFS: return PL_ERROR_ACCESS_DENIED;
        case ENOMEM: return PL_ERROR_OUTOFMEMORY;
        default: return PL_ERROR_CANTWRITE;
    }
}

bool WritableEntry(const std::string& path) {
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// Creates the folder and its missing parents.
int MakeFolders(const std::string& folder) {
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        partial = folder.substr(0, pos);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) return errno;
    }
    struct stat st{};
    if (stat(folder.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

bool ReadAll(int fd, std::string& out) {
    char buf[65536];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<std::size_t>(n));
    }
}

// A damaged file is reported once per version of the file. `problem` follows the
// file's name: "is damaged (why)", "is not a regular file (...)".
void ReportUnusable(const std::string& path, const struct stat& st, const std::string& problem) {
    static std::mutex mu;
    static std::set<std::string> reported;
    std::string id = path + '\n' + std::to_string(st.st_ino) + '\n' + std::to_string(st.st_size) + '\n' +
                     std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec);
    std::lock_guard<std::mutex> lock(mu);
    if (!reported.insert(id).second) return;
    std::fprintf(stderr,
                 "novalink: the registry file %s %s. It is left as it is and treated as "
                 "unreadable: reads fail and changes are refused until it is repaired or removed.\n",
                 path.c_str(), problem.c_str());
}

const char* FileKind(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    return "of another kind";
}

// What identifies one version of a store file: a change always renames a new
// file into place, and the last line holds the checksum of the contents.
struct Stamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};
    std::string check;  // the "end ..." line

    bool operator==(const Stamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec && check == o.check;
    }
};

Stamp StampOf(const struct stat& st) {
    Stamp s;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtime = st.st_mtim;
    s.ctime = st.st_ctim;
    return s;
}

// The last line as it lies in the file ("end xxxxxxxx\n" is 13 bytes).
constexpr std::size_t kCheckLine = 13;

std::string CheckLineOf(const std::string& text) {
    return text.size() >= kCheckLine ? text.substr(text.size() - kCheckLine) : text;
}

bool ReadCheckLine(int fd, off_t size, std::string& out) {
    std::size_t n = static_cast<std::size_t>(std::min<off_t>(size, static_cast<off_t>(kCheckLine)));
    out.assign(n, '\0');
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = pread(fd, out.data() + got, n - got, size - static_cast<off_t>(n) + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += static_cast<std::size_t>(r);
    }
    return true;
}

// The contents last read from each store file, by path.
struct CacheEntry {
    Stamp stamp;
    std::shared_ptr<const RegistryHive> hive;
};
std::mutex g_cacheMutex;
std::map<std::string, CacheEntry> g_cache;
constexpr std::size_t kCacheEntries = 16;

class LockFile {
public:
    explicit LockFile(const std::string& path) {
        // O_NONBLOCK: something else than a file in its place must not hold us up.
        fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
        if (fd_ < 0 && (errno == EACCES || errno == EROFS))
            fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        struct stat st{};
        if (fstat(fd_, &st) != 0) {
            error_ = errno;
            return;
        }
        if (!S_ISREG(st.st_mode)) {
            error_ = EINVAL;
            return;
        }
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            error_ = errno;
            return;
        }
    }
    ~LockFile() {
        if (fd_ >= 0) close(fd_);  // releases the lock
    }
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;
    int Error() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

}  // namespace

namespace {

std::string Trimmed(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

// Where each user's roots are: the per-user configuration folder.
std::string UserFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return Trimmed(std::string(xdg) + "/novalink/registry");
    const char* home = std::getenv("HOME");
    return Trimmed(std::string(home && *home ? home : "/tmp") + "/.config/novalink/registry");
}

bool Exists(const std::string& path) {
    struct stat st{};
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

RegistryFile::RegistryFile(int root) : root_(root), folder_(Folder(root)) {
    path_ = folder_ + "/" + kFileNames[root] + ".txt";
    readPath_ = path_;
    const char* env = std::getenv("NOVALINK_REGISTRY");
    machine_ = root == kMachineRoot && !(env && *env);
    if (!machine_ || Exists(path_)) return;
    // The machine hive has not been made yet: what an earlier version kept as
    // this user's HKEY_LOCAL_MACHINE is read meanwhile, and the first change
    // moves it into the machine's folder.
    const std::string old = UserFolder() + "/" + kFileNames[root] + ".txt";
    if (!Exists(old)) return;
    readPath_ = old;
    machine_ = false;
    static std::once_flag noticed;
    std::call_once(noticed, [&] {
        std::fprintf(stderr,
                     "novalink: there is no machine registry %s yet; HKEY_LOCAL_MACHINE is read from %s, where "
                     "earlier versions kept it for this user alone (root moves it with one change, e.g. "
                     "novalink-reg add)\n",
                     path_.c_str(), old.c_str());
    });
}

const char* RegistryFile::RootName(int root) { return kRootNames[root]; }

std::string RegistryFile::NotTheMachines(const struct stat& folder, const struct stat& file) {
    auto check = [](const char* what, const struct stat& st) -> std::string {
        if (st.st_uid != 0)
            return std::string("is not the machine's: ") + what + " belongs to user " + std::to_string(st.st_uid);
        if (st.st_mode & (S_IWGRP | S_IWOTH)) return std::string("is not the machine's: others may write ") + what;
        return "";
    };
    const std::string inFolder = check("its folder", folder);
    return inFolder.empty() ? check("it", file) : inFolder;
}

std::string RegistryFile::Folder(int root) {
    if (const char* env = std::getenv("NOVALINK_REGISTRY"); env && *env) return Trimmed(env);
    return root == kMachineRoot ? kMachineFolder : UserFolder();
}

LONG RegistryFile::Open(int* fd, struct stat* st, std::string* why) const {
    *fd = -1;
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
    int f = open(readPath_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (f < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return PL_ERROR_SUCCESS;
        if (why) *why = std::string("cannot be opened (") + std::strerror(errno) + ")";
        return errno == EACCES || errno == EPERM ? PL_ERROR_ACCESS_DENIED : PL_ERROR_BADDB;
    }
    if (fstat(f, st) != 0) {
        if (why) *why = std::string("cannot be examined (") + std::strerror(errno) + ")";
        close(f);
        return PL_ERROR_BADDB;
    }
    if (!S_ISREG(st->st_mode)) {
        close(f);
        const std::string problem = std::string("is not a regular file (it is ") + FileKind(st->st_mode) + ")";
        if (why)
            *why = problem;
        else
            ReportUnusable(readPath_, *st, problem);
        return PL_ERROR_BADDB;
    }
    // Nobody but root may have decided what the machine's hive says.
    struct stat folder{};
    const std::string foreign = !machine_ ? ""
                                : stat(folder_.c_str(), &folder) != 0 ? "is in a folder that cannot be examined"
                                                                       : NotTheMachines(folder, *st);
    if (!foreign.empty()) {
        close(f);
        if (why)
            *why = foreign;
        else
            ReportUnusable(readPath_, *st, foreign);
        return PL_ERROR_BADDB;
    }
    // Reads of a regular file never wait; the flag is dropped all the same.
    int flags = fcntl(f, F_GETFL);
    if (flags >= 0) fcntl(f, F_SETFL, flags & ~O_NONBLOCK);
    *fd = f;
    return PL_ERROR_SUCCESS;
}

LONG RegistryFile::Load(RegistryHive& hive) const {
    hive = RegistryHive{};
    int fd = -1;
    struct stat st{};
    if (LONG r = Open(&fd, &st)) return r;
    if (fd < 0) return PL_ERROR_SUCCESS;
    std::string text;
    bool ok = ReadAll(fd, text);
    close(fd);
    if (!ok) return PL_ERROR_BADDB;
    std::string reason;
    if (!hive.Parse(text, kRootNames[root_], &reason)) {
        ReportUnusable(readPath_, st, "is damaged (" + reason + ")");
        return PL_ERROR_BADDB;
    }
    return PL_ERROR_SUCCESS;
}

LONG RegistryFile::Read(std::shared_ptr<const RegistryHive>& hive) const {
    static const auto empty = std::make_shared<const RegistryHive>();
    hive.reset();
    int fd = -1;
    struct stat st{};
    if (LONG r = Open(&fd, &st)) return r;
    if (fd < 0) {
        hive = empty;
        return PL_ERROR_SUCCESS;
    }
    Stamp stamp = StampOf(st);
    if (ReadCheckLine(fd, st.st_size, stamp.check)) {
        std::lock_guard<std::mutex> lock(g_cacheMutex);
        auto it = g_cache.find(readPath_);
        if (it != g_cache.end() && it->second.stamp == stamp) {
            hive = it->second.hive;
            close(fd);
            return PL_ERROR_SUCCESS;
        }
    }
    std::string text;
    bool ok = ReadAll(fd, text);
    close(fd);
    if (!ok) return PL_ERROR_BADDB;
    auto fresh = std::make_shared<RegistryHive>();
    std::string reason;
    if (!fresh->Parse(text, kRootNames[root_], &reason)) {
        ReportUnusable(readPath_, st, "is damaged (" + reason + ")");
        return PL_ERROR_BADDB;
    }
    // The check line of what was read, so that a file changed in place while it was
    // read is not taken for the version stamped before.
    stamp.check = CheckLineOf(text);
    hive = fresh;
    std::lock_guard<std::mutex> lock(g_cacheMutex);
    if (g_cache.size() >= kCacheEntries && !g_cache.count(readPath_)) g_cache.clear();
    g_cache[readPath_] = CacheEntry{stamp, fresh};
    return PL_ERROR_SUCCESS;
}

std::string RegistryFile::Problem() const {
    int fd = -1;
    struct stat st{};
    std::string why;
    if (Open(&fd, &st, &why)) return readPath_ + " " + why;
    if (fd < 0) return "";
    std::string text;
    const bool ok = ReadAll(fd, text);
    const int err = errno;
    close(fd);
    if (!ok) return readPath_ + " cannot be read (" + std::strerror(err) + ")";
    RegistryHive hive;
    std::string reason;
    if (!hive.Parse(text, kRootNames[root_], &reason)) return readPath_ + " is damaged (" + reason + ")";
    return "";
}

bool RegistryFile::CanWrite() const {
    struct stat st{};
    if (stat(folder_.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode) || faccessat(AT_FDCWD, folder_.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return false;
        return access(path_.c_str(), F_OK) != 0 || WritableEntry(path_);
    }
    // The folder is missing: it can be made when its nearest existing parent is writable.
    std::string parent = folder_;
    for (;;) {
        auto slash = parent.find_last_of('/');
        if (slash == std::string::npos) return false;
        parent = slash == 0 ? "/" : parent.substr(0, slash);
        if (stat(parent.c_str(), &st) == 0)
            return S_ISDIR(st.st_mode) && faccessat(AT_FDCWD, parent.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
        if (parent == "/") return false;
    }
}

LONG RegistryFile::Update(const Change& change) {
    if (!CanWrite()) return PL_ERROR_ACCESS_DENIED;
    const bool made = !Exists(folder_);
    if (int err = MakeFolders(folder_)) return FromErrno(err);
    // Everyone reads the machine's hive, whatever the writer's umask.
    if (made && folder_ == kMachineFolder) chmod(folder_.c_str(), 0755);
    LockFile lock(folder_ + "/" + kFileNames[root_] + ".lock");
    if (lock.Error()) return FromErrno(lock.Error());

    RegistryHive hive;
    if (LONG r = Load(hive)) return r;
    bool modified = false;
    LONG result = change(hive, modified);
    if (result != PL_ERROR_SUCCESS || !modified) return result;
    RemoveStaleTemporaries();
    return WriteAtomically(hive.Serialize(kRootNames[root_]));
}

LONG RegistryFile::WriteAtomically(const std::string& text) const {
    mode_t mode = 0644;
    struct stat st{};
    if (stat(path_.c_str(), &st) == 0) mode = st.st_mode & 07777;

    TempFile temp;
    errno = 0;
    if (!temp.Create(path_) || fchmod(temp.fd(), mode) != 0 || !WriteAll(temp.fd(), text.data(), text.size()) ||
        !temp.Commit(path_))
        return FromErrno(errno ? errno : EIO);
    return PL_ERROR_SUCCESS;
}

// Temporary files left by writers that were killed. Called with the lock held, so
// no other writer is using one.
void RegistryFile::RemoveStaleTemporaries() const {
    DIR* d = opendir(folder_.c_str());
    if (!d) return;
    std::string prefix = TempFile::Prefix(std::string(kFileNames[root_]) + ".txt");
    while (dirent* e = readdir(d)) {
        if (std::string(e->d_name).rfind(prefix, 0) == 0) unlinkat(dirfd(d), e->d_name, 0);
    }
    closedir(d);
}

}  // namespace plat::posix
