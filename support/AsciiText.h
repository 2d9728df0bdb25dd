// Case and blank handling for single-byte texts. Only the ASCII letters change
// case; every other byte (an ANSI letter above 127, a UTF-8 sequence) stays as it
// is, whatever the process's locale. The only blank that trimming removes is the
// space character: tabs and line ends are kept.
#pragma once

#include <string>
#include <string_view>

namespace nl {

// 'A'..'Z' become 'a'..'z'; nothing else changes.
std::string AsciiLower(std::string text);
// 'a'..'z' become 'A'..'Z'; nothing else changes.
std::string AsciiUpper(std::string text);
// The texts are equal when ASCII letters are compared without regard to case.
bool EqualsNoCase(std::string_view a, std::string_view b);
// The text without the spaces at its start and end; "" when it holds only spaces.
std::string TrimSpaces(std::string_view text);

}  // namespace nl
