#include "platform/posix/MemorySource.h"

#include <cstring>

namespace plat::posix {

MemorySource::MemorySource(const void* data, std::size_t size)
    : data_(static_cast<const unsigned char*>(data)), size_(data ? size : 0) {}

bool MemorySource::Read(std::uint64_t offset, void* dst, std::size_t n) const {
    if (offset > size_ || n > size_ - offset) return false;
    if (n) std::memcpy(dst, data_ + offset, n);
    return true;
}

}  // namespace plat::posix
