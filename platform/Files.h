// Files and folders: listing with attributes, copy, delete, folder creation and
// removal, and the temporary folder. The shapes follow kernel32
// (FindFirstFileA/FindNextFileA/FindClose, CopyFileA, DeleteFileA, CreateDirectoryA,
// RemoveDirectoryA, GetTempPathA); failures set GetLastError (platform/Errors.h).
// Paths are UTF-8 (on Windows they go to the wide calls), lengths UTF-8 bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/Types.h"

namespace plat {

// The separator in every composed path ('\\' on Windows). Product code joins
// paths with this and nothing else.
#ifdef _WIN32
constexpr char PL_PATH_SEPARATOR = '\\';
#else
constexpr char PL_PATH_SEPARATOR = '/';
#endif

// Every path the platform takes and gives is UTF-8. The standard library takes
// a std::string path in the system's narrow encoding, which on Windows is the
// ANSI code page: its file calls are given paths through these, and give them
// back through Utf8PathText.
inline std::filesystem::path Utf8Path(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}
inline std::string Utf8PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
// std::fopen for a UTF-8 path.
std::FILE* OpenStdioFile(const std::string& path, const char* mode);

// Attribute bits as Windows reports them.
constexpr DWORD PL_FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD PL_FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr DWORD PL_FILE_ATTRIBUTE_SYSTEM = 0x04;
constexpr DWORD PL_FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD PL_FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD PL_FILE_ATTRIBUTE_NORMAL = 0x80;

struct FindData {
    DWORD attributes = 0;
    std::uint64_t size = 0;
    std::string name;  // the entry's name, without its folder
};

constexpr HANDLE PL_INVALID_FIND_HANDLE = 0;

// Lists the entries that match `pattern`: a folder, a separator and a last
// component that may hold the wildcards '*' and '?' ("folder/*.*" lists
// everything, as on Windows; a name without wildcards finds that one entry).
// Returns PL_INVALID_FIND_HANDLE with PL_ERROR_FILE_NOT_FOUND when nothing matches, or
// PL_ERROR_PATH_NOT_FOUND when the folder is missing. On Linux, names starting with
// a dot are hidden, and entries that are neither plain files nor folders
// (devices, sockets, pipes, broken links) count as system entries.
HANDLE FindFirstFileA(const std::string& pattern, FindData& found);
// The next entry; false with PL_ERROR_NO_MORE_FILES at the end.
bool FindNextFileA(HANDLE find, FindData& found);
bool FindClose(HANDLE find);

constexpr DWORD PL_INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

// The attributes of the entry `path` names, as a listing reports them, or
// PL_INVALID_FILE_ATTRIBUTES (with GetLastError) when there is none. The name is
// taken as it stands: '*' and '?' are ordinary characters here.
DWORD GetFileAttributesA(const std::string& path);

// Copies a file. The copy is written next to `to` under a temporary name,
// flushed to disk and then renamed over `to` in one step, so `to` is either
// left as it was or holds the complete copy, never a part of it. A replaced file
// keeps its permissions (and owner, where allowed); a new one gets those of
// `from`. When `to` is a symbolic link the file it names is replaced and the
// link stays; a link that names nothing is not followed and not replaced
// (PL_ERROR_FILE_NOT_FOUND).
// With failIfExists an existing `to` makes the call fail (PL_ERROR_FILE_EXISTS).
// A read-only `to` (PL_FILE_ATTRIBUTE_READONLY) is not replaced
// (PL_ERROR_ACCESS_DENIED), nor is one in use (FileInUse below), which fails with
// PL_ERROR_SHARING_VIOLATION as Windows does for a running program's file.
bool CopyFileA(const std::string& from, const std::string& to, bool failIfExists);

// True when some process runs the file `path` names or holds it open: on Linux a
// process whose program, open descriptor or mapping is that file (what fuser
// reports), as far as this user may look; on Windows, a file that cannot be
// opened for writing because of a sharing violation. False for a missing file.
bool FileInUse(const std::string& path);

// Lets the file be started as a program: on Linux it gains the execute
// permission for whoever may read it; on Windows there is nothing to do. False
// when the file is missing or its permissions cannot be changed.
bool MarkExecutable(const std::string& path);

// Removes the temporary files that copies onto `to` left behind when they were
// killed part of the way: only files of CopyFileA's own naming next to the file
// `to` names, older than this process and not being written by a live copy.
// Returns how many were removed.
DWORD RemoveStaleCopies(const std::string& to);

// Deletes a file (not a folder). PL_ERROR_FILE_NOT_FOUND when it is missing,
// PL_ERROR_PATH_NOT_FOUND when its folder is missing, PL_ERROR_ACCESS_DENIED when it
// may not be deleted or is read-only (PL_FILE_ATTRIBUTE_READONLY). A symbolic
// link is deleted itself, not the file it names.
bool DeleteFileA(const std::string& path);

// True when `path` is not a full path (it would be taken relative to the
// current folder); an empty path is relative.
bool PathIsRelativeA(const std::string& path);

// Creates one folder (its parent must exist); PL_ERROR_ALREADY_EXISTS when it exists.
bool CreateDirectoryA(const std::string& path);
// Removes an empty folder; PL_ERROR_DIR_NOT_EMPTY otherwise.
bool RemoveDirectoryA(const std::string& path);

// The temporary folder, always ending with PL_PATH_SEPARATOR; on Linux the
// private one TempFolderRefusal describes (0 with PL_ERROR_ACCESS_DENIED when
// there is none).
// Copies it with its terminating NUL into `buffer` when it fits in `bufferLength`
// characters and returns its length without the NUL; otherwise returns the
// length needed including the NUL and copies nothing.
DWORD GetTempPathA(DWORD bufferLength, char* buffer);

// Why this user has no temporary folder: "" when GetTempPathA gives one,
// otherwise one line naming the folder and the reason. On Linux the temporary
// folder must be private, as a Windows user's own is: $TMPDIR (else /tmp) when
// it is a real folder of this user's that no group or other user may write to,
// otherwise novalink-<uid> inside it, created with mode 0700 and accepted only
// as a real folder (no link) of this user's with exactly that mode. Every folder
// from the root down to it must belong to root or to this user and be writable
// by no one else unless it is sticky, and a link on the way must belong to root
// or to this user. The folder given is then held open for the process's life,
// and every call here on a path below it acts on that folder, whatever has been
// renamed since; the same path later leading elsewhere is refused. Nothing of
// another user's is ever changed or removed to make one.
std::string TempFolderRefusal();

// True when `path` is a real folder (not a link to one) of this user's that no
// one else may write to: a folder inside the temporary folder that is safe to
// keep files in. On Windows, a folder that is no reparse point.
bool IsPrivateFolder(const std::string& path);

// ---- one file, read through one open handle -------------------------------
// What is checked on an open file and then copied from it cannot be swapped by
// a rename in between.

constexpr HANDLE PL_INVALID_FILE_HANDLE = 0;

// Opens a plain file for reading. The last component is never followed as a
// link (PL_ERROR_ACCESS_DENIED); a folder, device or pipe does not open
// (PL_ERROR_ACCESS_DENIED). On Windows others may read the file while it is
// open, but not write, rename or delete it.
HANDLE OpenFileForReading(const std::string& path);
// Reads up to `size` bytes from the current position; `read` is 0 at the end.
bool ReadOpenFile(HANDLE file, void* buffer, DWORD size, DWORD& read);
bool SizeOfOpenFile(HANDLE file, std::uint64_t& size);
// Back to the first byte.
bool RewindOpenFile(HANDLE file);
bool CloseOpenFile(HANDLE file);
// CopyFileA with the source already open: the whole file from its first byte,
// whatever the name it was opened by now leads to.
bool CopyOpenFile(HANDLE from, const std::string& to, bool failIfExists);

// Opens a file for reading and writing as an unbuffered stream, keeping its
// content, or creates it (for this user alone to write) when it is missing.
// A link in its place is never followed, so nothing is written through one
// (PL_ERROR_ACCESS_DENIED), and a folder does not open; errno tells why not.
std::FILE* OpenDataFile(const std::string& path);
// Moves a stream to a byte offset that may lie beyond 2 GiB, where the C
// library's own positions are 32-bit.
bool SeekDataFile(std::FILE* file, std::int64_t offset);
// Empties an open stream's file and moves it to its start: the same file, never
// opened again by its name.
bool TruncateDataFile(std::FILE* file);

// Creates a new file and opens it for writing (a buffered stream). Fails with
// PL_ERROR_FILE_EXISTS when anything is in its place already, a link too, which
// is never followed. With ownerOnly, no one but this user may read it: mode 0600
// on Linux; on Windows the file takes the access list of its folder, as every
// file does there.
std::FILE* CreateNewFile(const std::string& path, bool ownerOnly);

// ---- a file replaced in one step --------------------------------------------
// The way every file that takes another's place is written (CopyFileA's copies
// too): a new file beside it under a hidden name, then one rename over it.

// Makes a hidden name beside `target` for the file that is to take its place,
// written and then put there by CommitReplacement. On Linux the file is created
// under it, empty and for this user alone (mode 0600); on Windows the name is
// one that is free, and the file is made by whoever writes it first.
// When `target` is a symbolic link, the file the link names is the one to be
// replaced and the link stays. Returns the new file's path, or "" with
// GetLastError.
std::string CreateReplacement(const std::string& target);
// Puts `replacement` in the place of the file `target` names (the same one
// CreateReplacement took) in one rename: flushed to disk first, and with the
// permissions of the file it replaces. `replacement` is opened without following
// a link, so nothing is written through one. False with GetLastError when it
// is not in place; `replacement` then stays where it was.
bool CommitReplacement(const std::string& replacement, const std::string& target);

// True when `name` matches the wildcard `pattern` the way Windows listings match.
bool MatchesWildcard(const std::string& pattern, const std::string& name);

}  // namespace plat
