// File version resources, language names and full-path resolution, in the shapes
// of the Windows calls (Version.dll's GetFileVersionInfoSizeA, GetFileVersionInfoA,
// VerQueryValueA and VerLanguageNameA, kernel32's GetFullPathNameA), so that the
// Win32 build can pass them straight through.
//
// Texts are single-byte strings in UTF-8, the platform's code page (on Windows
// converted from the wide calls' UTF-16).
// Failing version calls set the last error (platform/Errors.h): the file's own
// error when it cannot be opened, 1812 (ERROR_RESOURCE_DATA_NOT_FOUND) when it has
// no version information, 1813 (ERROR_RESOURCE_TYPE_NOT_FOUND) for a failed query.
#pragma once

#include "platform/Types.h"

namespace plat {

using BOOL = int;  // 0 = failure, as on Windows

// The fixed part of a version resource, 52 bytes, as it lies in the data.
struct VS_FIXEDFILEINFO {
    DWORD dwSignature;  // 0xFEEF04BD
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

// MAX_PATH: the usual size of a path buffer for the ANSI calls.
constexpr DWORD kMaxPath = 260;

// Size in bytes of the buffer GetFileVersionInfoA needs for the file's version
// information; 0 when the file has none (missing, unreadable, no resource, or
// damaged). *handle, when given, is set to 0.
DWORD GetFileVersionInfoSizeA(const char* fileName, DWORD* handle);

// Reads the file's version information into data (len bytes, normally the size
// from GetFileVersionInfoSizeA). A smaller buffer receives a shortened block that
// is still safe to query. 0 when the file has none.
BOOL GetFileVersionInfoA(const char* fileName, DWORD handle, DWORD len, void* data);

// Looks up a value in a buffer filled by GetFileVersionInfoA:
//   "\"                              the VS_FIXEDFILEINFO; *len = 52
//   "\VarFileInfo\Translation"       the array of language/code-page pairs; *len in bytes
//   "\StringFileInfo\llllcccc\Key"   the value as a NUL-terminated ANSI string;
//                                    *len in characters including the NUL (0 for an empty value)
// Names are compared without regard to case; empty path parts are skipped. An
// intermediate block succeeds with *len = 0. Text values are converted into the
// spare part of the buffer, which is why the buffer is written to. On failure
// *buffer is left alone, *len is 0 and the result is 0.
BOOL VerQueryValueA(const void* block, const char* subBlock, void** buffer, UINT* len);

// Writes the name of a language identifier ("English (United States)"), cut to
// size-1 characters and NUL-terminated; unknown identifiers give "Language
// Neutral". Returns the number of characters written without the NUL.
DWORD VerLanguageNameA(DWORD lang, char* buffer, DWORD size);

// Resolves fileName against the current folder into buffer (size characters).
// Returns the length without the NUL; when the buffer is too small, the size
// needed including the NUL and nothing is written; 0 on failure (empty name).
// filePart, when given, receives the address of the last component in buffer.
DWORD GetFullPathNameA(const char* fileName, DWORD size, char* buffer, char** filePart);

}  // namespace plat
