#include "app/Catalogue.h"

#include "platform/Files.h"
#include "support/AsciiText.h"

namespace nl {
namespace {

// ReadIni's buffer holds 511 characters and the NUL.
constexpr std::size_t kValueLimit = 511;

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += l + "\r\n";
    return out;
}

}  // namespace

// ---- editions --------------------------------------------------------------------

const std::vector<Catalogue::Edition>& Catalogue::Editions() {
    static const std::vector<Edition> editions = {
        {"/E", "Evaluation", "Evaluation", false},
        {"/D", "Desktop", "Desktop Edition", true},
        {"/S", "Standard", "Standard Edition", true},
        {"/P", "Professional", "Professional Edition", true},
        {"/T", "TE", "Trial / Evaluation", false},
    };
    return editions;
}

const Catalogue::Edition* Catalogue::EditionOf(const std::string& switchCode) {
    for (const Edition& e : Editions())
        if (switchCode == e.switchCode) return &e;
    return nullptr;
}

const Catalogue::Edition* Catalogue::EditionNamed(const std::string& section) {
    for (const Edition& e : Editions())
        if (AsciiLower(section) == AsciiLower(e.key)) return &e;
    return nullptr;
}

bool Catalogue::IsPaid(const std::string& switchCode) {
    const Edition* e = EditionOf(switchCode);
    return !e || e->paid;
}

std::string Catalogue::UrlFor(const std::string& server, const std::string& switchCode) {
    return server + (IsPaid(switchCode) ? "/m_update/blmnl.cfg" : "/download/blmnl.cfg");
}

// ---- reading ---------------------------------------------------------------------

Catalogue::Catalogue(std::string bytes) : bytes_(std::move(bytes)), lines_(plat::ParseProfileText(bytes_)) {}

bool Catalogue::Load(const std::string& path, Catalogue& into, std::string& why) {
    const plat::HANDLE file = plat::OpenFileForReading(path);
    if (file == plat::PL_INVALID_FILE_HANDLE) {
        why = "cannot open " + path + " (not a plain file, a link, or missing)";
        return false;
    }
    std::uint64_t size = 0;
    std::string bytes;
    bool ok = plat::SizeOfOpenFile(file, size);
    if (ok && size > static_cast<std::uint64_t>(kMaxBytes)) {
        why = path + " is longer than a catalogue may be (" + std::to_string(kMaxBytes) + " bytes)";
        plat::CloseOpenFile(file);
        return false;
    }
    char block[16384];
    for (plat::DWORD got = 0;
         ok && bytes.size() <= size && plat::ReadOpenFile(file, block, sizeof block, got) && got > 0;)
        bytes.append(block, got);
    plat::CloseOpenFile(file);
    if (!ok || bytes.size() != size) {
        why = "cannot read " + path;
        return false;
    }
    into = Catalogue(std::move(bytes));
    return true;
}

std::string Catalogue::Value(const std::string& section, const std::string& key) const {
    std::string value;
    if (!plat::ProfileValue(lines_, section, key, value)) return "";
    if (value.size() > kValueLimit) value.resize(kValueLimit);
    if (value.find_first_of("\r\n") != std::string::npos) value.clear();
    return value;
}

std::vector<std::size_t> Catalogue::IrregularLines() const {
    std::vector<std::size_t> out;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        if (!plat::IsPlainProfileLine(lines_[i]) || (i == 0 && bytes_.compare(0, 3, "\xEF\xBB\xBF") == 0))
            out.push_back(i + 1);
    return out;
}

std::vector<std::string> Catalogue::Sections() const {
    std::vector<std::string> out;
    for (const plat::ProfileLine& l : lines_)
        if (l.kind == plat::ProfileLine::Section) out.push_back(l.name);
    return out;
}

// ---- writing ---------------------------------------------------------------------

void Catalogue::Set(const std::string& section, const std::string& key, const std::string& value) {
    std::vector<std::string> text;
    for (const plat::ProfileLine& l : lines_) text.push_back(l.text);
    const long header = plat::FindProfileSection(lines_, section);
    const long entry = header < 0 ? -1 : plat::FindProfileEntry(lines_, header, key);
    if (header < 0) {
        text.push_back("[" + section + "]");
        text.push_back(key + "=" + value);
    } else if (entry >= 0) {
        text[static_cast<std::size_t>(entry)] = lines_[static_cast<std::size_t>(entry)].name + "=" + value;
    } else {
        // After the section's last line that is not blank.
        std::size_t at = static_cast<std::size_t>(header);
        for (std::size_t i = at + 1; i < lines_.size() && lines_[i].kind != plat::ProfileLine::Section; ++i)
            if (!plat::TrimProfileBlanks(lines_[i].text).empty()) at = i;
        text.insert(text.begin() + static_cast<long>(at) + 1, key + "=" + value);
    }
    *this = Catalogue(JoinLines(text));
}

void Catalogue::SetSection(const std::string& section,
                           const std::vector<std::pair<std::string, std::string>>& entries) {
    std::vector<std::string> fresh;
    for (const auto& [key, value] : entries) fresh.push_back(key + "=" + value);
    std::vector<std::string> text;
    for (const plat::ProfileLine& l : lines_) text.push_back(l.text);
    const long header = plat::FindProfileSection(lines_, section);
    if (header < 0) {
        text.push_back("[" + section + "]");
        text.insert(text.end(), fresh.begin(), fresh.end());
    } else {
        std::size_t end = static_cast<std::size_t>(header) + 1;
        while (end < lines_.size() && lines_[end].kind != plat::ProfileLine::Section) ++end;
        text.erase(text.begin() + header + 1, text.begin() + static_cast<long>(end));
        text.insert(text.begin() + header + 1, fresh.begin(), fresh.end());
    }
    *this = Catalogue(JoinLines(text));
}

std::string Catalogue::Text() const {
    std::vector<std::string> text;
    for (const plat::ProfileLine& l : lines_) text.push_back(l.text);
    return JoinLines(text);
}

}  // namespace nl
