#include "platform/VisibleText.h"

namespace plat {

namespace {

bool Continues(unsigned char c, unsigned char lo = 0x80, unsigned char hi = 0xBF) { return c >= lo && c <= hi; }

// The length of the well-formed UTF-8 sequence at `at` (2 to 4), or 0.
std::size_t SequenceAt(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return at + i < s.size() ? static_cast<unsigned char>(s[at + i]) : 0; };
    const unsigned char b = byte(0);
    if (b >= 0xC2 && b <= 0xDF) return Continues(byte(1)) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        // No overlong forms (E0 80..9F) and no surrogates (ED A0..BF).
        const unsigned char lo = b == 0xE0 ? 0xA0 : 0x80, hi = b == 0xED ? 0x9F : 0xBF;
        return Continues(byte(1), lo, hi) && Continues(byte(2)) ? 3 : 0;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        // Nothing below U+10000 or above U+10FFFF.
        const unsigned char lo = b == 0xF0 ? 0x90 : 0x80, hi = b == 0xF4 ? 0x8F : 0xBF;
        return Continues(byte(1), lo, hi) && Continues(byte(2)) && Continues(byte(3)) ? 4 : 0;
    }
    return 0;
}

void Escape(std::string& out, std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        out += "\\x";
        out += digits[c >> 4];
        out += digits[c & 0x0F];
    }
}

}  // namespace

std::string VisibleText(std::string_view text, LineBreaks breaks, std::size_t max) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t n = 1;
        if (c >= 0x80) n = SequenceAt(text, i);
        if (n == 0) n = 1;
        if (breaks == LineBreaks::Kept && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') n = 2;
        if (max != std::string_view::npos && i + n > max) return out + "...";
        const std::string_view unit = text.substr(i, n);
        i += n;
        if (breaks == LineBreaks::Kept && (c == '\n' || c == '\r')) {
            out += '\n';
        } else if (c < 0x20 || c == 0x7F || (unit.size() == 1 && c >= 0x80) ||
                   (c == 0xC2 && static_cast<unsigned char>(unit[1]) <= 0x9F)) {
            // A control character, a byte that is no UTF-8, or a C1 control (C2 80..C2 9F).
            Escape(out, unit);
        } else {
            out += unit;
        }
    }
    return out;
}

}  // namespace plat
