#include "platform/NumberFormat.h"

#include <climits>

#include "platform/win32/WinApi.h"

namespace plat {

namespace {
// One of the user's settings as UTF-8; false when the system has none.
bool Setting(::LCTYPE type, std::string& text) {
    wchar_t wide[16];  // Windows allows at most 4 characters for these
    int n = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, type, wide, static_cast<int>(sizeof wide / sizeof wide[0]));
    if (n <= 0) return false;
    char utf8[64];
    int m = ::WideCharToMultiByte(CP_UTF8, 0, wide, n - 1, utf8, static_cast<int>(sizeof utf8), nullptr, nullptr);
    if (m < 0 || (m == 0 && n > 1)) return false;
    text.assign(utf8, static_cast<std::size_t>(m));
    return true;
}

// "3;0" (threes throughout), "3;2;0" (three, then twos), "3" (one group of
// three, then none), "0" (no grouping) as std::numpunct writes them.
std::string Grouping(const std::string& windows) {
    std::string sizes;
    std::string out;
    bool repeats = false;
    std::size_t start = 0;
    while (start <= windows.size()) {
        std::size_t end = windows.find(';', start);
        if (end == std::string::npos) end = windows.size();
        const std::string part = windows.substr(start, end - start);
        int size = 0;
        for (char c : part)
            if (c >= '0' && c <= '9') size = size * 10 + (c - '0');
        if (size == 0) {
            // A closing 0 repeats the size before it; a 0 alone groups nothing.
            repeats = true;
            break;
        }
        out += static_cast<char>(size > CHAR_MAX - 1 ? CHAR_MAX - 1 : size);
        start = end + 1;
    }
    if (!out.empty() && !repeats) out += static_cast<char>(CHAR_MAX);
    return out;
}
}  // namespace

bool UserNumberFormat(NumberFormat& format) {
    NumberFormat f;
    std::string grouping;
    if (!Setting(LOCALE_SDECIMAL, f.decimalPoint) || !Setting(LOCALE_STHOUSAND, f.thousandsSeparator) ||
        !Setting(LOCALE_SGROUPING, grouping))
        return false;
    f.grouping = Grouping(grouping);
    format = f;
    return true;
}

}  // namespace plat
