// Version resources through version.dll, full paths through kernel32.
#include "platform/VersionInfo.h"

#include "platform/win32/WinApi.h"

namespace plat {

static_assert(sizeof(::VS_FIXEDFILEINFO) == sizeof(VS_FIXEDFILEINFO));

DWORD GetFileVersionInfoSizeA(const char* fileName, DWORD* handle) {
    ::DWORD h = 0;
    DWORD n = win32::Dw(::GetFileVersionInfoSizeA(fileName, &h));
    if (handle) *handle = 0;
    return n;
}

BOOL GetFileVersionInfoA(const char* fileName, DWORD handle, DWORD len, void* data) {
    return ::GetFileVersionInfoA(fileName, handle, len, data);
}

BOOL VerQueryValueA(const void* block, const char* subBlock, void** buffer, UINT* len) {
    ::UINT n = 0;
    void* found = nullptr;
    BOOL ok = ::VerQueryValueA(block, subBlock, &found, &n);
    if (len) *len = ok ? n : 0;
    if (ok && buffer) *buffer = found;
    return ok;
}

DWORD VerLanguageNameA(DWORD lang, char* buffer, DWORD size) {
    DWORD n = win32::Dw(::VerLanguageNameA(lang, buffer, size));
    // The count is the text's length without its terminating null, as Windows
    // documents it. Wine counts the null too; a caller taking the count as the
    // length would carry that null in its text.
    if (n > 0 && buffer && size > 0) {
        DWORD text = 0;
        while (text < n && text < size && buffer[text] != '\0') ++text;
        n = text;
    }
    return n;
}

DWORD GetFullPathNameA(const char* fileName, DWORD size, char* buffer, char** filePart) {
    return win32::Dw(::GetFullPathNameA(fileName, size, buffer, filePart));
}

}  // namespace plat
