#include "platform/ProfileText.h"

#include <cctype>

namespace plat {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

ProfileLine ParseLine(std::string text, std::string eol) {
    ProfileLine l;
    l.eol = std::move(eol);
    if (!text.empty() && text.back() == '\r') {
        text.pop_back();
        l.eol.insert(l.eol.begin(), '\r');
    }
    l.text = std::move(text);
    const std::string& t = l.text;
    size_t i = 0;
    while (i < t.size() && (IsBlank(t[i]) || t[i] == '\r' || t[i] == '\f')) ++i;
    if (i == t.size() || t[i] == ';') return l;
    if (t[i] == '[') {
        size_t close = t.find(']', i + 1);
        l.kind = ProfileLine::Section;
        l.name = TrimProfileBlanks(t.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1));
        return l;
    }
    size_t eq = t.find('=', i);
    if (eq == std::string::npos) return l;
    l.kind = ProfileLine::Entry;
    l.name = TrimProfileBlanks(t.substr(i, eq - i));
    l.value = TrimProfileBlanks(t.substr(eq + 1));
    return l;
}

bool HasControl(const std::string& s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

}  // namespace

std::string TrimProfileBlanks(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

std::string TrimProfileName(const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

std::vector<ProfileLine> ParseProfileText(const std::string& content) {
    std::vector<ProfileLine> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t nl = content.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back(ParseLine(content.substr(pos), ""));
            break;
        }
        lines.push_back(ParseLine(content.substr(pos, nl - pos), "\n"));
        pos = nl + 1;
    }
    return lines;
}

long FindProfileSection(const std::vector<ProfileLine>& lines, const std::string& section) {
    const std::string name = TrimProfileName(section);
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == ProfileLine::Section && SameName(lines[i].name, name)) return static_cast<long>(i);
    return -1;
}

long FindProfileEntry(const std::vector<ProfileLine>& lines, long header, const std::string& key) {
    const std::string name = TrimProfileName(key);
    for (size_t i = static_cast<size_t>(header) + 1; i < lines.size(); ++i) {
        if (lines[i].kind == ProfileLine::Section) break;
        if (lines[i].kind == ProfileLine::Entry && SameName(lines[i].name, name)) return static_cast<long>(i);
    }
    return -1;
}

bool ProfileValue(const std::vector<ProfileLine>& lines, const std::string& section, const std::string& key,
                  std::string& value) {
    const long header = FindProfileSection(lines, section);
    const long entry = header < 0 ? -1 : FindProfileEntry(lines, header, key);
    if (entry < 0) return false;
    value = lines[static_cast<size_t>(entry)].value;
    // A value enclosed in a matching pair of quotes is returned without them.
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    return true;
}

bool IsPlainProfileLine(const ProfileLine& line) {
    const std::string& t = line.text;
    if (HasControl(t) || (line.eol != "\n" && line.eol != "\r\n" && !line.eol.empty())) return false;
    if (t.find_first_not_of(' ') == std::string::npos || t[0] == ';') return true;
    if (line.kind == ProfileLine::Section)
        return t == "[" + line.name + "]" && !line.name.empty() && line.name.find(']') == std::string::npos;
    if (line.kind != ProfileLine::Entry || line.name.empty() || t.compare(0, line.name.size() + 1, line.name + "=") != 0)
        return false;
    for (unsigned char c : line.name)
        if (c >= 0x80 || c == '[') return false;
    return true;
}

}  // namespace plat
