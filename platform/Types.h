// Basic handle and message types shared by the platform layer and the product code.
// The shapes follow the Windows originals so that the Win32 build can pass them
// straight through.
//
// Every platform header compiles after <windows.h> with the same meaning: the
// constants carry a PL_ prefix (the system headers define the plain names as
// macros), functions whose plain names the system headers turn into macros are
// declared under their ANSI names (PostMessageA, CopyFileA, ...), and the types
// live in namespace plat, apart from the system's own.
#pragma once

#include <cstdint>

namespace plat {

using HWND = std::uintptr_t;  // 0 = no window; handles are never reused within a process
using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using HANDLE = std::uintptr_t;  // kernel objects (processes, listings, mutexes); 0 = none

// A window procedure of the product. It is an ordinary C++ function, not a system
// WNDPROC: the Win32 build registers one system procedure (with the system's
// calling convention) that forwards each message to the product procedure
// recorded for the window.
using WindowProc = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

// Standard message numbers.
constexpr UINT PL_WM_NULL = 0x0000;
constexpr UINT PL_WM_DESTROY = 0x0002;
constexpr UINT PL_WM_CLOSE = 0x0010;
constexpr UINT PL_WM_TIMER = 0x0113;
constexpr UINT PL_WM_USER = 0x0400;

constexpr std::uint16_t LoWord(std::uintptr_t v) { return static_cast<std::uint16_t>(v & 0xFFFF); }
constexpr std::uint16_t HiWord(std::uintptr_t v) { return static_cast<std::uint16_t>((v >> 16) & 0xFFFF); }
constexpr LPARAM MakeLong(std::uint16_t lo, std::uint16_t hi) {
    return static_cast<LPARAM>(static_cast<std::uint32_t>(lo) | (static_cast<std::uint32_t>(hi) << 16));
}

}  // namespace plat
