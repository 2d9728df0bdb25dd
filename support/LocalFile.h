// A local file opened for reading and writing as raw bytes under a file number
// (the lowest number from 1 not held by another open LocalFile). Writes are
// sequential at the current position and go straight to the file, unbuffered, so
// that what was counted as written is on disk if the process dies.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace nl {

class LocalFile {
public:
    LocalFile() = default;
    ~LocalFile() { Close(); }
    LocalFile(const LocalFile&) = delete;
    LocalFile& operator=(const LocalFile&) = delete;

    // Opens the file, creating it when missing and keeping any content. False on failure.
    bool Open(const std::string& path);
    bool IsOpen() const { return file_ != nullptr; }
    std::int32_t Number() const { return number_; }

    bool Seek(std::int64_t offset);
    // Empties the file and moves to offset 0.
    bool Truncate();
    // Writes all bytes at the current position; false when not all of them went out.
    bool Write(const void* data, std::size_t n);
    void Close();
    // The system's reason for the last failed open or write ("No space left on
    // device"); "" when none failed.
    const std::string& Problem() const { return problem_; }

private:
    std::FILE* file_ = nullptr;
    std::string path_;
    std::int32_t number_ = 0;
    std::string problem_;
};

}  // namespace nl
