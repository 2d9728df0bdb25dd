// What the registry tests share: a value stored past the class under test, and
// a cRegistry aimed at one value.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "platform/Registry.h"
#include "support/cRegistry.h"

namespace testutil {

// Stores a value of any kind. The key is made one name at a time, each below
// its parent's handle: a path handed whole to Windows' ANSI calls has to stay
// within MAX_PATH, the names in it within 255 characters.
inline void RawSet(std::int32_t root, const std::string& path, const std::string& name, plat::DWORD type,
                   const std::string& data) {
    const plat::HKEY top = plat::RootKeyFromLong(root);
    plat::HKEY k = top;
    for (std::size_t at = 0; at <= path.size();) {
        std::size_t end = std::min(path.find('\\', at), path.size());
        plat::HKEY sub = 0;
        const plat::LONG made = plat::RegCreateKeyExA(k, path.substr(at, end - at).c_str(), 0, nullptr, 0,
                                                     plat::PL_KEY_ALL_ACCESS, nullptr, &sub, nullptr);
        if (k != top) plat::RegCloseKey(k);
        ASSERT_EQ(made, 0) << path;
        k = sub;
        at = end + 1;
    }
    ASSERT_EQ(plat::RegSetValueExA(k, name.c_str(), 0, type, reinterpret_cast<const plat::BYTE*>(data.data()),
                                  static_cast<plat::DWORD>(data.size())),
              0);
    plat::RegCloseKey(k);
}

// A cRegistry set to one value of one kind.
inline nl::cRegistry At(std::int32_t root, const std::string& section, const std::string& name, std::int32_t type) {
    nl::cRegistry r;
    r.SetClassKey(root);
    r.SetSectionKey(section);
    r.SetValueKey(name);
    r.SetValueType(type);
    return r;
}

}  // namespace testutil
