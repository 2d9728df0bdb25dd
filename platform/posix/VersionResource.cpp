#include "platform/posix/VersionResource.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/posix/ByteOrder.h"
#include "platform/posix/ElfImage.h"
#include "platform/posix/PeImage.h"
#include "platform/posix/Utf16.h"
#include "platform/posix/VersionBlock.h"

namespace plat::posix {
namespace {

constexpr char kSignature[4] = {'F', 'E', '2', 'X'};
constexpr std::size_t kMinBlock = 8;  // a root header with an empty key

std::size_t Align4(std::size_t v) { return (v + 3) & ~static_cast<std::size_t>(3); }
std::size_t SpareStart(std::size_t length) { return Align4(length) + sizeof kSignature; }
std::size_t Needed(std::size_t length) { return SpareStart(length) + 2 * length + 4; }

}  // namespace

bool VersionResource::Extract(const ByteSource& src, std::vector<std::uint8_t>& block) {
    block.clear();
    bool found = false;
    if (PeImage::Recognise(src))
        found = PeImage::FindVersionData(src, kMaxBlock, block);
    else if (ElfImage::Recognise(src))
        found = ElfImage::FindVersionData(src, kMaxBlock, block);
    if (!found || block.size() < kMinBlock) {
        block.clear();
        return false;
    }
    std::size_t length = Le16(block.data());
    VersionBlock::Node root;
    if (length < kMinBlock || length > block.size() || !VersionBlock(block.data(), length).Root(root)) {
        block.clear();
        return false;
    }
    block.resize(length);
    return true;
}

DWORD VersionResource::BufferSize(std::size_t blockLength) {
    return static_cast<DWORD>(Needed(blockLength));
}

bool VersionResource::Fill(const std::vector<std::uint8_t>& block, DWORD len, void* data) {
    auto* out = static_cast<unsigned char*>(data);
    if (!out) return false;
    std::size_t length = block.size();
    if (Needed(length) > len) {
        // Shorten to what fits: Needed(n) <= n + 11 + 2n.
        length = len > 11 ? std::min<std::size_t>(length, (len - 11) / 3) : 0;
        while (length > 0 && Needed(length) > len) --length;
    }
    if (length < kMinBlock) {
        if (len >= 2) std::memset(out, 0, 2);  // a root length of 0: nothing to query
        return false;
    }
    std::memcpy(out, block.data(), length);
    out[0] = static_cast<unsigned char>(length & 0xFF);
    out[1] = static_cast<unsigned char>(length >> 8);
    std::memset(out + length, 0, Needed(length) - length);
    std::memcpy(out + Align4(length), kSignature, sizeof kSignature);
    return true;
}

BOOL VersionResource::Query(const void* data, const char* subBlock, void** buffer, UINT* len) {
    if (len) *len = 0;
    auto* base = static_cast<unsigned char*>(const_cast<void*>(data));
    if (!base || !buffer) return 0;
    std::size_t length = Le16(base);
    if (length < kMinBlock || std::memcmp(base + Align4(length), kSignature, sizeof kSignature) != 0) return 0;

    VersionBlock vb(base, length);
    VersionBlock::Node n;
    if (!vb.Find(subBlock, n)) return 0;

    if (n.valueLength == 0 || n.valueBytes == 0) {
        // No value: the key's own terminating NUL serves as an empty one.
        *buffer = base + n.keyNul;
        return 1;
    }
    if (n.type != 1) {
        *buffer = base + n.valueStart;
        if (len) *len = static_cast<UINT>(n.valueBytes);
        return 1;
    }
    std::string text = Utf16LeToUtf8(base + n.valueStart, n.valueBytes / 2);
    // 3 bytes per unit at most, plus the NUL, within the 2 * valueBytes reserved.
    unsigned char* dst = base + SpareStart(length) + 2 * n.valueStart;
    std::memcpy(dst, text.data(), text.size());
    dst[text.size()] = 0;
    *buffer = dst;
    if (len) *len = static_cast<UINT>(text.size() + 1);
    return 1;
}

}  // namespace plat::posix
