#include "platform/Profile.h"

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/Errors.h"
#include "platform/posix/ErrorMap.h"
#include "platform/posix/FileUtil.h"
#include "platform/posix/Utf16.h"

namespace plat {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v'; }

std::string TrimBlanks(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// The requested names lose their spaces only; a tab stays part of the name.
std::string TrimSpaces(const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos) return "";
    size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// One line of the file, as it stands, and what it means.
struct Line {
    enum Kind { Other, Section, Entry } kind = Other;
    std::string text;  // without its line break
    std::string eol;   // "\r\n", "\n" or "" for a last line without one
    std::string name;  // section or key name
    std::string value; // entry value, blanks stripped
};

Line Parse(std::string text, std::string eol) {
    Line l;
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
        l.kind = Line::Section;
        l.name = TrimBlanks(t.substr(i + 1, close == std::string::npos ? std::string::npos : close - i - 1));
        return l;
    }
    size_t eq = t.find('=', i);
    if (eq == std::string::npos) return l;
    l.kind = Line::Entry;
    l.name = TrimBlanks(t.substr(i, eq - i));
    l.value = TrimBlanks(t.substr(eq + 1));
    return l;
}

std::vector<Line> ParseAll(const std::string& content) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t nl = content.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back(Parse(content.substr(pos), ""));
            break;
        }
        lines.push_back(Parse(content.substr(pos, nl - pos), "\n"));
        pos = nl + 1;
    }
    return lines;
}

// Index of the first header of the section, or -1.
long FindSection(const std::vector<Line>& lines, const std::string& section) {
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == Line::Section && SameName(lines[i].name, section)) return static_cast<long>(i);
    return -1;
}

// Index of the first entry of the key within the section starting at `header`, or -1.
long FindEntry(const std::vector<Line>& lines, long header, const std::string& key) {
    for (size_t i = static_cast<size_t>(header) + 1; i < lines.size(); ++i) {
        if (lines[i].kind == Line::Section) break;
        if (lines[i].kind == Line::Entry && SameName(lines[i].name, key)) return static_cast<long>(i);
    }
    return -1;
}

// A file that starts with the UTF-16LE byte-order mark holds Unicode text; it is
// read as the same text in the ANSI code page, and written back as UTF-16LE.
const char kUtf16Bom[] = "\xFF\xFE";

bool IsUtf16(const std::string& content) { return content.compare(0, 2, kUtf16Bom, 2) == 0; }

// The file's text; *utf16 tells whether it was stored as UTF-16LE.
bool ReadText(const std::string& fileName, std::string& text, bool* utf16) {
    std::string content;
    if (!posix::ReadWholeFile(fileName, content)) return false;
    *utf16 = IsUtf16(content);
    if (*utf16) {
        std::string decoded;
        // Unit by unit, so that a NUL in the file does not end the text.
        for (std::size_t i = 2; i + 1 < content.size(); i += 2) {
            if (content[i] == 0 && content[i + 1] == 0) {
                decoded += '\0';
                continue;
            }
            std::size_t start = i;
            while (i + 1 < content.size() && !(content[i] == 0 && content[i + 1] == 0)) i += 2;
            decoded += posix::Utf16LeToUtf8(reinterpret_cast<const unsigned char*>(content.data()) + start,
                                            (i - start) / 2);
            i -= 2;
        }
        content = std::move(decoded);
    }
    text = std::move(content);
    return true;
}

// Ends a line that a new line is about to follow: with the file's own line break
// when it has none, and with the missing LF when it ends in a lone CR (a CR LF cut
// short), which a reader does not take for the end of a line.
void EndLine(Line& l, const std::string& eol) {
    if (l.eol.empty())
        l.eol = eol;
    else if (l.eol == "\r")
        l.eol += '\n';
}

DWORD CopyOut(const std::string& text, char* buffer, DWORD bufferSize) {
    if (!buffer || bufferSize == 0) return 0;
    size_t n = std::min<size_t>(text.size(), bufferSize - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<DWORD>(n);
}

}  // namespace

DWORD GetPrivateProfileStringA(const std::string& section, const std::string& key,
                              const std::string& defaultValue, char* buffer, DWORD bufferSize,
                              const std::string& fileName) {
    std::string def = defaultValue;
    while (!def.empty() && def.back() == ' ') def.pop_back();

    std::string content;
    bool utf16 = false;
    if (!ReadText(fileName, content, &utf16)) {
        SetLastError(PL_ERROR_FILE_NOT_FOUND);
        return CopyOut(def, buffer, bufferSize);
    }
    std::vector<Line> lines = ParseAll(content);
    long header = FindSection(lines, TrimSpaces(section));
    long entry = header < 0 ? -1 : FindEntry(lines, header, TrimSpaces(key));
    if (entry < 0) {
        SetLastError(PL_ERROR_FILE_NOT_FOUND);
        return CopyOut(def, buffer, bufferSize);
    }
    std::string value = lines[static_cast<size_t>(entry)].value;
    // A value enclosed in a matching pair of quotes is returned without them.
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
        value = value.substr(1, value.size() - 2);
    // A value cut to the buffer is reported as such.
    SetLastError(buffer && bufferSize > 0 && value.size() > bufferSize - 1 ? PL_ERROR_MORE_DATA : PL_NO_ERROR);
    return CopyOut(value, buffer, bufferSize);
}

bool WritePrivateProfileStringA(const std::string& section, const std::string& key,
                               const std::string& value, const std::string& fileName) {
    if (fileName.empty()) {
        SetLastError(PL_ERROR_ACCESS_DENIED);
        return false;
    }
    std::string content;
    bool utf16 = false;
    bool existed = ReadText(fileName, content, &utf16);
    if (!existed && errno != ENOENT) {
        posix::SetLastErrorFromErrno(errno);
        return false;
    }
    if (!existed && !posix::IsFolder(posix::FolderOf(fileName))) {
        SetLastError(PL_ERROR_PATH_NOT_FOUND);
        return false;
    }

    std::vector<Line> lines = ParseAll(content);
    // New lines follow the file's own line breaks; a new file gets CR LF.
    std::string eol = "\r\n";
    if (!lines.empty() && lines.front().eol == "\n") eol = "\n";

    const std::string sec = TrimSpaces(section);
    const std::string k = TrimSpaces(key);
    long header = FindSection(lines, sec);
    if (header < 0) {
        if (!lines.empty()) EndLine(lines.back(), eol);
        Line h;
        h.text = "[" + sec + "]";
        h.eol = eol;
        lines.push_back(h);
        Line e;
        e.text = k + "=" + value;
        e.eol = eol;
        lines.push_back(e);
    } else {
        long entry = FindEntry(lines, header, k);
        if (entry >= 0) {
            Line& l = lines[static_cast<size_t>(entry)];
            l.text = l.name + "=" + value;
            if (l.eol.empty()) l.eol = eol;
        } else {
            // After the section's last non-blank line.
            size_t at = static_cast<size_t>(header);
            for (size_t i = at + 1; i < lines.size() && lines[i].kind != Line::Section; ++i)
                if (TrimBlanks(lines[i].text).size() > 0) at = i;
            EndLine(lines[at], eol);
            Line e;
            e.text = k + "=" + value;
            e.eol = eol;
            lines.insert(lines.begin() + static_cast<long>(at) + 1, e);
        }
    }

    std::string out;
    for (const auto& l : lines) out += l.text + l.eol;
    if (utf16) out = std::string(kUtf16Bom, 2) + posix::Utf8ToUtf16Le(out);

    posix::PathAt at(fileName);
    struct stat old {};
    bool haveMode = existed && fstatat(at.dir(), at.name(), &old, 0) == 0;
    posix::TempFile tmp;
    if (tmp.Create(fileName)) {
        if (!posix::WriteAll(tmp.fd(), out.data(), out.size()) ||
            (haveMode && fchmod(tmp.fd(), old.st_mode & 07777) != 0) || !tmp.Commit(fileName)) {
            posix::SetLastErrorFromErrno(errno);
            return false;
        }
        return true;
    }
    // A folder we may not create files in, holding a file we may write: write
    // the file in place.
    int fd = openat(at.dir(), at.name(), O_WRONLY | O_TRUNC | O_CLOEXEC | (existed ? 0 : O_CREAT), 0666);
    if (fd < 0) {
        posix::SetLastErrorFromErrno(errno);
        return false;
    }
    bool ok = posix::WriteAll(fd, out.data(), out.size());
    int err = errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) posix::SetLastErrorFromErrno(err);
    return ok;
}

}  // namespace plat
