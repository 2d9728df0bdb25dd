// Whether the registry behind a root answers at all.
#include "platform/Registry.h"

#include "platform/win32/WinApi.h"

namespace plat {

std::string RegistryStoreProblem(HKEY root, const char* subKey) {
    ::HKEY key = nullptr;
    const LONG r = ::RegOpenKeyExA(reinterpret_cast<::HKEY>(root), subKey, 0, KEY_QUERY_VALUE, &key);
    if (r == ERROR_SUCCESS) {
        ::RegCloseKey(key);
        return "";
    }
    if (r == ERROR_FILE_NOT_FOUND || r == ERROR_PATH_NOT_FOUND) return "";
    const char* name = root == PL_HKEY_LOCAL_MACHINE  ? "HKEY_LOCAL_MACHINE"
                       : root == PL_HKEY_CURRENT_USER ? "HKEY_CURRENT_USER"
                                                      : "the registry";
    return std::string("the key ") + name + "\\" + (subKey ? subKey : "") + " cannot be opened (error " +
           std::to_string(r) + ")";
}

}  // namespace plat
