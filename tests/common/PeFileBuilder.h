// Builds a minimal PE32 or PE32+ file around a version block for tests of damaged
// files: one ".rsrc" section at RVA 0x1000, file offset 0x200, holding the
// three-level resource directory (RT_VERSION / 1 / 0x0409), the data entry and
// the block. The file offsets of the fields tests like to damage are public.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

class PeFileBuilder {
public:
    using Bytes = std::vector<std::uint8_t>;

    static constexpr std::size_t kLfanew = 0x3C;          // DWORD: offset of "PE\0\0"
    static constexpr std::size_t kPeHeader = 0x40;
    static constexpr std::size_t kSectionCount = kPeHeader + 6;   // WORD
    static constexpr std::size_t kOptionalSize = kPeHeader + 20;  // WORD
    static constexpr std::size_t kOptional = kPeHeader + 24;
    static constexpr std::size_t kRsrcStart = 0x200;
    static constexpr std::uint32_t kRsrcRva = 0x1000;
    // Offsets (in the file) of the DWORDs "offset to data" of the three
    // directory entries, and of the data entry's RVA and size.
    static constexpr std::size_t kTypeEntryOffset = kRsrcStart + 16 + 4;
    static constexpr std::size_t kNameEntryOffset = kRsrcStart + 0x18 + 16 + 4;
    static constexpr std::size_t kLangEntryOffset = kRsrcStart + 0x30 + 16 + 4;
    static constexpr std::size_t kDataRva = kRsrcStart + 0x48;
    static constexpr std::size_t kDataSize = kRsrcStart + 0x4C;
    static constexpr std::size_t kBlockStart = kRsrcStart + 0x58;

    static Bytes Build(const Bytes& versionBlock, bool pe32plus = false);

    // Offsets of the fields of the one section header.
    static std::size_t SectionHeader(bool pe32plus) { return kOptional + (pe32plus ? 240 : 224); }
    // Offset of the resource table's entry in the data directories (RVA, then size).
    static std::size_t ResourceDirectory(bool pe32plus) { return kOptional + (pe32plus ? 112 : 96) + 16; }

    static void Put32(Bytes& b, std::size_t at, std::uint32_t v);
    static void Put16(Bytes& b, std::size_t at, std::uint16_t v);
};

}  // namespace testutil
