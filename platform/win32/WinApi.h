// The system headers as the Win32 platform files include them: lean, without the
// min/max macros, ANSI calls. Internal to platform/win32.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <string>

namespace plat::win32 {

// Truncating narrowing of a system DWORD (unsigned long) result, spelled once.
inline std::uint32_t Dw(::DWORD v) { return static_cast<std::uint32_t>(v); }

// INVALID_HANDLE_VALUE, spelled without the system's macro: inside namespace plat
// the macro's HANDLE would name the platform's integer handle.
inline ::HANDLE InvalidHandle() { return reinterpret_cast<::HANDLE>(static_cast<::LONG_PTR>(-1)); }

}  // namespace plat::win32
