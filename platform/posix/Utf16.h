// UTF-16LE (as version resources and Unicode profile files hold their texts) to
// UTF-8 (the ANSI code page of the Linux build), and back.
//
// Internal to platform/posix.
#pragma once

#include <cstddef>
#include <string>

namespace plat::posix {

// Converts at most `units` code units from p, stopping at the first NUL. Unpaired
// surrogates become U+FFFD. The result never exceeds 3 bytes per code unit.
std::string Utf16LeToUtf8(const unsigned char* p, std::size_t units);

// Converts UTF-8 text to UTF-16LE bytes (without a byte-order mark). Bytes that are
// not valid UTF-8 become U+FFFD.
std::string Utf8ToUtf16Le(const std::string& text);

}  // namespace plat::posix
