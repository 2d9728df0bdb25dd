#include "platform/NumberFormat.h"

#include <langinfo.h>
#include <locale.h>

#include <cstring>

namespace plat {

namespace {
bool Ascii(const char* text) {
    for (const char* p = text; *p; ++p)
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
    return true;
}
}  // namespace

bool UserNumberFormat(NumberFormat& format) {
    // The numeric locale the environment names (LC_ALL, LC_NUMERIC, LANG), and
    // its character set, read without touching the process's own.
    locale_t user = newlocale(LC_NUMERIC_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (user == static_cast<locale_t>(nullptr)) return false;  // not installed
    const char* point = nl_langinfo_l(RADIXCHAR, user);
    const char* separator = nl_langinfo_l(THOUSEP, user);
    const char* grouping = nl_langinfo_l(GROUPING, user);
    const bool utf8 = std::strcmp(nl_langinfo_l(CODESET, user), "UTF-8") == 0;
    bool own = point && separator && grouping && *point && *separator && *grouping;
    // Our texts are UTF-8: a separator in another character set is not used.
    if (own && !utf8 && !(Ascii(point) && Ascii(separator))) own = false;
    if (own) {
        format.decimalPoint = point;
        format.thousandsSeparator = separator;
        format.grouping = grouping;
    }
    freelocale(user);
    return own;
}

}  // namespace plat
