// Builds VS_VERSIONINFO blocks for tests: nodes with a key, a text or binary
// value and children, laid out with the 32-bit alignment and lengths that
// resource compilers write. Tests then damage the bytes where they need to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testutil {

class VersionBlockBuilder {
public:
    using Bytes = std::vector<std::uint8_t>;

    // A node with a text value (wType 1); valueChars counts the characters
    // written including the NUL, as resource compilers do. An empty text gives
    // wValueLength 0.
    static VersionBlockBuilder Text(const std::string& key, const std::u16string& value);
    // A node with binary data (wType 0).
    static VersionBlockBuilder Binary(const std::string& key, const Bytes& value);
    // A node without a value (wType 1), holding children.
    static VersionBlockBuilder Block(const std::string& key);

    VersionBlockBuilder& Add(VersionBlockBuilder child);
    Bytes Build() const;

    // A complete resource: fixed info with the given versions, one string table
    // (lang-codepage key, e.g. "040904B0") with the strings, and a translation table.
    static Bytes Standard(std::uint32_t fileMS, std::uint32_t fileLS, const std::string& table,
                          const std::vector<std::pair<std::string, std::u16string>>& strings,
                          const std::vector<std::uint32_t>& translations);

    // Bytes of a VS_FIXEDFILEINFO.
    static Bytes Fixed(std::uint32_t fileMS, std::uint32_t fileLS, std::uint32_t prodMS, std::uint32_t prodLS,
                       std::uint32_t flags = 0, std::uint32_t os = 0x40004, std::uint32_t type = 1,
                       std::uint32_t subtype = 0);

private:
    std::string key_;
    std::uint16_t type_ = 1;
    std::uint16_t valueLength_ = 0;
    Bytes value_;
    std::vector<VersionBlockBuilder> children_;
};

}  // namespace testutil
