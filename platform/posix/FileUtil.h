// Small file helpers shared inside platform/posix: path pieces, whole-file reads,
// and a temporary file that is renamed over its destination in one step.
#pragma once

#include <string>

namespace plat::posix {

// The folder part of a path ("." when there is none, "/" for the root).
std::string FolderOf(const std::string& path);
bool IsFolder(const std::string& path);

// Reads a whole file. False with errno set when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& out);

// Writes all of `size` bytes, retrying after interruptions and short writes.
bool WriteAll(int fd, const char* data, size_t size);
// Copies everything from one descriptor to another.
bool CopyData(int in, int out);

// A file created next to its destination under a hidden temporary name. Commit
// flushes it, renames it over the destination and flushes the folder; a file
// that is never committed is removed.
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
    // With noReplace the rename fails (EEXIST) when the destination exists.
    bool Commit(const std::string& destination, bool noReplace = false);

private:
    int fd_ = -1;
    std::string path_;
};

}  // namespace plat::posix
