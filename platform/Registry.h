// Registry access in the shape of the advapi32 ANSI calls.
//
// Keys are addressed by handles: the predefined roots below, or handles returned
// by RegOpenKeyExA / RegCreateKeyExA, which the caller closes with RegCloseKey.
// Names of keys and values are compared without regard to case and keep the case
// they were created with. Paths use "\" between components. Value data are kept
// byte for byte together with their kind. Results are Windows error codes.
//
// Names and string data are UTF-8, their sizes counted in UTF-8 bytes. On Windows
// these calls go to RegOpenKeyExW and friends, converting at the call. On Linux the
// registry is a store of text files, one per root: HKEY_LOCAL_MACHINE in
// /etc/novalink, the others in $XDG_CONFIG_HOME/novalink/registry (or
// ~/.config/novalink/registry); $NOVALINK_REGISTRY holds all of them instead. Every
// change there is atomic, durable and serialised across processes.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Errors.h"
#include "platform/Types.h"

namespace plat {

// Where the registry is, in words for a program's user.
#ifdef _WIN32
constexpr char PL_REGISTRY_PLACE[] = "The registry is the system's own, Windows' registry.";
#else
constexpr char PL_REGISTRY_PLACE[] =
    "HKEY_LOCAL_MACHINE lives in /etc/novalink (all read it, root writes it), the\n"
    "other roots in ~/.config/novalink/registry; $NOVALINK_REGISTRY holds them all.";
#endif

using HKEY = std::uintptr_t;  // 0 is no key
using REGSAM = DWORD;
using BYTE = std::uint8_t;

// The predefined roots, as Windows defines them (sign-extended 32-bit values).
constexpr HKEY RootKeyFromLong(LONG value) { return static_cast<HKEY>(static_cast<std::intptr_t>(value)); }
constexpr HKEY PL_HKEY_CLASSES_ROOT = RootKeyFromLong(static_cast<LONG>(0x80000000u));
constexpr HKEY PL_HKEY_CURRENT_USER = RootKeyFromLong(static_cast<LONG>(0x80000001u));
constexpr HKEY PL_HKEY_LOCAL_MACHINE = RootKeyFromLong(static_cast<LONG>(0x80000002u));
constexpr HKEY PL_HKEY_USERS = RootKeyFromLong(static_cast<LONG>(0x80000003u));

// Value kinds.
constexpr DWORD PL_REG_NONE = 0;
constexpr DWORD PL_REG_SZ = 1;
constexpr DWORD PL_REG_EXPAND_SZ = 2;
constexpr DWORD PL_REG_BINARY = 3;
constexpr DWORD PL_REG_DWORD = 4;
constexpr DWORD PL_REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD PL_REG_LINK = 6;
constexpr DWORD PL_REG_MULTI_SZ = 7;
constexpr DWORD PL_REG_RESOURCE_LIST = 8;
constexpr DWORD PL_REG_FULL_RESOURCE_DESCRIPTOR = 9;
constexpr DWORD PL_REG_RESOURCE_REQUIREMENTS_LIST = 10;
constexpr DWORD PL_REG_QWORD = 11;

// Access rights.
constexpr REGSAM PL_KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM PL_KEY_SET_VALUE = 0x0002;
constexpr REGSAM PL_KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM PL_KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM PL_KEY_NOTIFY = 0x0010;
constexpr REGSAM PL_KEY_CREATE_LINK = 0x0020;
constexpr REGSAM PL_KEY_DELETE = 0x00010000;  // DELETE
constexpr REGSAM PL_KEY_READ = 0x00020019;
constexpr REGSAM PL_KEY_WRITE = 0x00020006;
constexpr REGSAM PL_KEY_ALL_ACCESS = 0x000F003F;

// Options and dispositions of RegCreateKeyExA.
constexpr DWORD PL_REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD PL_REG_CREATED_NEW_KEY = 1;
constexpr DWORD PL_REG_OPENED_EXISTING_KEY = 2;

// Results: the codes of platform/Errors.h (PL_ERROR_FILE_NOT_FOUND, PL_ERROR_ACCESS_DENIED,
// PL_ERROR_INVALID_HANDLE, PL_ERROR_INVALID_PARAMETER, PL_ERROR_MORE_DATA, ...) and these.
constexpr LONG PL_ERROR_SUCCESS = 0;
constexpr LONG PL_ERROR_OUTOFMEMORY = 14;
constexpr LONG PL_ERROR_BAD_PATHNAME = 161;
constexpr LONG PL_ERROR_NO_MORE_ITEMS = 259;
constexpr LONG PL_ERROR_NOACCESS = 998;
constexpr LONG PL_ERROR_BADDB = 1009;         // the store is damaged
constexpr LONG PL_ERROR_CANTWRITE = 1013;     // the store could not be written
constexpr LONG PL_ERROR_KEY_DELETED = 1018;   // the handle's key has been deleted

struct SECURITY_ATTRIBUTES {
    DWORD nLength = 0;
    void* lpSecurityDescriptor = nullptr;
    int bInheritHandle = 0;
};

struct FILETIME {
    DWORD dwLowDateTime = 0;
    DWORD dwHighDateTime = 0;
};

// Opens an existing key. lpSubKey NULL or "" opens a new handle to hKey itself.
// PL_ERROR_FILE_NOT_FOUND when the key is missing; PL_ERROR_ACCESS_DENIED when write
// rights are asked for a key that cannot be written.
LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired, HKEY* phkResult);

// Opens a key, creating it and every missing parent first. lpdwDisposition (may be
// NULL) receives PL_REG_CREATED_NEW_KEY or PL_REG_OPENED_EXISTING_KEY. A path that begins
// with "\" gives PL_ERROR_BAD_PATHNAME. Only PL_REG_OPTION_NON_VOLATILE keys are kept.
LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved, const char* lpClass, DWORD dwOptions,
                    REGSAM samDesired, const SECURITY_ATTRIBUTES* lpSecurityAttributes, HKEY* phkResult,
                    DWORD* lpdwDisposition);

// Reads a value (lpValueName NULL or "" is the key's default value). With lpData
// NULL only the kind and size are returned. A buffer that is too small gives
// PL_ERROR_MORE_DATA with the size needed in *lpcbData; the buffer is left as it was.
LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                     DWORD* lpcbData);

// Stores cbData bytes of kind dwType, replacing an existing value of that name.
LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                   DWORD cbData);

// Deletes a key without subkeys (PL_ERROR_ACCESS_DENIED when it has some), with its values.
LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey);

// Deletes a key with all its subkeys and values; lpSubKey NULL empties hKey itself.
LONG RegDeleteTreeA(HKEY hKey, const char* lpSubKey);

LONG RegDeleteValueA(HKEY hKey, const char* lpValueName);

// The value at dwIndex. *lpcchValueName is the name buffer's capacity in characters
// including the terminating NUL; on success it receives the name's length without
// it. PL_ERROR_MORE_DATA when the name or the data do not fit, PL_ERROR_NO_MORE_ITEMS past
// the end. Values come in the order they were first created.
LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                  DWORD* lpType, BYTE* lpData, DWORD* lpcbData);

// The subkey at dwIndex, in the same way. Subkeys come in alphabetical order,
// without regard to case.
LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved, char* lpClass,
                  DWORD* lpcchClass, FILETIME* lpftLastWriteTime);

// Closing a predefined root is allowed and does nothing.
LONG RegCloseKey(HKEY hKey);

// Whether the store behind a root can be read at all: "" when it can, or when it
// (or the key `subKey` in it) is simply missing, which reads as empty; otherwise
// one phrase naming the store (on Linux its file) and what is wrong with it. A
// damaged store is not a missing one.
std::string RegistryStoreProblem(HKEY root, const char* subKey);

}  // namespace plat
