// A ByteSource over an open file, read with positioned reads.
//
// Internal to platform/posix.
#pragma once

#include <string>

#include "platform/posix/ByteSource.h"

namespace plat::posix {

class FileSource : public ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Opens a regular file for reading. False for anything else (folders,
    // devices, pipes) or when it cannot be opened.
    bool Open(const std::string& path);
    void Close();

    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, void* dst, std::size_t n) const override;

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace plat::posix
