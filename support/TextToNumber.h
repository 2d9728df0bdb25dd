// The ordinary conversion of a text to a whole number, as an assignment of a text
// to a numeric property makes it. Spaces and tabs around the number are ignored.
// Accepted: an optional sign and decimal digits with an optional fraction and
// exponent ("42", "-7", "5.5", "1e3"), rounded to the nearest whole number with a
// half going to the even one; "&H" with up to 8 hex digits and "&O" with octal
// digits (a 32-bit pattern: "&HFFFFFFFF" is -1); and "True" (-1) and "False" (0),
// in any case.
#pragma once

#include <cstdint>
#include <string>

namespace nl {

// The number the text names. Raises error 13 "Type mismatch" for a text that is
// not a number (also an empty one) and error 6 "Overflow" for one outside
// -2147483648..2147483647, both with `source`.
std::int32_t TextToLong(const std::string& text, const std::string& source);

}  // namespace nl
