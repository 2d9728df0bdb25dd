#include "tests/common/PeFileBuilder.h"

namespace testutil {

void PeFileBuilder::Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    if (b.size() < at + 4) b.resize(at + 4);
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF);
}

void PeFileBuilder::Put16(Bytes& b, std::size_t at, std::uint16_t v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

PeFileBuilder::Bytes PeFileBuilder::Build(const Bytes& versionBlock, bool pe32plus) {
    Bytes f(kBlockStart, 0);
    f[0] = 'M';
    f[1] = 'Z';
    Put32(f, kLfanew, kPeHeader);
    f[kPeHeader] = 'P';
    f[kPeHeader + 1] = 'E';
    Put16(f, kPeHeader + 4, pe32plus ? 0x8664 : 0x14C);
    Put16(f, kSectionCount, 1);
    std::uint16_t optSize = pe32plus ? 240 : 224;
    Put16(f, kOptionalSize, optSize);
    Put16(f, kOptional, pe32plus ? 0x20B : 0x10B);
    Put32(f, kOptional + (pe32plus ? 108 : 92), 16);  // NumberOfRvaAndSizes

    std::uint32_t rsrcSize = static_cast<std::uint32_t>(0x58 + versionBlock.size());
    Put32(f, ResourceDirectory(pe32plus), kRsrcRva);
    Put32(f, ResourceDirectory(pe32plus) + 4, rsrcSize);

    std::size_t sh = SectionHeader(pe32plus);
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    for (int i = 0; i < 8; ++i) f[sh + i] = static_cast<std::uint8_t>(name[i]);
    std::uint32_t rawSize = (rsrcSize + 0x1FF) & ~0x1FFu;
    Put32(f, sh + 8, rsrcSize);      // VirtualSize
    Put32(f, sh + 12, kRsrcRva);     // VirtualAddress
    Put32(f, sh + 16, rawSize);      // SizeOfRawData
    Put32(f, sh + 20, kRsrcStart);   // PointerToRawData

    // Type level: one ID entry, RT_VERSION -> name directory at 0x18.
    Put16(f, kRsrcStart + 14, 1);
    Put32(f, kRsrcStart + 16, 16);
    Put32(f, kTypeEntryOffset, 0x80000000u | 0x18);
    // Name level: ID 1 -> language directory at 0x30.
    Put16(f, kRsrcStart + 0x18 + 14, 1);
    Put32(f, kRsrcStart + 0x18 + 16, 1);
    Put32(f, kNameEntryOffset, 0x80000000u | 0x30);
    // Language level: 0x0409 -> data entry at 0x48.
    Put16(f, kRsrcStart + 0x30 + 14, 1);
    Put32(f, kRsrcStart + 0x30 + 16, 0x409);
    Put32(f, kLangEntryOffset, 0x48);
    Put32(f, kDataRva, kRsrcRva + 0x58);
    Put32(f, kDataSize, static_cast<std::uint32_t>(versionBlock.size()));

    f.insert(f.end(), versionBlock.begin(), versionBlock.end());
    f.resize(kRsrcStart + rawSize, 0);
    return f;
}

}  // namespace testutil
