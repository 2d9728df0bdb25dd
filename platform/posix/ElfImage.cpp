#include "platform/posix/ElfImage.h"

#include <algorithm>
#include <cstring>

#include "platform/posix/ByteOrder.h"

namespace plat::posix {
namespace {

constexpr char kSectionName[] = ".versioninfo";
constexpr std::uint32_t kShtNobits = 8;
constexpr std::uint32_t kMaxSections = 0x10000;

// Field reader for the file's class and byte order.
struct Layout {
    bool is64;
    bool bigEndian;

    std::uint16_t U16(const unsigned char* p) const { return bigEndian ? Be16(p) : Le16(p); }
    std::uint32_t U32(const unsigned char* p) const { return bigEndian ? Be32(p) : Le32(p); }
    std::uint64_t Addr(const unsigned char* p) const {
        if (is64) return bigEndian ? Be64(p) : Le64(p);
        return U32(p);
    }
};

struct SectionHeader {
    std::uint32_t name;
    std::uint32_t type;
    std::uint64_t offset;
    std::uint64_t size;
    std::uint32_t link;
};

bool ReadSection(const ByteSource& src, const Layout& l, std::uint64_t at, std::size_t entSize, SectionHeader& out) {
    unsigned char h[64];
    if (entSize > sizeof h || !src.Read(at, h, entSize)) return false;
    out.name = l.U32(h);
    out.type = l.U32(h + 4);
    if (l.is64) {
        out.offset = l.Addr(h + 24);
        out.size = l.Addr(h + 32);
        out.link = l.U32(h + 40);
    } else {
        out.offset = l.U32(h + 16);
        out.size = l.U32(h + 20);
        out.link = l.U32(h + 24);
    }
    return true;
}

}  // namespace

bool ElfImage::Recognise(const ByteSource& src) {
    unsigned char id[4];
    return src.Read(0, id, sizeof id) && id[0] == 0x7F && id[1] == 'E' && id[2] == 'L' && id[3] == 'F';
}

bool ElfImage::FindVersionData(const ByteSource& src, std::size_t maxBytes, std::vector<std::uint8_t>& block) {
    block.clear();
    unsigned char eh[64];
    if (!Recognise(src) || !src.Read(0, eh, 52)) return false;
    if ((eh[4] != 1 && eh[4] != 2) || (eh[5] != 1 && eh[5] != 2)) return false;
    Layout l{eh[4] == 2, eh[5] == 2};
    if (l.is64 && !src.Read(0, eh, 64)) return false;

    std::uint64_t shoff = l.is64 ? l.Addr(eh + 0x28) : l.U32(eh + 0x20);
    std::size_t entSize = l.U16(eh + (l.is64 ? 0x3A : 0x2E));
    std::uint32_t count = l.U16(eh + (l.is64 ? 0x3C : 0x30));
    std::uint32_t strIndex = l.U16(eh + (l.is64 ? 0x3E : 0x32));
    std::size_t minEnt = l.is64 ? 64 : 40;
    if (shoff == 0 || entSize != minEnt) return false;

    // Extended numbering: the real count and string-table index live in section 0.
    SectionHeader first{};
    if (!ReadSection(src, l, shoff, entSize, first)) return false;
    if (count == 0) count = first.size > kMaxSections ? 0 : static_cast<std::uint32_t>(first.size);
    if (strIndex == 0xFFFF) strIndex = first.link;
    if (count == 0 || count > kMaxSections || strIndex >= count) return false;
    if (shoff > src.Size() || static_cast<std::uint64_t>(count) * entSize > src.Size() - shoff) return false;

    SectionHeader names{};
    if (!ReadSection(src, l, shoff + static_cast<std::uint64_t>(strIndex) * entSize, entSize, names)) return false;
    if (names.type == kShtNobits || names.offset > src.Size()) return false;

    constexpr std::size_t kNameLen = sizeof kSectionName;  // with the NUL
    for (std::uint32_t i = 1; i < count; ++i) {
        SectionHeader s{};
        if (!ReadSection(src, l, shoff + static_cast<std::uint64_t>(i) * entSize, entSize, s)) return false;
        if (s.name >= names.size || names.size - s.name < kNameLen) continue;
        char name[kNameLen];
        if (!src.Read(names.offset + s.name, name, kNameLen)) return false;
        if (std::memcmp(name, kSectionName, kNameLen) != 0) continue;
        if (s.type == kShtNobits || s.size == 0) return false;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(s.size, maxBytes));
        block.resize(n);
        if (!src.Read(s.offset, block.data(), n)) {
            block.clear();
            return false;
        }
        return true;
    }
    return false;
}

}  // namespace plat::posix
