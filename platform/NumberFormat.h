// How the user writes numbers: the decimal point, the thousands separator and
// the sizes of the digit groups.
#pragma once

#include <string>

namespace plat {

struct NumberFormat {
    std::string decimalPoint;        // UTF-8, "." or ","
    std::string thousandsSeparator;  // UTF-8; may be empty or several bytes
    // Group sizes from the right, as std::numpunct gives them: "\3" groups of
    // three throughout, "\3\2" three then twos, a CHAR_MAX ends the grouping,
    // and an empty text groups nothing.
    std::string grouping;
};

// The user's own settings: Windows' regional settings, or on POSIX the numeric
// locale the environment names. False when there are none of the user's own (the
// plain C locales group no digits and name no separator).
bool UserNumberFormat(NumberFormat& format);

}  // namespace plat
