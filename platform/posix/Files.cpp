#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "platform/Errors.h"
#include "platform/posix/ErrorMap.h"
#include "platform/posix/FileUtil.h"

namespace plat {

using posix::SetLastErrorFromErrno;

// ---- wildcard matching ----------------------------------------------------
//
// Windows turns a listing pattern into an expression with DOS semantics before
// it matches names: '?' matches one character but never a period, and matches
// nothing at a period or at the end of the name; '*' directly before a period
// stops at the name's last period; a period before a wildcard or at the end of
// the pattern also matches the end of a name that has no period there. So
// "*.*" matches every name, "foo.*" also matches "foo", and "*." matches the
// names without an extension.

namespace {

enum : char { kStar = 1, kDosStar = 2, kDosQm = 3, kDosDot = 4 };

std::string Compile(const std::string& pattern) {
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c == '*')
            out += next == '.' ? kDosStar : kStar;
        else if (c == '?')
            out += kDosQm;
        else if (c == '.' && (next == '?' || next == '*' || next == '\0'))
            out += kDosDot;
        else
            out += c;
    }
    return out;
}

bool Match(const std::string& p, size_t pi, const std::string& n, size_t ni) {
    while (pi < p.size()) {
        char t = p[pi];
        switch (t) {
            case kStar:
                for (size_t k = ni; k <= n.size(); ++k)
                    if (Match(p, pi + 1, n, k)) return true;
                return false;
            case kDosStar: {
                size_t lastDot = n.rfind('.');
                size_t limit = (lastDot != std::string::npos && lastDot >= ni) ? lastDot : n.size();
                for (size_t k = ni; k <= limit; ++k)
                    if (Match(p, pi + 1, n, k)) return true;
                return false;
            }
            case kDosQm:
                if (ni < n.size() && n[ni] != '.') ++ni;
                ++pi;
                break;
            case kDosDot:
                if (ni < n.size()) {
                    if (n[ni] != '.') return false;
                    ++ni;
                }
                ++pi;
                break;
            default:
                if (ni >= n.size() || n[ni] != t) return false;
                ++pi;
                ++ni;
        }
    }
    return ni == n.size();
}

bool HasWildcards(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

}  // namespace

bool MatchesWildcard(const std::string& pattern, const std::string& name) {
    if (pattern == "*" || pattern == "*.*") return true;
    return Match(Compile(pattern), 0, name, 0);
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

DWORD AttributesOf(const std::string& path, const std::string& name, std::uint64_t* size) {
    DWORD attrs = 0;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
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
        struct stat st {};
        if (lstat(pattern.c_str(), &st) != 0) {
            int err = errno;
            SetLastError(err == ENOENT && !posix::IsFolder(folder) ? PL_ERROR_PATH_NOT_FOUND
                         : err == ENOTDIR                          ? PL_ERROR_PATH_NOT_FOUND
                                                                   : posix::FromErrno(err));
            return PL_INVALID_FIND_HANDLE;
        }
        FindData d;
        d.name = last;
        d.attributes = AttributesOf(pattern, last, &d.size);
        return Register({d}, found);
    }

    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        int err = errno;
        SetLastError(err == ENOENT || err == ENOTDIR ? PL_ERROR_PATH_NOT_FOUND : posix::FromErrno(err));
        return PL_INVALID_FIND_HANDLE;
    }
    std::vector<FindData> entries;
    while (dirent* e = readdir(dir)) {
        std::string name = e->d_name;
        if (!MatchesWildcard(last, name)) continue;
        FindData d;
        d.name = name;
        d.attributes = AttributesOf(folder + PL_PATH_SEPARATOR + name, name, &d.size);
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
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        int err = errno;
        SetLastError(err == ENOENT && !posix::IsFolder(posix::FolderOf(path)) ? PL_ERROR_PATH_NOT_FOUND
                     : err == ENOENT                                        ? PL_ERROR_FILE_NOT_FOUND
                     : err == ENOTDIR                                       ? PL_ERROR_PATH_NOT_FOUND
                                                                            : posix::FromErrno(err));
        return PL_INVALID_FILE_ATTRIBUTES;
    }
    size_t slash = path.rfind(PL_PATH_SEPARATOR);
    std::uint64_t size = 0;
    return AttributesOf(path, slash == std::string::npos ? path : path.substr(slash + 1), &size);
}

// ---- copy -----------------------------------------------------------------

bool CopyFileA(const std::string& from, const std::string& to, bool failIfExists) {
    if (from.empty() || to.empty()) {
        SetLastError(PL_ERROR_PATH_NOT_FOUND);
        return false;
    }
    // Replace the file a link names, not the link.
    std::string target = to;
    struct stat lst {};
    if (lstat(to.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
        char real[PATH_MAX];
        if (realpath(to.c_str(), real)) target = real;
    }

    int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        int err = errno;
        SetLastError(err == ENOENT && !posix::IsFolder(posix::FolderOf(from)) ? PL_ERROR_PATH_NOT_FOUND
                                                                              : posix::FromErrno(err));
        return false;
    }
    struct stat src {};
    if (fstat(in, &src) != 0 || !S_ISREG(src.st_mode)) {
        close(in);
        SetLastError(PL_ERROR_ACCESS_DENIED);
        return false;
    }

    struct stat old {};
    bool exists = stat(target.c_str(), &old) == 0;
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
    if (exists && old.st_dev == src.st_dev && old.st_ino == src.st_ino) {
        close(in);
        SetLastError(PL_ERROR_SHARING_VIOLATION);
        return false;
    }

    posix::TempFile tmp;
    if (!tmp.Create(target)) {
        int err = errno;
        close(in);
        SetLastError(err == ENOENT ? PL_ERROR_PATH_NOT_FOUND : posix::FromErrno(err));
        return false;
    }
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

// ---- delete, folders ------------------------------------------------------

bool DeleteFileA(const std::string& path) {
    if (path.empty()) {
        SetLastError(PL_ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (unlink(path.c_str()) == 0) return true;
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
    if (mkdir(path.c_str(), 0777) == 0) return true;
    int err = errno;
    SetLastError(err == ENOENT || err == ENOTDIR ? PL_ERROR_PATH_NOT_FOUND : posix::FromErrno(err));
    return false;
}

bool RemoveDirectoryA(const std::string& path) {
    if (path.empty()) {
        SetLastError(PL_ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (rmdir(path.c_str()) == 0) return true;
    int err = errno;
    SetLastError(err == ENOTDIR ? PL_ERROR_DIRECTORY : err == EEXIST ? PL_ERROR_DIR_NOT_EMPTY : posix::FromErrno(err));
    return false;
}

// ---- the temporary folder -------------------------------------------------

DWORD GetTempPathA(DWORD bufferLength, char* buffer) {
    const char* env = std::getenv("TMPDIR");
    std::string path = env && *env ? env : "/tmp/";
    if (path.back() != PL_PATH_SEPARATOR) path += PL_PATH_SEPARATOR;
    DWORD len = static_cast<DWORD>(path.size());
    if (!buffer || bufferLength < len + 1) return len + 1;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return len;
}

}  // namespace plat
