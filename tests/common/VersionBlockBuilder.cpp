#include "tests/common/VersionBlockBuilder.h"

namespace testutil {
namespace {

void Put16(VersionBlockBuilder::Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

void Append32(VersionBlockBuilder::Bytes& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
}

void Pad4(VersionBlockBuilder::Bytes& b) {
    while (b.size() % 4) b.push_back(0);
}

}  // namespace

VersionBlockBuilder VersionBlockBuilder::Text(const std::string& key, const std::u16string& value) {
    VersionBlockBuilder n;
    n.key_ = key;
    n.type_ = 1;
    if (!value.empty()) {
        for (char16_t c : value) {
            n.value_.push_back(static_cast<std::uint8_t>(c & 0xFF));
            n.value_.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        n.value_.push_back(0);
        n.value_.push_back(0);
        n.valueLength_ = static_cast<std::uint16_t>(value.size() + 1);
    }
    return n;
}

VersionBlockBuilder VersionBlockBuilder::Binary(const std::string& key, const Bytes& value) {
    VersionBlockBuilder n;
    n.key_ = key;
    n.type_ = 0;
    n.value_ = value;
    n.valueLength_ = static_cast<std::uint16_t>(value.size());
    return n;
}

VersionBlockBuilder VersionBlockBuilder::Block(const std::string& key) {
    VersionBlockBuilder n;
    n.key_ = key;
    return n;
}

VersionBlockBuilder& VersionBlockBuilder::Add(VersionBlockBuilder child) {
    children_.push_back(std::move(child));
    return *this;
}

VersionBlockBuilder::Bytes VersionBlockBuilder::Build() const {
    Bytes b(6, 0);
    for (char c : key_) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(0);
    }
    b.push_back(0);
    b.push_back(0);
    Pad4(b);
    b.insert(b.end(), value_.begin(), value_.end());
    for (const auto& c : children_) {
        Pad4(b);
        Bytes cb = c.Build();
        b.insert(b.end(), cb.begin(), cb.end());
    }
    Put16(b, 0, static_cast<std::uint32_t>(b.size()));
    Put16(b, 2, valueLength_);
    Put16(b, 4, type_);
    return b;
}

VersionBlockBuilder::Bytes VersionBlockBuilder::Fixed(std::uint32_t fileMS, std::uint32_t fileLS, std::uint32_t prodMS,
                                                      std::uint32_t prodLS, std::uint32_t flags, std::uint32_t os,
                                                      std::uint32_t type, std::uint32_t subtype) {
    Bytes b;
    for (std::uint32_t v : {0xFEEF04BDu, 0x00010000u, fileMS, fileLS, prodMS, prodLS, 0x3Fu, flags, os, type, subtype,
                            0u, 0u})
        Append32(b, v);
    return b;
}

VersionBlockBuilder::Bytes VersionBlockBuilder::Standard(
    std::uint32_t fileMS, std::uint32_t fileLS, const std::string& table,
    const std::vector<std::pair<std::string, std::u16string>>& strings, const std::vector<std::uint32_t>& translations) {
    VersionBlockBuilder root = Binary("VS_VERSION_INFO", Fixed(fileMS, fileLS, fileMS, fileLS));
    VersionBlockBuilder st = Block(table);
    for (const auto& [k, v] : strings) st.Add(Text(k, v));
    root.Add(Block("StringFileInfo").Add(st));
    if (!translations.empty()) {
        Bytes t;
        for (std::uint32_t v : translations) Append32(t, v);
        VersionBlockBuilder var = Block("VarFileInfo");
        var.Add(Binary("Translation", t));
        root.Add(var);
    }
    return root.Build();
}

}  // namespace testutil
