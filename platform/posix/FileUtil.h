// Small file helpers shared inside platform/posix: path pieces, whole-file reads,
// the held temporary folder and the paths below it, and a temporary file that is
// renamed over its destination in one step.
#pragma once

#include <sys/types.h>

#include <string>

namespace plat::posix {

// ---- the held folder ------------------------------------------------------------
// The temporary folder, once checked, is held open. A path below it is never
// taken by name from the root again: it is walked from that descriptor one real
// folder at a time (a link on the way is not followed), so a folder renamed or
// replaced after the check cannot redirect it.

// Holds `fd` (an open folder) as the one `path` names; a folder held before is
// let go. Takes the descriptor over.
void HoldFolder(const std::string& path, int fd);
// The held folder's path and descriptor; "" and -1 when none is held.
std::string HeldFolderPath();
int HeldFolderFd();

// Where a call on `path` acts: a folder descriptor and a name in it, for the
// *at calls. Below the held folder, the folder that holds the last component,
// reached from the held one; any other path is taken as it stands (AT_FDCWD).
// A link or ".." on the way below the held folder leaves dir() at -1 (the call
// then fails) with errno in error().
class PathAt {
public:
    explicit PathAt(const std::string& path);
    ~PathAt();
    PathAt(const PathAt&) = delete;
    PathAt& operator=(const PathAt&) = delete;

    int dir() const { return dir_; }
    const char* name() const { return name_.c_str(); }
    // The last component of name().
    std::string Leaf() const;
    // The folder that holds the last component, opened (O_DIRECTORY); -1 with
    // errno when it cannot be.
    int OpenFolder() const;
    int error() const { return error_; }
    bool Held() const { return held_; }

private:
    int dir_;
    bool own_ = false;  // dir_ was opened here
    bool held_ = false;
    int error_ = 0;
    std::string name_;
};


// The folder part of a path ("." when there is none, "/" for the root).
std::string FolderOf(const std::string& path);
bool IsFolder(const std::string& path);

// Reads a whole file. False with errno set when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);

// Writes all of `size` bytes, retrying after interruptions and short writes.
bool WriteAll(int fd, const char* data, size_t size);
// Copies everything from one descriptor to another.
bool CopyData(int in, int out);

// The file a path names when a file is to be replaced: the path itself, or for
// a symbolic link the file the link leads to (which is replaced, the link
// staying). False when the link leads nowhere.
bool ReplacedFile(const std::string& path, std::string& target);

// A file created next to its destination under a hidden temporary name (mode
// 0600), in the folder opened once at Create. Commit flushes it, renames it
// over the destination in that same folder and flushes the folder; a file that
// is never committed is removed.
class TempFile {
public:
    TempFile() = default;
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    bool Create(const std::string& destination);
    // The same with names that start with `prefix` instead of Prefix(...).
    bool Create(const std::string& destination, const std::string& prefix);
    // The start of the names Create gives to temporaries for a file of this name.
    static std::string Prefix(const std::string& fileName) { return "." + fileName + ".new-"; }
    // The number of random characters (letters and digits) after the prefix.
    static constexpr size_t kRandomLength = 6;
    int fd() const { return fd_; }
    // The temporary file's full path.
    std::string Path() const { return folder_ + "/" + name_; }
    // Lets the file go without removing it (it is then the caller's).
    void Release();
    // With noReplace the rename fails (EEXIST) when the destination exists.
    bool Commit(const std::string& destination, bool noReplace = false);

private:
    int fd_ = -1;
    int dir_ = -1;
    std::string folder_, name_;
};

// Renames `from` over `to` (names in the open folder `dir`) after flushing the
// file `fd`, then flushes the folder: the one step every replacement ends with.
bool RenameFlushed(int fd, int dir, const std::string& from, const std::string& to, bool noReplace);

}  // namespace plat::posix
