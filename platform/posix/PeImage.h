// Finds the version resource in a PE32 or PE32+ program file: DOS header, PE
// header, section table, resource directory, the RT_VERSION entry with its first
// name and first language, and the data it points to.
//
// Internal to platform/posix.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/posix/ByteSource.h"

namespace plat::posix {

class PeImage {
public:
    // True when the source starts like a PE file ("MZ" with a "PE\0\0" header).
    static bool Recognise(const ByteSource& src);

    // Copies the RT_VERSION data (at most maxBytes of it) into block. False when
    // the file is not a valid PE file, has no version resource, or any structure
    // on the way points outside the file.
    static bool FindVersionData(const ByteSource& src, std::size_t maxBytes, std::vector<std::uint8_t>& block);
};

}  // namespace plat::posix
