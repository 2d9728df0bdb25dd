// Version resources through version.dll, full paths through kernel32, in their
// wide forms: names and texts cross in UTF-8.
//
// The block GetFileVersionInfoA fills is laid out as
//   [kHeader bytes: a mark and the block's length][the wide call's data][room for texts]
// and VerQueryValueA gives a string value in UTF-8 in the room for texts, at a
// place fixed by where the value lies in the wide data: a UTF-16 unit takes at
// most three UTF-8 bytes, so the room is one and a half times the wide data and
// no two values overlap there, however often they are asked for.
#include "platform/VersionInfo.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"

namespace plat {

static_assert(sizeof(::VS_FIXEDFILEINFO) == sizeof(VS_FIXEDFILEINFO));

namespace {

constexpr std::uint32_t kMark = 0x3856'4C4EU;  // "NLV8"
constexpr DWORD kHeader = 8;

DWORD WideSize(const char* fileName) {
    if (!fileName) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    ::DWORD h = 0;
    return win32::Dw(::GetFileVersionInfoSizeW(win32::Wide(std::string(fileName)).c_str(), &h));
}

}  // namespace

DWORD GetFileVersionInfoSizeA(const char* fileName, DWORD* handle) {
    const DWORD n = WideSize(fileName);
    if (handle) *handle = 0;
    // The wide data and half as much again for the texts, in fifths of the
    // block after the header: two for the data, three for the texts.
    return n == 0 ? 0 : kHeader + (n / 2 + n % 2) * 5;
}

BOOL GetFileVersionInfoA(const char* fileName, DWORD, DWORD len, void* data) {
    const DWORD n = WideSize(fileName);
    if (n == 0) return 0;
    if (!data || len <= kHeader) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    auto* bytes = static_cast<unsigned char*>(data);
    const std::uint32_t header[2] = {kMark, len};
    std::memcpy(bytes, header, sizeof header);
    // The wide data take two fifths of what is left, the texts the rest; a
    // short block holds a shortened resource, which is still safe to query.
    const DWORD wide = std::min<DWORD>(n, (len - kHeader) / 5 * 2);
    return ::GetFileVersionInfoW(win32::Wide(std::string(fileName)).c_str(), 0, wide, bytes + kHeader);
}

BOOL VerQueryValueA(const void* block, const char* subBlock, void** buffer, UINT* len) {
    if (len) *len = 0;
    if (!block || !subBlock) return 0;
    std::uint32_t header[2];
    std::memcpy(header, block, sizeof header);
    if (header[0] != kMark || header[1] <= kHeader) return 0;
    auto* base = static_cast<unsigned char*>(const_cast<void*>(block));
    const DWORD total = header[1], room = (total - kHeader) / 5 * 3;
    unsigned char* wideData = base + kHeader;
    unsigned char* texts = base + total - room;

    const std::wstring path = win32::Wide(std::string(subBlock));
    ::UINT n = 0;
    void* found = nullptr;
    if (!::VerQueryValueW(wideData, path.c_str(), &found, &n)) return 0;
    // Only string values are texts: the root's fixed part and the translations
    // are the resource's own bytes.
    std::wstring lower = path;
    for (wchar_t& c : lower) c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    const bool text = lower.find(L"stringfileinfo") != std::wstring::npos && n > 0 && found;
    if (!text) {
        if (len) *len = n;
        if (buffer) *buffer = found;
        return 1;
    }
    auto* value = static_cast<const wchar_t*>(found);
    const auto offset = static_cast<std::size_t>(static_cast<unsigned char*>(found) - wideData);
    const std::size_t place = offset / 2 * 3;
    std::size_t units = 0;
    while (units < n && value[units] != L'\0') ++units;
    const std::string utf8 = win32::Utf8(value, units);
    if (texts + place + utf8.size() + 1 > base + total) return 0;
    std::memcpy(texts + place, utf8.c_str(), utf8.size() + 1);
    if (len) *len = static_cast<UINT>(utf8.size() + 1);
    if (buffer) *buffer = texts + place;
    return 1;
}

DWORD VerLanguageNameA(DWORD lang, char* buffer, DWORD size) {
    wchar_t name[256] = L"";
    DWORD n = win32::Dw(::VerLanguageNameW(lang, name, 256));
    // The count is the text's length without its terminating null, as Windows
    // documents it. Wine counts the null too; a caller taking the count as the
    // length would carry that null in its text.
    std::size_t units = 0;
    while (units < n && units < 256 && name[units] != L'\0') ++units;
    if (!buffer || size == 0) return 0;
    std::string text = win32::Utf8(name, units);
    // Cut to the buffer, never inside a character.
    if (text.size() > size - 1) {
        std::size_t cut = size - 1;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        text.resize(cut);
    }
    return win32::CopyOut(text, buffer, size);
}

DWORD GetFullPathNameA(const char* fileName, DWORD size, char* buffer, char** filePart) {
    if (!fileName) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const std::wstring name = win32::Wide(std::string(fileName));
    std::vector<wchar_t> full(32768, L'\0');
    const ::DWORD n = ::GetFullPathNameW(name.c_str(), static_cast<::DWORD>(full.size()), full.data(), nullptr);
    if (n == 0 || n >= full.size()) return 0;
    const std::string path = win32::Utf8(full.data(), n);
    const DWORD r = win32::CopyOut(path, buffer, size);
    if (filePart && r == path.size()) {
        const std::size_t slash = path.find_last_of("\\/");
        *filePart = slash == std::string::npos ? buffer : slash + 1 < path.size() ? buffer + slash + 1 : nullptr;
    }
    return r;
}

}  // namespace plat
