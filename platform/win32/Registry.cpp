// The registry through advapi32's wide calls: the real registry (or Wine's).
// Names and string data cross in UTF-8, their sizes counted in UTF-8 bytes, as
// the ANSI calls count theirs in the code page's.
#include "platform/Registry.h"

#include <cstring>
#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"

namespace plat {

namespace {

::HKEY K(HKEY k) { return reinterpret_cast<::HKEY>(k); }

// The system's DWORD is an unsigned long; the platform's a 32-bit integer. The
// in-out sizes go through one of these.
struct InOut {
    explicit InOut(DWORD* p) : outer(p), value(p ? *p : 0) {}
    ~InOut() {
        if (outer) *outer = static_cast<DWORD>(value);
    }
    ::DWORD* get() { return outer ? &value : nullptr; }
    DWORD* outer;
    ::DWORD value;
};

bool IsText(::DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// Copies data into a caller's buffer by the rules of RegQueryValueExA: with no
// buffer only the size; a buffer too small is left as it was.
LONG CopyData(const std::string& data, BYTE* lpData, DWORD* lpcbData) {
    if (!lpcbData) return lpData ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    const auto size = static_cast<DWORD>(data.size());
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    if (lpData && size) std::memcpy(lpData, data.data(), size);
    *lpcbData = size;
    return ERROR_SUCCESS;
}

// A string value's data as UTF-8, NULs and all. The value may change between
// the size and the read; the read is tried again then.
LONG ReadText(::HKEY key, const wchar_t* name, ::DWORD& type, std::string& text) {
    for (int attempt = 0; attempt < 8; ++attempt) {
        ::DWORD size = 0;
        LONG r = ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
        if (r != ERROR_SUCCESS) return r;
        if (!IsText(type)) return ERROR_SUCCESS;
        std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
        ::DWORD got = static_cast<::DWORD>(data.size() * sizeof(wchar_t));
        r = ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<::BYTE*>(data.data()), &got);
        if (r == ERROR_MORE_DATA) continue;
        if (r != ERROR_SUCCESS) return r;
        text = IsText(type) ? win32::Utf8(data.data(), got / sizeof(wchar_t)) : std::string();
        return ERROR_SUCCESS;
    }
    return ERROR_MORE_DATA;
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult) {
    ::HKEY out = nullptr;
    LONG r = ::RegOpenKeyExW(K(hKey), win32::OptionalWide(lpSubKey).get(), ulOptions, samDesired, &out);
    if (phkResult) *phkResult = r == PL_ERROR_SUCCESS ? reinterpret_cast<HKEY>(out) : 0;
    return r;
}

LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved, const char* lpClass, DWORD dwOptions,
                     REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, HKEY* phkResult,
                     DWORD* lpdwDisposition) {
    ::SECURITY_ATTRIBUTES sa{};
    if (lpSecurityAttributes) {
        sa.nLength = sizeof sa;
        sa.lpSecurityDescriptor = lpSecurityAttributes->lpSecurityDescriptor;
        sa.bInheritHandle = lpSecurityAttributes->bInheritHandle;
    }
    ::HKEY out = nullptr;
    InOut disposition(lpdwDisposition);
    win32::OptionalWide cls(lpClass);
    LONG r = ::RegCreateKeyExW(K(hKey), win32::OptionalWide(lpSubKey).get(), Reserved, const_cast<wchar_t*>(cls.get()),
                               dwOptions, samDesired,
                               lpSecurityAttributes ? &sa : nullptr, &out, disposition.get());
    if (phkResult) *phkResult = r == PL_ERROR_SUCCESS ? reinterpret_cast<HKEY>(out) : 0;
    return r;
}

LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData) {
    if (lpReserved) return ERROR_INVALID_PARAMETER;
    const win32::OptionalWide name(lpValueName);
    ::DWORD type = REG_NONE;
    std::string text;
    LONG r = ReadText(K(hKey), name.get(), type, text);
    if (r != ERROR_SUCCESS) return r;
    if (lpType) *lpType = static_cast<DWORD>(type);
    if (IsText(type)) return CopyData(text, lpData, lpcbData);
    InOut size(lpcbData);
    return ::RegQueryValueExW(K(hKey), name.get(), nullptr, nullptr, lpData, size.get());
}

LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    const win32::OptionalWide name(lpValueName);
    if (!IsText(dwType) || !lpData) return ::RegSetValueExW(K(hKey), name.get(), Reserved, dwType, lpData, cbData);
    // A text is stored with its terminating NUL, given or not, as the ANSI call
    // stores a string handed over with its length; no bytes stay no bytes.
    std::wstring text = win32::Wide(reinterpret_cast<const char*>(lpData), cbData);
    if (!text.empty() && text.back() != L'\0') text.push_back(L'\0');
    return ::RegSetValueExW(K(hKey), name.get(), Reserved, dwType, reinterpret_cast<const ::BYTE*>(text.data()),
                            static_cast<::DWORD>(text.size() * sizeof(wchar_t)));
}

LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
    return ::RegDeleteKeyW(K(hKey), win32::OptionalWide(lpSubKey).get());
}

LONG RegDeleteTreeA(HKEY hKey, const char* lpSubKey) {
    return ::RegDeleteTreeW(K(hKey), win32::OptionalWide(lpSubKey).get());
}

LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) {
    return ::RegDeleteValueW(K(hKey), win32::OptionalWide(lpValueName).get());
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    if (lpReserved || !lpcchValueName) return ERROR_INVALID_PARAMETER;
    std::vector<wchar_t> wide(16384, L'\0');  // the longest name a value may have, and its NUL
    ::DWORD length = static_cast<::DWORD>(wide.size());
    LONG r = ::RegEnumValueW(K(hKey), dwIndex, wide.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (r != ERROR_SUCCESS) return r;
    const std::string name = win32::Utf8(wide.data(), length);
    ::DWORD type = REG_NONE;
    std::string text;
    r = ReadText(K(hKey), wide.data(), type, text);
    if (r != ERROR_SUCCESS) return r;
    if (lpType) *lpType = static_cast<DWORD>(type);
    if (name.size() + 1 > *lpcchValueName) return ERROR_MORE_DATA;
    if (IsText(type)) {
        r = CopyData(text, lpData, lpcbData);
    } else {
        InOut size(lpcbData);
        r = ::RegQueryValueExW(K(hKey), wide.data(), nullptr, nullptr, lpData, size.get());
    }
    if (r == ERROR_SUCCESS) *lpcchValueName = static_cast<DWORD>(win32::CopyOut(name, lpValueName, *lpcchValueName));
    return r;
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved, char* lpClass,
                   DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
    if (lpReserved || !lpcchName) return ERROR_INVALID_PARAMETER;
    wchar_t name[256] = L"";  // the longest name a key may have, and its NUL
    std::vector<wchar_t> cls(lpClass && lpcchClass ? 32768 : 1, L'\0');
    ::DWORD nameLength = 256, classLength = static_cast<::DWORD>(cls.size());
    ::FILETIME written{};
    LONG r = ::RegEnumKeyExW(K(hKey), dwIndex, name, &nameLength, nullptr, lpClass ? cls.data() : nullptr,
                             lpClass ? &classLength : nullptr, &written);
    if (r != ERROR_SUCCESS) return r;
    const std::string utf8 = win32::Utf8(name, nameLength);
    if (utf8.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
    if (lpClass && lpcchClass) {
        const std::string text = win32::Utf8(cls.data(), classLength);
        if (text.size() + 1 > *lpcchClass) return ERROR_MORE_DATA;
        *lpcchClass = static_cast<DWORD>(win32::CopyOut(text, lpClass, *lpcchClass));
    }
    *lpcchName = static_cast<DWORD>(win32::CopyOut(utf8, lpName, *lpcchName));
    if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = written.dwLowDateTime;
        lpftLastWriteTime->dwHighDateTime = written.dwHighDateTime;
    }
    return r;
}

LONG RegCloseKey(HKEY hKey) { return ::RegCloseKey(K(hKey)); }

}  // namespace plat
