#include "support/CFileVersionInfo.h"

#include <cstring>
#include <vector>

#include "platform/VersionInfo.h"

namespace nl {
namespace {

const char* const kPredefinedNames[] = {
    "Language",        "Comments",       "Company Name",     "File Description", "File Version",
    "Internal Name",   "Legal Copyright", "Legal Trademarks", "Original Filename", "Product Name",
    "Product Version", "Private Build",  "Special Build",    "LegalTrademarks1", "LegalTrademarks2",
};

// Keys of the string values, in the order they are read after CompanyName.
struct StringKey {
    int index;
    const char* key;
};

std::string Decimal(std::uint32_t v, std::size_t minDigits) {
    std::string s = std::to_string(v);
    if (s.size() < minDigits) s.insert(0, minDigits - s.size(), '0');
    return s;
}

}  // namespace

std::string CFileVersionInfo::WrittenVersion(std::uint32_t ms, std::uint32_t ls) {
    std::uint32_t a = ms >> 16, b = ms & 0xFFFF, c = ls >> 16, d = ls & 0xFFFF;
    std::string s = std::to_string(a) + "." + Decimal(b, 2) + ".";
    if (c == 0) return s + Decimal(d, 4);
    return s + Decimal(c, 2) + Decimal(d, 2);
}

namespace {

std::string FlagNames(std::uint32_t flags) {
    static const char* const kFlags[] = {"Debug ", "PreRel ", "Patched ", "Private ", "Info ", "Special "};
    std::string s;
    for (int i = 0; i < 6; ++i)
        if (flags & (1u << i)) s += kFlags[i];
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

std::string OsName(std::uint32_t os) {
    switch (os) {
    case 0x00010001: return "DOS-Win16";
    case 0x00010004: return "DOS-Win32";
    case 0x00020002: return "OS/2-16 PM-16";
    case 0x00030003: return "OS/2-16 PM-32";
    case 0x00040004: return "NT-Win32";
    default: return "Unknown";
    }
}

}  // namespace

void CFileVersionInfo::SetFullPathName(const std::string& NewVal) {
    char buffer[plat::kMaxPath];
    plat::DWORD n = plat::GetFullPathNameA(NewVal.c_str(), sizeof buffer, buffer, nullptr);
    if (n == 0) return;  // not resolvable: nothing changes
    if (n >= sizeof buffer) {
        // The full path does not fit the platform's path length. The old name stays
        // as it was rather than becoming a buffer of blanks, and the file counts
        // as one without version information.
        available_ = false;
        return;
    }
    fullPathName_.assign(buffer, n);
    Refresh();
}

void CFileVersionInfo::Refresh() {
    plat::DWORD handle = 0;
    plat::DWORD size = plat::GetFileVersionInfoSizeA(fullPathName_.c_str(), &handle);
    if (size == 0) {
        available_ = false;
        return;
    }
    available_ = true;
    std::vector<unsigned char> data(static_cast<std::size_t>(size) + 1, 0);
    plat::GetFileVersionInfoA(fullPathName_.c_str(), handle, size, data.data());
    data_ = data.data();
    dataSize_ = data.size();
    struct Reset {
        CFileVersionInfo* self;
        ~Reset() {
            self->data_ = nullptr;
            self->dataSize_ = 0;
        }
    } reset{this};

    // Without its fixed part the resource has nothing to describe the file by.
    void* p = nullptr;
    plat::UINT len = 0;
    if (!plat::VerQueryValueA(data.data(), "\\", &p, &len) || len < sizeof(plat::VS_FIXEDFILEINFO)) {
        available_ = false;
        return;
    }
    plat::VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, p, sizeof fixed);

    verStructure_ = std::to_string(fixed.dwStrucVersion >> 16) + "." + std::to_string(fixed.dwStrucVersion & 0xFFFF);
    verFile_ = WrittenVersion(fixed.dwFileVersionMS, fixed.dwFileVersionLS);
    verProduct_ = WrittenVersion(fixed.dwProductVersionMS, fixed.dwProductVersionLS);
    fileFlags_ = FlagNames(fixed.dwFileFlags);
    fileOS_ = OsName(fixed.dwFileOS);

    static const char* const kDriverSubtypes[] = {"Unknown",   "Printer drv", "Keyboard drv", "Language drv",
                                                  "Display drv", "Mouse drv", "Network drv",  "System drv",
                                                  "Installable", "Sound drv", "Comm drv"};
    static const char* const kFontSubtypes[] = {nullptr, "Raster Font", "Vector Font", "TrueType Font"};
    switch (fixed.dwFileType) {
    case 1: fileType_ = "Application"; break;
    case 2: fileType_ = "DLL"; break;
    case 3:
        fileType_ = "Driver";
        if (fixed.dwFileSubtype <= 10) fileSubType_ = kDriverSubtypes[fixed.dwFileSubtype];
        break;
    case 4:
        fileType_ = "Font";
        if (fixed.dwFileSubtype >= 1 && fixed.dwFileSubtype <= 3) fileSubType_ = kFontSubtypes[fixed.dwFileSubtype];
        break;
    case 5: fileType_ = "VxD"; break;
    case 7: fileType_ = "Lib"; break;
    default: fileType_ = "Unknown"; break;
    }

    // A table shorter than one entry counts as none.
    p = nullptr;
    len = 0;
    if (!plat::VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &p, &len) || len < 4) return;
    unsigned char entry[4];
    std::memcpy(entry, p, sizeof entry);
    std::int32_t lang = entry[0] | (entry[1] << 8);
    std::int32_t codePage = entry[2] | (entry[3] << 8);

    char name[256];
    plat::DWORD n = plat::VerLanguageNameA(static_cast<plat::DWORD>(lang), name, sizeof name);
    language_ = n > 0 ? std::string(name, n) : std::string();

    std::string prefix = "\\StringFileInfo\\" + FmtHex(lang, 4) + FmtHex(codePage, 4) + "\\";
    strings_[kCompanyName] = GetStdValue(data.data(), prefix + "CompanyName");
    if (strings_[kCompanyName].empty()) {
        std::string fallback = "\\StringFileInfo\\" + FmtHex(1033, 4) + FmtHex(codePage, 4) + "\\";
        strings_[kCompanyName] = GetStdValue(data.data(), fallback + "CompanyName");
        if (!strings_[kCompanyName].empty()) prefix = fallback;
    }
    static const StringKey kKeys[] = {
        {kComments, "Comments"},
        {kFileDescription, "FileDescription"},
        {kFileVersion, "FileVersion"},
        {kInternalName, "InternalName"},
        {kLegalCopyright, "LegalCopyright"},
        {kLegalTrademarks, "LegalTrademarks"},
        {kOriginalFilename, "OriginalFilename"},
        {kProductName, "ProductName"},
        {kProductVersion, "ProductVersion"},
        {kPrivateBuild, "PrivateBuild"},
        {kSpecialBuild, "SpecialBuild"},
        {kLegalTrademarks1, "LegalTrademarks1"},
        {kLegalTrademarks2, "LegalTrademarks2"},
    };
    for (const StringKey& k : kKeys) strings_[k.index] = GetStdValue(data.data(), prefix + k.key);
}

std::string CFileVersionInfo::GetStdValue(const void* lpBlock, const std::string& Value) const {
    void* p = nullptr;
    plat::UINT len = 0;
    if (!plat::VerQueryValueA(lpBlock, Value.c_str(), &p, &len) || len == 0 || !p) return std::string();
    const char* text = static_cast<const char*>(p);
    // Inside the data Refresh has loaded, the scan for the NUL stops at its end.
    auto* base = static_cast<const char*>(static_cast<const void*>(data_));
    if (data_ && lpBlock == data_ && text >= base && text < base + dataSize_) {
        const void* nul = std::memchr(text, 0, static_cast<std::size_t>(base + dataSize_ - text));
        return std::string(text, nul ? static_cast<const char*>(nul) : base + dataSize_);
    }
    return std::string(text);
}

std::string CFileVersionInfo::FmtHex(std::int32_t InVal, std::int16_t OutLen) const {
    if (OutLen <= 0) return std::string();
    static const char kDigits[] = "0123456789ABCDEF";
    std::uint32_t v = static_cast<std::uint32_t>(InVal);
    std::string hex;
    do {
        hex.insert(hex.begin(), kDigits[v & 0xF]);
        v >>= 4;
    } while (v);
    std::string s = std::string(static_cast<std::size_t>(OutLen), '0') + hex;
    return s.substr(s.size() - static_cast<std::size_t>(OutLen));
}

std::string CFileVersionInfo::PredefinedName(std::int32_t Which) const {
    if (Which < 0 || Which > 14) return std::string();
    return kPredefinedNames[Which];
}

std::string CFileVersionInfo::PredefinedValue(std::int32_t Which) const {
    if (Which < 0 || Which > 14) return std::string();
    if (Which == 0) return language_;
    // Values 1 to 14 follow the order of the string table.
    return strings_[Which - 1];
}

}  // namespace nl
