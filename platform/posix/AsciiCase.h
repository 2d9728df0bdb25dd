// ASCII case folding for the POSIX platform's own name comparisons (message
// names, host names, version-resource keys). Only 'A'..'Z' and 'a'..'z' are
// letters; every other byte compares as itself, whatever the locale.
#pragma once

#include <string>
#include <string_view>

namespace plat::posix {

inline char AsciiLowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string text) {
    for (auto& c : text) c = AsciiLowerChar(c);
    return text;
}

inline bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (AsciiLowerChar(a[i]) != AsciiLowerChar(b[i])) return false;
    return true;
}

}  // namespace plat::posix
