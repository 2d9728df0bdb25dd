#include "platform/posix/PeImage.h"

#include <algorithm>

#include "platform/posix/ByteOrder.h"

namespace plat::posix {
namespace {

constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kVsVersionInfo = 1;  // the identifier of the version resource
constexpr std::uint32_t kSubdirectoryBit = 0x80000000u;
constexpr std::uint32_t kNameBit = 0x80000000u;
constexpr std::size_t kSectionHeaderSize = 40;
constexpr std::uint16_t kMaxSections = 96;  // the loader's own limit
constexpr std::size_t kDirectoryHeaderSize = 16;
constexpr std::size_t kDirectoryEntrySize = 8;

struct Section {
    std::uint32_t virtualAddress;
    std::uint32_t virtualSize;
    std::uint32_t rawSize;
    std::uint32_t rawPointer;
};

// Maps relative virtual addresses of the image to file offsets through its
// section table. Only bytes that are really in the file can be read.
class RvaMap {
public:
    RvaMap(const ByteSource& src, std::vector<Section> sections) : src_(src), sections_(std::move(sections)) {}

    bool Read(std::uint64_t rva, void* dst, std::size_t n) const {
        for (const Section& s : sections_) {
            std::uint64_t mapped = s.virtualSize ? s.virtualSize : s.rawSize;
            if (rva < s.virtualAddress || rva - s.virtualAddress >= mapped) continue;
            std::uint64_t rel = rva - s.virtualAddress;
            // The part beyond the raw data is zero-filled memory that the file
            // does not hold; a resource there is not a resource at all.
            if (rel + n > std::min<std::uint64_t>(mapped, s.rawSize)) return false;
            return src_.Read(static_cast<std::uint64_t>(s.rawPointer) + rel, dst, n);
        }
        return false;
    }

private:
    const ByteSource& src_;
    std::vector<Section> sections_;
};

struct Entry {
    std::uint32_t name;
    std::uint32_t offset;
};

// Reads the entries of the resource directory at dirOffset (relative to the
// start of the resource data).
bool ReadDirectory(const RvaMap& map, std::uint32_t rsrcRva, std::uint32_t dirOffset, std::vector<Entry>& entries) {
    unsigned char head[kDirectoryHeaderSize];
    std::uint64_t at = static_cast<std::uint64_t>(rsrcRva) + dirOffset;
    if (!map.Read(at, head, sizeof head)) return false;
    std::size_t count = static_cast<std::size_t>(Le16(head + 12)) + Le16(head + 14);
    // At most 131070 entries of 8 bytes: about one megabyte, the worst case.
    std::vector<unsigned char> raw(count * kDirectoryEntrySize);
    if (count && !map.Read(at + kDirectoryHeaderSize, raw.data(), raw.size())) return false;
    entries.resize(count);
    for (std::size_t i = 0; i < count; ++i)
        entries[i] = Entry{Le32(&raw[i * kDirectoryEntrySize]), Le32(&raw[i * kDirectoryEntrySize + 4])};
    return true;
}

}  // namespace

bool PeImage::Recognise(const ByteSource& src) {
    unsigned char dos[64];
    if (!src.Read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    unsigned char sig[4];
    return src.Read(Le32(dos + 0x3C), sig, sizeof sig) && sig[0] == 'P' && sig[1] == 'E' && sig[2] == 0 && sig[3] == 0;
}

bool PeImage::FindVersionData(const ByteSource& src, std::size_t maxBytes, std::vector<std::uint8_t>& block) {
    block.clear();
    if (!Recognise(src)) return false;
    unsigned char dos[64];
    if (!src.Read(0, dos, sizeof dos)) return false;
    std::uint64_t peOffset = Le32(dos + 0x3C);

    // COFF file header after the signature.
    unsigned char coff[20];
    if (!src.Read(peOffset + 4, coff, sizeof coff)) return false;
    std::uint16_t sectionCount = Le16(coff + 2);
    std::uint16_t optionalSize = Le16(coff + 16);
    if (sectionCount == 0 || sectionCount > kMaxSections) return false;

    // Optional header: the resource table is data directory 2.
    std::uint64_t optOffset = peOffset + 24;
    std::vector<unsigned char> opt(optionalSize);
    if (optionalSize < 2 || !src.Read(optOffset, opt.data(), opt.size())) return false;
    std::size_t countAt, dirsAt;
    switch (Le16(opt.data())) {
    case 0x10B: countAt = 92; dirsAt = 96; break;    // PE32
    case 0x20B: countAt = 108; dirsAt = 112; break;  // PE32+
    default: return false;
    }
    if (optionalSize < countAt + 4 || Le32(&opt[countAt]) < 3 || optionalSize < dirsAt + 3 * 8) return false;
    std::uint32_t rsrcRva = Le32(&opt[dirsAt + 16]);
    std::uint32_t rsrcSize = Le32(&opt[dirsAt + 20]);
    if (rsrcRva == 0 || rsrcSize == 0) return false;

    // Section table.
    std::vector<unsigned char> table(static_cast<std::size_t>(sectionCount) * kSectionHeaderSize);
    if (!src.Read(optOffset + optionalSize, table.data(), table.size())) return false;
    std::vector<Section> sections(sectionCount);
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const unsigned char* h = &table[i * kSectionHeaderSize];
        sections[i] = Section{Le32(h + 12), Le32(h + 8), Le32(h + 16), Le32(h + 20)};
    }
    RvaMap map(src, std::move(sections));

    // Three levels: type, name, language. The depth is fixed, so a directory that
    // points back at itself cannot lead anywhere but to a failed lookup.
    std::vector<Entry> entries;
    if (!ReadDirectory(map, rsrcRva, 0, entries)) return false;
    auto type = std::find_if(entries.begin(), entries.end(),
                             [](const Entry& e) { return !(e.name & kNameBit) && e.name == kRtVersion; });
    if (type == entries.end() || !(type->offset & kSubdirectoryBit)) return false;

    // The version functions look for the resource by its identifier, 1
    // (VS_VERSION_INFO); a version resource under another identifier or a name is
    // not the file's version information.
    if (!ReadDirectory(map, rsrcRva, type->offset & ~kSubdirectoryBit, entries)) return false;
    auto name = std::find_if(entries.begin(), entries.end(),
                             [](const Entry& e) { return !(e.name & kNameBit) && e.name == kVsVersionInfo; });
    if (name == entries.end() || !(name->offset & kSubdirectoryBit)) return false;

    if (!ReadDirectory(map, rsrcRva, name->offset & ~kSubdirectoryBit, entries)) return false;
    if (entries.empty() || (entries[0].offset & kSubdirectoryBit)) return false;

    // The data entry: address (an RVA of the image) and size of the resource.
    unsigned char data[16];
    if (!map.Read(static_cast<std::uint64_t>(rsrcRva) + entries[0].offset, data, sizeof data)) return false;
    std::uint32_t dataRva = Le32(data);
    std::uint32_t dataSize = Le32(data + 4);
    std::size_t n = std::min<std::size_t>(dataSize, maxBytes);
    if (n == 0) return false;
    block.resize(n);
    if (!map.Read(dataRva, block.data(), n)) {
        block.clear();
        return false;
    }
    return true;
}

}  // namespace plat::posix
