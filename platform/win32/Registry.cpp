// The registry through advapi32's ANSI calls: the real registry (or Wine's).
#include "platform/Registry.h"

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

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult) {
    ::HKEY out = nullptr;
    LONG r = ::RegOpenKeyExA(K(hKey), lpSubKey, ulOptions, samDesired, &out);
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
    LONG r = ::RegCreateKeyExA(K(hKey), lpSubKey, Reserved, const_cast<char*>(lpClass), dwOptions, samDesired,
                               lpSecurityAttributes ? &sa : nullptr, &out, disposition.get());
    if (phkResult) *phkResult = r == PL_ERROR_SUCCESS ? reinterpret_cast<HKEY>(out) : 0;
    return r;
}

LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                      DWORD* lpcbData) {
    InOut type(lpType), size(lpcbData);
    return ::RegQueryValueExA(K(hKey), lpValueName, reinterpret_cast<::DWORD*>(lpReserved), type.get(), lpData,
                              size.get());
}

LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData) {
    return ::RegSetValueExA(K(hKey), lpValueName, Reserved, dwType, lpData, cbData);
}

LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) { return ::RegDeleteKeyA(K(hKey), lpSubKey); }

LONG RegDeleteTreeA(HKEY hKey, const char* lpSubKey) { return ::RegDeleteTreeA(K(hKey), lpSubKey); }

LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) { return ::RegDeleteValueA(K(hKey), lpValueName); }

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                   DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    InOut name(lpcchValueName), type(lpType), size(lpcbData);
    return ::RegEnumValueA(K(hKey), dwIndex, lpValueName, name.get(), reinterpret_cast<::DWORD*>(lpReserved),
                           type.get(), lpData, size.get());
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved, char* lpClass,
                   DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
    InOut name(lpcchName), cls(lpcchClass);
    ::FILETIME written{};
    LONG r = ::RegEnumKeyExA(K(hKey), dwIndex, lpName, name.get(), reinterpret_cast<::DWORD*>(lpReserved), lpClass,
                             cls.get(), &written);
    if (lpftLastWriteTime && r == PL_ERROR_SUCCESS) {
        lpftLastWriteTime->dwLowDateTime = written.dwLowDateTime;
        lpftLastWriteTime->dwHighDateTime = written.dwHighDateTime;
    }
    return r;
}

LONG RegCloseKey(HKEY hKey) { return ::RegCloseKey(K(hKey)); }

}  // namespace plat
