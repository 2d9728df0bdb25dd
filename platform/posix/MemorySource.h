// A ByteSource over bytes in memory (data handed in by a caller, fuzzing input).
//
// Internal to platform/posix.
#pragma once

#include "platform/posix/ByteSource.h"

namespace plat::posix {

class MemorySource : public ByteSource {
public:
    // The bytes are not copied; they must outlive the source.
    MemorySource(const void* data, std::size_t size);

    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, void* dst, std::size_t n) const override;

private:
    const unsigned char* data_;
    std::size_t size_;
};

}  // namespace plat::posix
