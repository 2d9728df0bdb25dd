// The product's key in the registry, "Software\Brightloom", and the values the
// updater reads and writes there. Each value comes as a cRegistry set up for it
// (root, key, name, kind), ready for Value, SetValue or DeleteValue.
#pragma once

#include <cstdint>

#include "support/cRegistry.h"

namespace nl {

class ProductKey {
public:
    static constexpr const char* kSection = "Software\\Brightloom";

    // HKEY_LOCAL_MACHINE "Path" (REG_SZ): the installed program file.
    static cRegistry ProgramPath();
    // HKEY_CURRENT_USER "Update" (REG_DWORD): 1 while a package is staged for "/U".
    static cRegistry UpdateFlag();
    // HKEY_LOCAL_MACHINE "UpdateServer" (REG_SZ): the update server's address.
    static cRegistry UpdateServer();
    // Any other text value (REG_SZ) of the key below `root`.
    static cRegistry Text(std::int32_t root, const char* name);
};

}  // namespace nl
