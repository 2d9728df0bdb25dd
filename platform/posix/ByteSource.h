// Random-access reading of a file's bytes for the program-file readers, so that
// they look only at the ranges they need and never hold a whole file.
//
// Internal to platform/posix.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plat::posix {

class ByteSource {
public:
    virtual ~ByteSource() = default;

    virtual std::uint64_t Size() const = 0;

    // Copies n bytes from offset into dst. False (and dst undefined) unless the
    // whole range lies inside the source.
    virtual bool Read(std::uint64_t offset, void* dst, std::size_t n) const = 0;
};

}  // namespace plat::posix
