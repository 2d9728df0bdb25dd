// UTF-8 (the product's texts) to and from UTF-16 (the system's wide calls).
// Internal to platform/win32.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win32/WinApi.h"

namespace plat::win32 {

inline std::wstring Wide(const char* text, std::size_t size, ::UINT codePage = CP_UTF8) {
    if (size == 0) return {};
    int n = ::MultiByteToWideChar(codePage, 0, text, static_cast<int>(size), nullptr, 0);
    std::wstring r(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(codePage, 0, text, static_cast<int>(size), r.data(), n);
    return r;
}

inline std::wstring Wide(const std::string& text) { return Wide(text.data(), text.size()); }

inline std::string Utf8(const wchar_t* text, std::size_t size, ::UINT codePage = CP_UTF8) {
    if (size == 0) return {};
    int n = ::WideCharToMultiByte(codePage, 0, text, static_cast<int>(size), nullptr, 0, nullptr, nullptr);
    std::string r(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) ::WideCharToMultiByte(codePage, 0, text, static_cast<int>(size), r.data(), n, nullptr, nullptr);
    return r;
}

inline std::string Utf8(const std::wstring& text) { return Utf8(text.data(), text.size()); }

// A name the calls take as optional: NULL stays NULL.
class OptionalWide {
public:
    explicit OptionalWide(const char* text) : present_(text != nullptr) {
        if (text) text_ = Wide(std::string(text));
    }
    const wchar_t* get() const { return present_ ? text_.c_str() : nullptr; }

private:
    std::wstring text_;
    bool present_;
};

// Copies UTF-8 text and its NUL into a caller's buffer of `size` bytes, as the
// ANSI calls copy theirs: the length without the NUL when it fits, else the
// size needed with the NUL and nothing copied.
inline std::uint32_t CopyOut(const std::string& text, char* buffer, std::uint32_t size) {
    if (!buffer || text.size() + 1 > size) return static_cast<std::uint32_t>(text.size() + 1);
    text.copy(buffer, text.size());
    buffer[text.size()] = '\0';
    return static_cast<std::uint32_t>(text.size());
}

// The console this process writes to, if any, shows what it is given as UTF-8
// until the process ends (platform/win32/Console.cpp).
void UseUtf8Console();

// A window's text, as UTF-8.
inline std::string WindowTextUtf8(::HWND window) {
    int n = ::GetWindowTextLengthW(window);
    if (n <= 0) return {};
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    int got = ::GetWindowTextW(window, text.data(), n + 1);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return Utf8(text);
}

}  // namespace plat::win32
