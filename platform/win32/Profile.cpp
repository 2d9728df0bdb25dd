// Profile files through kernel32's own profile calls, in their wide forms: the
// file's name crosses in UTF-8. What the file holds stays single-byte text in
// the ANSI code page, byte for byte as the ANSI calls read and write it, so the
// sections, keys and values cross in that code page.
#include "platform/Profile.h"

#include <algorithm>
#include <vector>

#include "platform/win32/WideText.h"
#include "platform/win32/WinApi.h"

namespace plat {

namespace {

std::wstring FromAnsi(const std::string& text) { return win32::Wide(text.data(), text.size(), CP_ACP); }

}  // namespace

DWORD GetPrivateProfileStringA(const std::string& section, const std::string& key, const std::string& defaultValue,
                               char* buffer, DWORD bufferSize, const std::string& fileName) {
    if (!buffer || bufferSize == 0) return 0;
    std::vector<wchar_t> wide(bufferSize + 1, L'\0');
    const ::DWORD n = ::GetPrivateProfileStringW(FromAnsi(section).c_str(), FromAnsi(key).c_str(),
                                                 FromAnsi(defaultValue).c_str(), wide.data(), bufferSize,
                                                 win32::Wide(fileName).c_str());
    const std::string text = win32::Utf8(wide.data(), std::min<std::size_t>(n, bufferSize), CP_ACP);
    const std::size_t copied = std::min<std::size_t>(text.size(), bufferSize - 1);
    text.copy(buffer, copied);
    buffer[copied] = '\0';
    return static_cast<DWORD>(copied);
}

bool WritePrivateProfileStringA(const std::string& section, const std::string& key, const std::string& value,
                                const std::string& fileName) {
    return ::WritePrivateProfileStringW(FromAnsi(section).c_str(), FromAnsi(key).c_str(), FromAnsi(value).c_str(),
                                        win32::Wide(fileName).c_str()) != 0;
}

}  // namespace plat
