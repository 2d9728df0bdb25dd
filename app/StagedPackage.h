// The downloaded package, opened once. Its length and digest are checked on the
// open file and the copy onto the program file is made from that same open
// file, so nothing renamed over the package in between is ever put in place.
// A link in the package's place is not followed: it does not open.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Types.h"

namespace nl {

class StagedPackage {
public:
    explicit StagedPackage(const std::string& path);
    ~StagedPackage();
    StagedPackage(const StagedPackage&) = delete;
    StagedPackage& operator=(const StagedPackage&) = delete;

    bool IsOpen() const { return length_ >= 0; }
    const std::string& Path() const { return path_; }
    // The open file's length in bytes; -1 when it is not open.
    std::int64_t Length() const { return length_; }
    // The open file's SHA-256 digest (64 lower-case hex digits); "" when it cannot be read.
    std::string Digest();
    // Copies the open file onto `target` (plat::CopyOpenFile); false with
    // plat::GetLastError() set when it did not.
    bool CopyTo(const std::string& target);
    // Lets go of the file (on Windows it cannot be deleted while open).
    void Close();

private:
    std::string path_;
    plat::HANDLE file_ = 0;
    std::int64_t length_ = -1;
};

}  // namespace nl
