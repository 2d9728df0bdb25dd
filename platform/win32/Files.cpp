// Files and folders on kernel32's wide calls; paths cross in UTF-8.
#include "platform/Files.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <random>

#include "platform/Errors.h"
#include "platform/WildcardMatch.h"
#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"

namespace plat {

namespace {

::HANDLE H(HANDLE h) { return reinterpret_cast<::HANDLE>(h); }

void Fill(const WIN32_FIND_DATAW& d, FindData& found) {
    found.attributes = win32::Dw(d.dwFileAttributes);
    found.size = (static_cast<std::uint64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
    found.name = win32::Utf8(d.cFileName);
}

}  // namespace

// Names on Windows file systems match without regard to case.
bool MatchesWildcard(const std::string& pattern, const std::string& name) {
    return wildcard::Match(pattern, name, true);
}

// ---- listing --------------------------------------------------------------

HANDLE FindFirstFileA(const std::string& pattern, FindData& found) {
    WIN32_FIND_DATAW d{};
    ::HANDLE h = ::FindFirstFileW(win32::Wide(pattern).c_str(), &d);
    if (h == win32::InvalidHandle()) return PL_INVALID_FIND_HANDLE;
    Fill(d, found);
    return reinterpret_cast<HANDLE>(h);
}

bool FindNextFileA(HANDLE find, FindData& found) {
    WIN32_FIND_DATAW d{};
    if (find == PL_INVALID_FIND_HANDLE) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!::FindNextFileW(H(find), &d)) return false;
    Fill(d, found);
    return true;
}

bool FindClose(HANDLE find) {
    if (find == PL_INVALID_FIND_HANDLE) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return ::FindClose(H(find)) != 0;
}

DWORD GetFileAttributesA(const std::string& path) { return win32::Dw(::GetFileAttributesW(win32::Wide(path).c_str())); }

// ---- copy -----------------------------------------------------------------

namespace {

// A copy's temporary file lies next to its target and is named after it with
// this prefix and kRandomLength letters or digits.
constexpr size_t kRandomLength = 6;

std::string CopyPrefix(const std::string& fileName) { return "." + fileName + ".novalink-copy-"; }

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
    auto cut = path.find_last_of("\\/");
    folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
    name = cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string RandomLetters() {
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 gen(std::random_device{}() ^ static_cast<unsigned>(::GetCurrentProcessId()) ^
                            static_cast<unsigned>(::GetTickCount()));
    std::uniform_int_distribution<size_t> pick(0, sizeof kChars - 2);
    std::string s;
    for (size_t i = 0; i < kRandomLength; ++i) s += kChars[pick(gen)];
    return s;
}

bool FlushFile(const std::string& path) {
    ::HANDLE h = ::CreateFileW(win32::Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == win32::InvalidHandle()) return false;
    bool ok = ::FlushFileBuffers(h) != 0;
    ::DWORD error = ::GetLastError();
    ::CloseHandle(h);
    ::SetLastError(error);
    return ok;
}

}  // namespace

namespace {

// The one step every replacement ends with: the new file `tmp`, flushed, moved
// over `to`.
bool PutInPlace(const std::string& tmp, const std::string& to, bool failIfExists) {
    // A read-only source gives a read-only copy, which could not be opened to be
    // flushed; the attribute is put back before the move.
    ::DWORD attrs = ::GetFileAttributesW(win32::Wide(tmp).c_str());
    bool readOnly = attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY);
    if (readOnly) ::SetFileAttributesW(win32::Wide(tmp).c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
    bool ok = FlushFile(tmp);
    if (ok && readOnly) ::SetFileAttributesW(win32::Wide(tmp).c_str(), attrs);
    ::DWORD moveFlags = MOVEFILE_WRITE_THROUGH | (failIfExists ? 0 : MOVEFILE_REPLACE_EXISTING);
    // A target that a running program holds open is not replaced
    // (ERROR_ACCESS_DENIED or ERROR_SHARING_VIOLATION), as Windows decides.
    return ok && ::MoveFileExW(win32::Wide(tmp).c_str(), win32::Wide(to).c_str(), moveFlags);
}

// The copy onto `to`: `make` writes the temporary file (a new file of the name
// it is given, failing with ERROR_FILE_EXISTS when that name is taken).
template <typename Make>
bool CopyVia(const std::string& to, bool failIfExists, Make make) {
    ::DWORD existing = ::GetFileAttributesW(win32::Wide(to).c_str());
    if (existing != INVALID_FILE_ATTRIBUTES) {
        if (failIfExists) {
            ::SetLastError(ERROR_FILE_EXISTS);
            return false;
        }
        if (existing & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) {
            ::SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
    }
    std::string folder, name;
    SplitPath(to, folder, name);
    std::string tmp;
    // The copy is written under a temporary name next to the target, flushed,
    // and then moved over the target in one step: the target is either as it was
    // or the complete copy.
    for (int attempt = 0;; ++attempt) {
        tmp = folder + CopyPrefix(name) + RandomLetters();
        if (make(tmp)) break;
        if (::GetLastError() != ERROR_FILE_EXISTS || attempt >= 16) return false;
    }
    const bool ok = PutInPlace(tmp, to, failIfExists);
    if (!ok) {
        ::DWORD error = ::GetLastError();
        ::SetFileAttributesW(win32::Wide(tmp).c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(win32::Wide(tmp).c_str());
        ::SetLastError(error);
    }
    return ok;
}

}  // namespace

std::string CreateReplacement(const std::string& target) {
    std::string folder, name;
    SplitPath(target, folder, name);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string tmp = folder + "." + name + ".new-" + RandomLetters();
        // Only a free name: under Wine, a file made here and then deleted and made
        // again by its writer could not be moved afterwards.
        if (::GetFileAttributesW(win32::Wide(tmp).c_str()) == INVALID_FILE_ATTRIBUTES) return tmp;
    }
    return "";
}

bool CommitReplacement(const std::string& replacement, const std::string& target) {
    // The new file is as read-only as the one it replaces.
    const ::DWORD old = ::GetFileAttributesW(win32::Wide(target).c_str()), attrs = ::GetFileAttributesW(win32::Wide(replacement).c_str());
    if (old != INVALID_FILE_ATTRIBUTES && attrs != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(win32::Wide(replacement).c_str(), attrs | FILE_ATTRIBUTE_READONLY);
    return PutInPlace(replacement, target, false);
}

bool CopyFileA(const std::string& from, const std::string& to, bool failIfExists) {
    return CopyVia(to, failIfExists,
                   [&](const std::string& tmp) { return ::CopyFileW(win32::Wide(from).c_str(), win32::Wide(tmp).c_str(), TRUE) != 0; });
}

bool CopyOpenFile(HANDLE from, const std::string& to, bool failIfExists) {
    if (from == PL_INVALID_FILE_HANDLE) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    return CopyVia(to, failIfExists, [&](const std::string& tmp) {
        if (!RewindOpenFile(from)) return false;
        ::HANDLE out = ::CreateFileW(win32::Wide(tmp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == win32::InvalidHandle()) return false;
        static char buffer[1 << 16];
        bool ok = true;
        for (;;) {
            ::DWORD got = 0, put = 0;
            if (!::ReadFile(H(from), buffer, sizeof buffer, &got, nullptr)) ok = false;
            if (!ok || got == 0) break;
            if (!::WriteFile(out, buffer, got, &put, nullptr) || put != got) {
                ok = false;
                break;
            }
        }
        ::DWORD error = ::GetLastError();
        ::CloseHandle(out);
        if (!ok) {
            ::DeleteFileW(win32::Wide(tmp).c_str());
            // A name that is taken is the only failure that tries another.
            if (error == ERROR_FILE_EXISTS) error = ERROR_WRITE_FAULT;
            ::SetLastError(error);
        }
        return ok;
    });
}

HANDLE OpenFileForReading(const std::string& path) {
    // Others may read it meanwhile, but not change, rename or delete it. A
    // reparse point (a link) is opened as itself, and then refused.
    ::HANDLE h = ::CreateFileW(win32::Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN,
                               nullptr);
    if (h == win32::InvalidHandle()) return PL_INVALID_FILE_HANDLE;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        ::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        ::SetLastError(ERROR_ACCESS_DENIED);
        return PL_INVALID_FILE_HANDLE;
    }
    return reinterpret_cast<HANDLE>(h);
}

bool ReadOpenFile(HANDLE file, void* buffer, DWORD size, DWORD& read) {
    ::DWORD got = 0;
    const bool ok = ::ReadFile(H(file), buffer, size, &got, nullptr) != 0;
    read = ok ? win32::Dw(got) : 0;
    return ok;
}

bool SizeOfOpenFile(HANDLE file, std::uint64_t& size) {
    LARGE_INTEGER n{};
    if (!::GetFileSizeEx(H(file), &n)) return false;
    size = static_cast<std::uint64_t>(n.QuadPart);
    return true;
}

bool RewindOpenFile(HANDLE file) {
    LARGE_INTEGER zero{};
    return ::SetFilePointerEx(H(file), zero, nullptr, FILE_BEGIN) != 0;
}

bool CloseOpenFile(HANDLE file) { return file != PL_INVALID_FILE_HANDLE && ::CloseHandle(H(file)) != 0; }

DWORD RemoveStaleCopies(const std::string& to) {
    std::string folder, name;
    SplitPath(to, folder, name);
    std::string prefix = CopyPrefix(name);
    // Only files from before this process started: a newer one may belong to a
    // copy under way in another process. A copy that is still writing its file
    // holds it open, and the delete fails.
    ::FILETIME created{}, exited{}, kernel{}, user{};
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    WIN32_FIND_DATAW d{};
    ::HANDLE h = ::FindFirstFileW(win32::Wide((folder + prefix + "*")).c_str(), &d);
    if (h == win32::InvalidHandle()) return 0;
    DWORD removed = 0;
    do {
        std::string entry = win32::Utf8(d.cFileName);
        if (entry.size() != prefix.size() + kRandomLength) continue;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (::CompareFileTime(&d.ftLastWriteTime, &created) >= 0) continue;
        std::string path = folder + entry;
        if (d.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
            ::SetFileAttributesW(win32::Wide(path).c_str(), d.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
        if (::DeleteFileW(win32::Wide(path).c_str())) ++removed;
    } while (::FindNextFileW(h, &d));
    ::FindClose(h);
    return removed;
}

// ---- the rest -------------------------------------------------------------

bool DeleteFileA(const std::string& path) { return ::DeleteFileW(win32::Wide(path).c_str()) != 0; }

bool FileInUse(const std::string& path) {
    ::HANDLE h = ::CreateFileW(win32::Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == reinterpret_cast<::HANDLE>(static_cast<LONG_PTR>(-1))) return ::GetLastError() == ERROR_SHARING_VIOLATION;
    ::CloseHandle(h);
    return false;
}

bool MarkExecutable(const std::string& path) {
    // Windows starts any program file; the file only has to be there.
    return ::GetFileAttributesW(win32::Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool PathIsRelativeA(const std::string& path) {
    if (path.empty()) return true;
    if (path[0] == '\\' || path[0] == '/') return false;
    return !(path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])));
}

bool CreateDirectoryA(const std::string& path) { return ::CreateDirectoryW(win32::Wide(path).c_str(), nullptr) != 0; }
bool RemoveDirectoryA(const std::string& path) { return ::RemoveDirectoryW(win32::Wide(path).c_str()) != 0; }

namespace {

// The temporary folder in UTF-8, "" when the system names none.
std::string TempFolder() {
    wchar_t buffer[MAX_PATH + 2];
    const ::DWORD n = ::GetTempPathW(MAX_PATH + 2, buffer);
    return n == 0 || n > MAX_PATH + 1 ? std::string() : win32::Utf8(buffer, n);
}

}  // namespace

// The length counts UTF-8 bytes, as the ANSI call counts the code page's.
DWORD GetTempPathA(DWORD bufferLength, char* buffer) {
    const std::string folder = TempFolder();
    if (folder.empty()) return 0;
    return win32::CopyOut(folder, buffer, bufferLength);
}

// %TEMP% is the user's own.
std::string TempFolderRefusal() { return TempFolder().empty() ? "no temporary folder (GetTempPath failed)" : ""; }

std::FILE* OpenStdioFile(const std::string& path, const char* mode) {
    return ::_wfopen(win32::Wide(path).c_str(), win32::Wide(mode ? std::string(mode) : std::string()).c_str());
}

std::FILE* OpenDataFile(const std::string& path) {
    // A reparse point in the file's place is not written through.
    const ::DWORD attrs = ::GetFileAttributesW(win32::Wide(path).c_str());
    if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        errno = EACCES;
        return nullptr;
    }
    const std::wstring name = win32::Wide(path);
    std::FILE* f = ::_wfopen(name.c_str(), L"r+b");
    if (!f) f = ::_wfopen(name.c_str(), L"w+b");
    if (f) std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

bool SeekDataFile(std::FILE* file, std::int64_t offset) {
    return file && offset >= 0 && ::_fseeki64(file, offset, SEEK_SET) == 0;
}

bool TruncateDataFile(std::FILE* file) {
    return file && std::fflush(file) == 0 && ::_chsize_s(::_fileno(file), 0) == 0 && ::_fseeki64(file, 0, SEEK_SET) == 0;
}

std::FILE* CreateNewFile(const std::string& path, bool) {
    // CREATE_NEW fails on anything in the file's place, a reparse point too.
    const ::HANDLE h = ::CreateFileW(win32::Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == win32::InvalidHandle()) return nullptr;
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(h);
        return nullptr;
    }
    std::FILE* f = ::_fdopen(fd, "wb");
    if (!f) ::_close(fd);
    return f;
}

bool IsPrivateFolder(const std::string& path) {
    const ::DWORD attrs = ::GetFileAttributesW(win32::Wide(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace plat
