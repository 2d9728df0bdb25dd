// A dynamically typed value: empty, text, 16- or 32-bit integer, Boolean, or a byte
// array with its own lower index. Used where values of several kinds pass through
// one property (registry values, socket data).
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace nl {

struct ByteArray {
    std::vector<std::uint8_t> data;
    std::int32_t lbound = 0;

    std::int32_t UBound() const { return lbound + static_cast<std::int32_t>(data.size()) - 1; }
    bool operator==(const ByteArray&) const = default;
};

class Variant {
public:
    enum class Kind { Empty, Text, Int16, Int32, Bool, Bytes };

    Variant() = default;
    Variant(const char* s) : v_(std::string(s)) {}
    Variant(std::string s) : v_(std::move(s)) {}
    Variant(std::int16_t i) : v_(i) {}
    Variant(std::int32_t i) : v_(i) {}
    Variant(bool b) : v_(b) {}
    Variant(ByteArray b) : v_(std::move(b)) {}

    Kind kind() const { return static_cast<Kind>(v_.index()); }
    bool IsEmpty() const { return kind() == Kind::Empty; }
    bool IsText() const { return kind() == Kind::Text; }
    bool IsInteger() const { return kind() == Kind::Int16 || kind() == Kind::Int32; }
    bool IsBytes() const { return kind() == Kind::Bytes; }

    const std::string& Text() const { return std::get<std::string>(v_); }
    std::int32_t Integer() const;  // 16- or 32-bit integer, sign-extended
    bool Bool() const { return std::get<bool>(v_); }
    const ByteArray& Bytes() const { return std::get<ByteArray>(v_); }

    // The value as text: integers in decimal, Booleans "True"/"False", empty "",
    // byte arrays as their bytes taken one character each.
    std::string ToText() const;

    bool operator==(const Variant&) const = default;

private:
    std::variant<std::monostate, std::string, std::int16_t, std::int32_t, bool, ByteArray> v_;
};

}  // namespace nl
