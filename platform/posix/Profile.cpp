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
#include "platform/ProfileText.h"
#include "platform/posix/ErrorMap.h"
#include "platform/posix/FileUtil.h"
#include "platform/posix/Utf16.h"

namespace plat {
namespace {

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
void EndLine(ProfileLine& l, const std::string& eol) {
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
    std::string value;
    if (!ProfileValue(ParseProfileText(content), section, key, value)) {
        SetLastError(PL_ERROR_FILE_NOT_FOUND);
        return CopyOut(def, buffer, bufferSize);
    }
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

    std::vector<ProfileLine> lines = ParseProfileText(content);
    // New lines follow the file's own line breaks; a new file gets CR LF.
    std::string eol = "\r\n";
    if (!lines.empty() && lines.front().eol == "\n") eol = "\n";

    const std::string sec = TrimProfileName(section);
    const std::string k = TrimProfileName(key);
    long header = FindProfileSection(lines, sec);
    if (header < 0) {
        if (!lines.empty()) EndLine(lines.back(), eol);
        ProfileLine h;
        h.text = "[" + sec + "]";
        h.eol = eol;
        lines.push_back(h);
        ProfileLine e;
        e.text = k + "=" + value;
        e.eol = eol;
        lines.push_back(e);
    } else {
        long entry = FindProfileEntry(lines, header, k);
        if (entry >= 0) {
            ProfileLine& l = lines[static_cast<size_t>(entry)];
            l.text = l.name + "=" + value;
            if (l.eol.empty()) l.eol = eol;
        } else {
            // After the section's last non-blank line.
            size_t at = static_cast<size_t>(header);
            for (size_t i = at + 1; i < lines.size() && lines[i].kind != ProfileLine::Section; ++i)
                if (TrimProfileBlanks(lines[i].text).size() > 0) at = i;
            EndLine(lines[at], eol);
            ProfileLine e;
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
