// The version information of a program file as the version calls hand it out:
// taking the VS_VERSIONINFO block out of a PE or ELF file, laying it into the
// caller's buffer, and answering queries on that buffer.
//
// The buffer holds the block as the file has it, then the signature "FE2X", then
// a spare area twice the block's size. A text value at offset p of the block is
// converted to UTF-8 at offset 2p of the spare area, so every converted value has
// a place of its own (room for 4 bytes per UTF-16 unit, where UTF-8 needs at most
// 3 and a NUL) and stays valid while other values are queried.
//
// Internal to platform/posix.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Types.h"
#include "platform/VersionInfo.h"
#include "platform/posix/ByteSource.h"

namespace plat::posix {

class VersionResource {
public:
    // wLength is a 16-bit field: no block is longer.
    static constexpr std::size_t kMaxBlock = 0xFFFF;

    // Takes the VS_VERSIONINFO block out of a PE or ELF file, cut to the length
    // its root node gives. False when there is none or its root node is damaged.
    static bool Extract(const ByteSource& src, std::vector<std::uint8_t>& block);

    // The buffer size a block of this length needs.
    static DWORD BufferSize(std::size_t blockLength);

    // Lays the block into data (len bytes). A buffer too small for all of it
    // receives a block shortened (its root length lowered) to what fits. False,
    // and nothing queryable in data, when not even the root header fits.
    static bool Fill(const std::vector<std::uint8_t>& block, DWORD len, void* data);

    // VerQueryValueA on a buffer laid out by Fill.
    static BOOL Query(const void* data, const char* subBlock, void** buffer, UINT* len);
};

}  // namespace plat::posix
