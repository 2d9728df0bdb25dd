// Small text and file helpers used by the download control: a Base64 encoder for
// credential texts, a safe file length, and three string helpers.
//
// Texts are single-byte (ANSI) strings: one char is one character. Positions are
// 1-based, as the control counts them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nl {

// Plain Base64 (standard alphabet, "=" padding, no line breaks). Texts longer than
// 32,767 characters raise an overflow error (6).
std::string Base64Encode(const std::string& text);

// Length of the file in bytes, or -1 for any failure (missing file, a folder, no
// access, a length that does not fit 32 bits).
std::int32_t SafeFileLen(const std::string& path);

// The text with the first occurrence of `find` replaced. An empty `find` counts as
// found at position 1. An occurrence starting beyond position 32,767 raises an
// overflow error (6).
std::string ReplaceFirst(const std::string& text, const std::string& find, const std::string& replacement);

// 1-based position of the last occurrence of `find`, or 0. An empty `find` gives
// length + 1.
std::int32_t InStrLast(const std::string& text, const std::string& find);

// Cuts `text` at each `delimiter`. Empty pieces between adjacent delimiters are
// kept; a trailing delimiter adds no empty last piece; an empty text gives one
// empty piece.
void SplitText(const std::string& text, const std::string& delimiter, std::vector<std::string>& parts);

}  // namespace nl
