// The file that holds one root of the registry on Linux, and the rules for
// changing it.
//
// Readers take no lock: a change never touches the file in place. A writer takes an
// exclusive flock on "<root>.lock" next to the file, reads the file again under the
// lock (so a change made meanwhile by another process is kept), writes the new text
// to a temporary file, syncs it, renames it over the old file and syncs the folder.
// A writer killed at any point leaves either the old or the new file behind.
//
// A file that does not parse is damaged: it is reported on stderr, every read fails
// with PL_ERROR_BADDB and every change is refused with PL_ERROR_BADDB, so it is never
// overwritten. A root whose file (or folder) cannot be written refuses changes with
// PL_ERROR_ACCESS_DENIED.
//
// Internal to platform/posix.
#pragma once

#include <functional>
#include <string>

#include "platform/Types.h"
#include "platform/posix/RegistryHive.h"

namespace plat::posix {

class RegistryFile {
public:
    static constexpr int kRoots = 4;  // PL_HKEY_CLASSES_ROOT .. PL_HKEY_USERS

    explicit RegistryFile(int root);

    // "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS".
    static const char* RootName(int root);
    // The store's folder: $NOVALINK_REGISTRY, else the per-user configuration folder.
    static std::string Folder();

    const std::string& Path() const { return path_; }

    // The current contents; a missing folder or file is an empty root.
    LONG Load(RegistryHive& hive) const;

    // Whether a change could be written now (the file and its folder are writable,
    // or the folder can be created).
    bool CanWrite() const;

    // Runs `change` on the current contents under the lock. When it returns
    // PL_ERROR_SUCCESS and sets `modified`, the result is written before the lock is
    // released. Returns change's result, or the error that stopped the change.
    using Change = std::function<LONG(RegistryHive& hive, bool& modified)>;
    LONG Update(const Change& change);

private:
    LONG WriteAtomically(const std::string& text) const;
    void RemoveStaleTemporaries() const;

    int root_;
    std::string folder_;
    std::string path_;
};

}  // namespace plat::posix
