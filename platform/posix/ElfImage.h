// Finds the version resource of a Linux program file: an ELF section named
// ".versioninfo" holding a VS_VERSIONINFO block byte for byte as a PE resource
// holds it.
//
// Internal to platform/posix.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/posix/ByteSource.h"

namespace plat::posix {

class ElfImage {
public:
    // True when the source starts with the ELF magic.
    static bool Recognise(const ByteSource& src);

    // Copies the ".versioninfo" section (at most maxBytes of it) into block.
    // False when the file is not a valid ELF file or has no such section.
    static bool FindVersionData(const ByteSource& src, std::size_t maxBytes, std::vector<std::uint8_t>& block);
};

}  // namespace plat::posix
