#include "support/TextToNumber.h"

#include <charconv>
#include <cmath>

#include "support/AsciiText.h"
#include "support/ErrorReport.h"

namespace nl {

namespace {

[[noreturn]] void Mismatch(const std::string& source) { Raise(err::kTypeMismatch, source, "Type mismatch"); }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "&H..." or "&O...": the digits as a 32-bit pattern.
std::int32_t Radix(const std::string& digits, int base, const std::string& source) {
    if (digits.empty()) Mismatch(source);
    std::uint64_t v = 0;
    for (char c : digits) {
        int d = IsDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : 99;
        if (d >= base) Mismatch(source);
        v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
        if (v > 0xFFFFFFFFull) Raise(err::kOverflow, source, "Overflow");
    }
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

}  // namespace

std::int32_t TextToLong(const std::string& text, const std::string& source) {
    const std::size_t b = text.find_first_not_of(" \t");
    if (b == std::string::npos) Mismatch(source);
    const std::string t = text.substr(b, text.find_last_not_of(" \t") - b + 1);
    const std::string lower = AsciiLower(t);
    if (lower == "true") return -1;
    if (lower == "false") return 0;
    if (lower.size() > 2 && lower[0] == '&' && lower[1] == 'h') return Radix(t.substr(2), 16, source);
    if (lower.size() > 2 && lower[0] == '&' && lower[1] == 'o') return Radix(t.substr(2), 8, source);

    // sign, digits [. digits] [e [sign] digits], with a digit before or after the point
    std::size_t i = 0;
    const bool negative = t[i] == '-';
    if (t[i] == '+' || t[i] == '-') ++i;
    const std::size_t start = i;
    std::size_t digits = 0;
    while (i < t.size() && IsDigit(t[i])) ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && IsDigit(t[i])) ++i, ++digits;
    }
    if (digits == 0) Mismatch(source);
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t exp = 0;
        while (i < t.size() && IsDigit(t[i])) ++i, ++exp;
        if (exp == 0) Mismatch(source);
    }
    if (i != t.size()) Mismatch(source);

    double v = 0;
    const auto r = std::from_chars(t.data() + start, t.data() + t.size(), v);
    if (r.ec == std::errc::result_out_of_range) Raise(err::kOverflow, source, "Overflow");
    if (r.ec != std::errc() || r.ptr != t.data() + t.size()) Mismatch(source);
    // To the nearest, a half to the even neighbour (the default rounding mode).
    v = std::nearbyint(negative ? -v : v);
    if (!(v >= -2147483648.0 && v <= 2147483647.0)) Raise(err::kOverflow, source, "Overflow");
    return static_cast<std::int32_t>(v);
}

}  // namespace nl
