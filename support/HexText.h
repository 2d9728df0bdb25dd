// Bytes as hexadecimal digits and back: digests, signatures, keys, registry data.
#pragma once

#include <string>
#include <string_view>

namespace nl {

// Two digits a byte, lower case unless `upper`.
std::string HexText(std::string_view bytes, bool upper = false);
// The bytes that hex digits (either case) stand for; false, with `bytes` as it
// was, on anything but an even count of hex digits.
bool BytesOfHex(std::string_view hex, std::string& bytes);

}  // namespace nl
