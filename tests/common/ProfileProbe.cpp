#include "tests/common/ProfileProbe.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <vector>

#include "app/Catalogue.h"
#include "platform/Errors.h"
#include "platform/Profile.h"
#include "tests/common/TestUtil.h"

namespace testutil {
namespace {

using plat::DWORD;

struct Request {
    std::string section, key;
};

struct Answer {
    std::string text;
    DWORD error = 0;
    bool operator==(const Answer&) const = default;
};

std::string Trim(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t\v\r\f");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\v\r\f") - b + 1);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Sections and keys the text seems to hold, in their order, at most `most` of each.
void Names(const std::string& text, std::size_t most, std::vector<std::string>& sections,
           std::vector<std::string>& keys) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        const std::string line = Trim(text.substr(pos, nl == std::string::npos ? nl : nl - pos));
        pos = nl == std::string::npos ? text.size() : nl + 1;
        if (!line.empty() && line[0] == '[') {
            if (sections.size() < most) sections.push_back(Trim(line.substr(1, line.find(']') - 1)));
        } else if (const std::size_t eq = line.find('='); eq != std::string::npos && !line.empty() && line[0] != ';') {
            if (keys.size() < most) keys.push_back(Trim(line.substr(0, eq)));
        }
    }
}

// The roomy read: room for any value the file can hold.
Answer Read(const Request& r, const std::string& file, std::size_t room) {
    std::vector<char> buffer(room + 1, '\x7f');
    plat::SetLastError(12345);
    const DWORD n = plat::GetPrivateProfileStringA(r.section, r.key, "dflt  ", buffer.data(),
                                                   static_cast<DWORD>(room), file);
    Answer a{std::string(buffer.data(), std::min<std::size_t>(n, room)), plat::GetLastError()};
    if (n >= room || buffer[n] != '\0') a.error = 0xFFFFFFFFu;  // reported as a fault by the caller
    return a;
}

}  // namespace

bool ProbeProfile(const std::uint8_t* data, std::size_t size, std::string* fault) {
    fault->clear();
    static TempDir dir;
    const std::string file = dir / "probe.ini", copy = dir / "copy.ini", wide = dir / "wide.ini";
    const std::string text(reinterpret_cast<const char*>(data), size);
    WriteFile(file, text);
    std::uint32_t seed = 2166136261u;
    for (std::uint8_t b : text) seed = (seed ^ b) * 16777619u;
    auto next = [&seed](std::uint32_t below) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % below;
    };

    // The names of a UTF-16LE file are looked for in its ASCII characters.
    std::string scan = text;
    if (text.compare(0, 2, "\xFF\xFE", 2) == 0) {
        scan.clear();
        for (std::size_t i = 2; i + 1 < text.size(); i += 2) scan += text[i + 1] == 0 ? text[i] : '?';
    }
    std::vector<std::string> sections, keys;
    Names(scan, 3, sections, keys);
    for (const char* s : {"Info", "missing"}) sections.push_back(s);
    for (const char* k : {"VER", "Readme"}) keys.push_back(k);
    std::vector<Request> requests;
    for (const auto& s : sections)
        for (const auto& k : keys) requests.push_back({s, k});
    // The first request again, spelt in other case and with spaces around it.
    std::string upper = requests.front().section;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    requests.push_back({"  " + upper + " ", " " + requests.front().key});

    // A value is never longer than the decoded file (UTF-16LE: 3 bytes per unit).
    const std::size_t room = size * 2 + 16;
    std::vector<Answer> answers;
    bool found = false;
    for (const auto& r : requests) {
        const Answer big = Read(r, file, room);
        answers.push_back(big);
        if (big.error == 0xFFFFFFFFu) *fault = "a result not terminated within its buffer";
        if (big.error == plat::PL_NO_ERROR) {
            found = true;
        } else if (big.error != plat::PL_ERROR_FILE_NOT_FOUND) {
            *fault = "error " + std::to_string(big.error) + " for [" + r.section + "] " + r.key;
        } else if (big.text != "dflt") {
            *fault = "a missing entry gave \"" + big.text + "\", not the default";
        }
        // A buffer of exactly the given size: a write past it trips the sanitizer.
        const DWORD small = static_cast<DWORD>(next(5) == 0 ? 0 : next(12));
        auto buffer = std::make_unique<char[]>(std::max<DWORD>(small, 1));
        buffer[0] = '\x7f';
        plat::SetLastError(12345);
        const DWORD n = plat::GetPrivateProfileStringA(r.section, r.key, "dflt  ", buffer.get(), small, file);
        const DWORD error = plat::GetLastError();
        const std::size_t fits = small == 0 ? 0 : std::min<std::size_t>(big.text.size(), small - 1);
        if (n != fits || (small == 0 ? buffer[0] != '\x7f' : buffer[n] != '\0') ||
            std::string(buffer.get(), small == 0 ? 0 : n) != big.text.substr(0, fits))
            *fault = "a cut result is not the start of the whole one";
        const bool cut = big.error == plat::PL_NO_ERROR && small > 0 && big.text.size() > small - 1;
        const auto expected = static_cast<DWORD>(cut ? plat::PL_ERROR_MORE_DATA : plat::PL_NO_ERROR);
        if (big.error == plat::PL_NO_ERROR && error != expected)
            *fault = "error " + std::to_string(error) + " for a result cut to " + std::to_string(small);
    }

    // The catalogue reader, on the bytes in memory, gives what ReadIni gives: the
    // value cut to 511 characters, and missing when it holds a line break.
    if (text.compare(0, 2, "\xFF\xFE", 2) != 0) {
        const nl::Catalogue catalogue(text);
        for (std::size_t i = 0; i < requests.size(); ++i) {
            std::string value = answers[i].error == plat::PL_NO_ERROR ? answers[i].text.substr(0, 511) : "";
            if (value.find_first_of("\r\n") != std::string::npos) value.clear();
            if (catalogue.Value(requests[i].section, requests[i].key) != value)
                *fault = "[" + requests[i].section + "] " + requests[i].key + " reads differently as a catalogue";
        }
    }

    // Plain ASCII text reads the same stored as UTF-16LE.
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return c >= 0; });
    if (ascii) {
        std::string utf16 = "\xFF\xFE";
        for (char c : text) {
            utf16 += c;
            utf16 += '\0';
        }
        WriteFile(wide, utf16);
        for (std::size_t i = 0; i < requests.size(); ++i)
            if (!(Read(requests[i], wide, room) == answers[i]))
                *fault = "[" + requests[i].section + "] " + requests[i].key + " reads differently as UTF-16LE";
    }

    // One entry written into a copy reads back, and every other entry stays as it was.
    const char kAlphabet[] = "AbcXyz019_.";
    auto name = [&](std::size_t most) {
        std::string s;
        for (std::size_t i = 0, n = 1 + next(static_cast<std::uint32_t>(most)); i < n; ++i)
            s += kAlphabet[next(sizeof kAlphabet - 1)];
        return s;
    };
    const std::string section = next(2) ? sections[next(static_cast<std::uint32_t>(sections.size()))] : name(6);
    const std::string key = next(2) ? keys[next(static_cast<std::uint32_t>(keys.size()))] : name(6);
    std::string value = name(8);
    if (next(2)) value += " x " + name(4);
    WriteFile(copy, text);
    // A name taken from the file that cannot be written back as it reads: one with
    // blanks around it, a bracket or '=' that would end it, or characters that a
    // UTF-16LE file would not keep byte for byte.
    auto plain = [](const std::string& s) {
        return std::all_of(s.begin(), s.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    };
    if (Trim(section) != section || Trim(key) != key || section.find(']') != std::string::npos ||
        key.find('=') != std::string::npos || key.empty() || key[0] == '[' || key[0] == ';' || !plain(section) ||
        !plain(key))
        return found;
    if (!plat::WritePrivateProfileStringA(section, key, value, copy)) {
        *fault = "writing [" + section + "] " + key + " failed with " + std::to_string(plat::GetLastError());
        return found;
    }
    const Answer written = Read({section, key}, copy, room + value.size() + 8);
    if (written.text != value || written.error != plat::PL_NO_ERROR)
        *fault = "[" + section + "] " + key + " reads back as \"" + written.text + "\"";
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (Lower(Trim(requests[i].section)) == Lower(section) && Lower(Trim(requests[i].key)) == Lower(key)) continue;
        if (!(Read(requests[i], copy, room + value.size() + 8) == answers[i]))
            *fault = "writing [" + section + "] " + key + " changed [" + requests[i].section + "] " + requests[i].key;
    }
    return found;
}

}  // namespace testutil
