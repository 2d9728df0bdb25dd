// Navigation in a VS_VERSIONINFO block: nested nodes of the form
//   WORD wLength; WORD wValueLength; WORD wType; WCHAR szKey[]; padding;
//   value; padding; children
// with every node, value and child aligned to 32 bits from the start of the
// block. Every field is checked against the node that holds it, so damaged data
// gives "not found" and is never read past.
//
// Internal to platform/posix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace plat::posix {

class VersionBlock {
public:
    struct Node {
        std::size_t start = 0;        // offset of the node in the block
        std::size_t end = 0;          // start + wLength
        std::uint16_t valueLength = 0;  // wValueLength: characters for text, bytes otherwise
        std::uint16_t type = 0;       // 1 = text, 0 = binary
        std::size_t keyNul = 0;       // offset of the key's terminating NUL
        std::size_t valueStart = 0;
        std::size_t valueBytes = 0;   // the value's bytes that lie inside the node
        std::size_t childrenStart = 0;
    };

    // Paths deeper than this are refused (real blocks are three levels deep).
    static constexpr int kMaxDepth = 16;

    VersionBlock(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    // The root node; false when its header is damaged.
    bool Root(Node& out) const { return Parse(0, size_, out); }

    // Follows a backslash-separated path from the root ("" and "\" are the root;
    // empty parts are skipped; names compare without regard to ASCII case).
    bool Find(const char* path, Node& out) const;

    // The first child of parent, and the child after prev; false at the end.
    bool FirstChild(const Node& parent, Node& out) const;
    bool NextChild(const Node& parent, const Node& prev, Node& out) const;

    // The node's key in UTF-8.
    std::string Key(const Node& n) const;

private:
    bool Parse(std::size_t at, std::size_t limit, Node& out) const;

    const unsigned char* data_;
    std::size_t size_;
};

}  // namespace plat::posix
