// The text of a profile (INI) file as the profile calls read it (platform/Profile.h
// states the rules): its lines, what each means, and the value of a key. The
// Linux profile calls read files through it, and the update catalogue is read
// through it from the bytes held in memory, on both systems.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace plat {

struct ProfileLine {
    enum Kind { Other, Section, Entry } kind = Other;
    std::string text;   // without its line break
    std::string eol;    // "\r\n", "\n", "\r" (a CR LF cut short) or "" for a last line without one
    std::string name;   // section or key name, blanks stripped
    std::string value;  // entry value, blanks stripped
};

// The lines of a profile file's text, split at LF.
std::vector<ProfileLine> ParseProfileText(const std::string& content);

// The first header of `section` (its leading and trailing spaces dropped, case
// ignored); -1 when there is none.
long FindProfileSection(const std::vector<ProfileLine>& lines, const std::string& section);
// The first entry of `key` within the section whose header is at `header`; -1
// when there is none.
long FindProfileEntry(const std::vector<ProfileLine>& lines, long header, const std::string& key);
// The value of key in section, a pair of quotes around it dropped; false when
// the section or key is missing.
bool ProfileValue(const std::vector<ProfileLine>& lines, const std::string& section, const std::string& key,
                  std::string& value);

// True when a line is plain: "[Section]" with nothing around the name, "key=value"
// with nothing around the key, blank, or a ';' comment, and no control character
// but the line break. Every other line is read by rules a reader may not share.
bool IsPlainProfileLine(const ProfileLine& line);

// Blanks as the profile calls strip them from the file's lines: space, tab,
// vertical tab.
std::string TrimProfileBlanks(const std::string& s);
// A requested section or key name as the calls take it: without its leading and
// trailing spaces (a tab stays part of the name).
std::string TrimProfileName(const std::string& s);

}  // namespace plat
