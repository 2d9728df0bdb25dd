// Profile (INI) files with the semantics of GetPrivateProfileStringA and
// WritePrivateProfileStringA. Texts are single-byte (ANSI) strings: on Linux
// UTF-8, on Windows the ANSI code page's bytes as the file holds them; the
// file's name is UTF-8, as every path of the platform.
//
// Reading:
//   - lines are "[section]" headers, "key=value" entries, comments starting
//     with ';' and anything else, which is ignored; entries before the first
//     header belong to no section and are never found;
//   - blanks (space, tab, vertical tab) before a line and around a section name
//     inside its brackets, around a key and around a value are ignored; a
//     header ends at its first ']' or at the end of the line;
//   - the requested section and key are compared without regard to case after
//     their leading and trailing spaces are dropped; only the first section of a
//     name is searched, and in it the first entry of the key wins;
//   - a value enclosed in a matching pair of double or single quotes loses them;
//   - the result is cut to bufferSize - 1 characters.
// Writing:
//   - creates the file, the section (appended at the end) or the key (after the
//     section's last entry) as needed, or replaces the entry's value in place,
//     keeping the existing spelling of the section and key;
//   - section and key are written without leading and trailing spaces, the
//     value exactly as given;
//   - every other line of the file stays as it was. The file is replaced in one
//     step, so a reader never sees it half written.
#pragma once

#include <string>

#include "platform/Types.h"

namespace plat {

// Copies the value (or `defaultValue` without its trailing blanks when the file,
// section or key is missing) into `buffer`, cut to bufferSize - 1 characters and
// NUL-terminated. Returns the number of characters copied without the NUL.
DWORD GetPrivateProfileStringA(const std::string& section, const std::string& key,
                              const std::string& defaultValue, char* buffer, DWORD bufferSize,
                              const std::string& fileName);

// Writes key=value into the section. False (with GetLastError) when the file
// cannot be read or written, for example when its folder is missing.
bool WritePrivateProfileStringA(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName);

}  // namespace plat
