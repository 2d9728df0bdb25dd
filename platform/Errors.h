// The calling thread's last system error, with the Windows error numbers, for the
// file, profile and process services. A failing call sets it; callers read it
// right after the call, as with GetLastError. The numbers are LONG, as the
// Windows headers define them, so they compare cleanly with both GetLastError
// and the LONG results of the registry calls.
#pragma once

#include "platform/Types.h"

namespace plat {

constexpr LONG PL_NO_ERROR = 0;
constexpr LONG PL_ERROR_FILE_NOT_FOUND = 2;
constexpr LONG PL_ERROR_PATH_NOT_FOUND = 3;
constexpr LONG PL_ERROR_ACCESS_DENIED = 5;
constexpr LONG PL_ERROR_INVALID_HANDLE = 6;
constexpr LONG PL_ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG PL_ERROR_INVALID_DATA = 13;
constexpr LONG PL_ERROR_NO_MORE_FILES = 18;
constexpr LONG PL_ERROR_WRITE_FAULT = 29;
constexpr LONG PL_ERROR_READ_FAULT = 30;
constexpr LONG PL_ERROR_SHARING_VIOLATION = 32;
constexpr LONG PL_ERROR_FILE_EXISTS = 80;
constexpr LONG PL_ERROR_INVALID_PARAMETER = 87;
constexpr LONG PL_ERROR_DISK_FULL = 112;
constexpr LONG PL_ERROR_INSUFFICIENT_BUFFER = 122;
constexpr LONG PL_ERROR_INVALID_NAME = 123;
constexpr LONG PL_ERROR_DIR_NOT_EMPTY = 145;
constexpr LONG PL_ERROR_ALREADY_EXISTS = 183;
constexpr LONG PL_ERROR_FILENAME_EXCED_RANGE = 206;
constexpr LONG PL_ERROR_MORE_DATA = 234;
constexpr LONG PL_ERROR_DIRECTORY = 267;

DWORD GetLastError();
void SetLastError(DWORD code);

}  // namespace plat
