#include "platform/WildcardMatch.h"

#include <cstddef>

namespace plat {
namespace wildcard {
namespace {

enum : char { kStar = 1, kDosStar = 2, kDosQm = 3, kDosDot = 4 };

char Fold(char c, bool ignoreCase) {
    return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string Compile(const std::string& pattern, bool ignoreCase) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c == '*')
            out += next == '.' ? kDosStar : kStar;
        else if (c == '?')
            out += kDosQm;
        else if (c == '.' && (next == '?' || next == '*' || next == '\0'))
            out += kDosDot;
        else
            out += Fold(c, ignoreCase);
    }
    return out;
}

bool Match(const std::string& p, std::size_t pi, const std::string& n, std::size_t ni, bool ignoreCase) {
    while (pi < p.size()) {
        char t = p[pi];
        switch (t) {
            case kStar:
                for (std::size_t k = ni; k <= n.size(); ++k)
                    if (Match(p, pi + 1, n, k, ignoreCase)) return true;
                return false;
            case kDosStar: {
                std::size_t lastDot = n.rfind('.');
                std::size_t limit = (lastDot != std::string::npos && lastDot >= ni) ? lastDot : n.size();
                for (std::size_t k = ni; k <= limit; ++k)
                    if (Match(p, pi + 1, n, k, ignoreCase)) return true;
                return false;
            }
            case kDosQm:
                if (ni < n.size() && n[ni] != '.') ++ni;
                ++pi;
                break;
            case kDosDot:
                if (ni < n.size()) {
                    if (n[ni] != '.') return false;
                    ++ni;
                }
                ++pi;
                break;
            default:
                if (ni >= n.size() || Fold(n[ni], ignoreCase) != t) return false;
                ++pi;
                ++ni;
        }
    }
    return ni == n.size();
}

}  // namespace

bool Match(const std::string& pattern, const std::string& name, bool ignoreCase) {
    if (pattern == "*" || pattern == "*.*") return true;
    return Match(Compile(pattern, ignoreCase), 0, name, 0, ignoreCase);
}

}  // namespace wildcard
}  // namespace plat
