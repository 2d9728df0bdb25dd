#include "platform/posix/VersionBlock.h"

#include <algorithm>
#include <cstring>

#include "platform/posix/AsciiCase.h"
#include "platform/posix/ByteOrder.h"
#include "platform/posix/Utf16.h"

namespace plat::posix {
namespace {

constexpr std::size_t kHeader = 6;

std::size_t Align4(std::size_t v) { return (v + 3) & ~static_cast<std::size_t>(3); }

}  // namespace

bool VersionBlock::Parse(std::size_t at, std::size_t limit, Node& out) const {
    limit = std::min(limit, size_);
    if (at > limit || limit - at < kHeader) return false;
    std::size_t length = Le16(data_ + at);
    // A node shorter than its header would never move the walk forward.
    if (length < kHeader + 2 || length > limit - at) return false;
    out.start = at;
    out.end = at + length;
    out.valueLength = Le16(data_ + at + 2);
    out.type = Le16(data_ + at + 4);
    std::size_t k = at + kHeader;
    while (k + 2 <= out.end && Le16(data_ + k) != 0) k += 2;
    if (k + 2 > out.end) return false;  // key without its NUL
    out.keyNul = k;
    out.valueStart = Align4(k + 2);
    std::size_t declared = static_cast<std::size_t>(out.valueLength) * (out.type == 1 ? 2 : 1);
    out.valueBytes = out.valueStart >= out.end ? 0 : std::min(declared, out.end - out.valueStart);
    out.childrenStart = Align4(out.valueStart + declared);
    return true;
}

bool VersionBlock::FirstChild(const Node& parent, Node& out) const {
    return Parse(parent.childrenStart, parent.end, out);
}

bool VersionBlock::NextChild(const Node& parent, const Node& prev, Node& out) const {
    return Parse(Align4(prev.end), parent.end, out);
}

std::string VersionBlock::Key(const Node& n) const {
    return Utf16LeToUtf8(data_ + n.start + kHeader, (n.keyNul - n.start - kHeader) / 2);
}

bool VersionBlock::Find(const char* path, Node& out) const {
    Node cur;
    if (!Root(cur)) return false;
    int depth = 0;
    const char* p = path ? path : "";
    while (*p) {
        if (*p == '\\') {
            ++p;
            continue;
        }
        const char* e = p;
        while (*e && *e != '\\') ++e;
        if (++depth > kMaxDepth) return false;
        Node child;
        bool found = false;
        for (bool ok = FirstChild(cur, child); ok; ok = NextChild(cur, child, child)) {
            if (EqualsNoCase(Key(child), std::string_view(p, static_cast<std::size_t>(e - p)))) {
                found = true;
                break;
            }
        }
        if (!found) return false;
        cur = child;
        p = e;
    }
    out = cur;
    return true;
}

}  // namespace plat::posix
