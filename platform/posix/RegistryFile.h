// The file that holds one root of the registry on Linux, and the rules for
// changing it.
//
// HKEY_LOCAL_MACHINE is the machine's, as on Windows: kMachineFolder (readable
// by all, written by root; a file or folder there that another user owns or may
// write is refused like a damaged file), unless $NOVALINK_REGISTRY moves every
// root into one folder (for tests). The other roots are the user's.
//
// Readers take no lock: a change never touches the file in place. A writer takes an
// exclusive flock on "<root>.lock" next to the file, reads the file again under the
// lock (so a change made meanwhile by another process is kept), writes the new text
// to a temporary file, syncs it, renames it over the old file and syncs the folder.
// A writer killed at any point leaves either the old or the new file behind.
//
// The store file must be a regular file (or a link to one). Anything else, such as
// a FIFO or a device, is opened without waiting and then refused like a damaged
// file, so that no call ever blocks on it.
//
// A file that does not parse is damaged: it is reported on stderr, every read fails
// with PL_ERROR_BADDB and every change is refused with PL_ERROR_BADDB, so it is never
// overwritten. A root whose file (or folder) cannot be written refuses changes with
// PL_ERROR_ACCESS_DENIED.
//
// Internal to platform/posix.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/Types.h"
#include "platform/posix/RegistryHive.h"

namespace plat::posix {

class RegistryFile {
public:
    static constexpr int kRoots = 4;  // PL_HKEY_CLASSES_ROOT .. PL_HKEY_USERS
    static constexpr int kMachineRoot = 2;  // PL_HKEY_LOCAL_MACHINE
    static constexpr const char* kMachineFolder = "/etc/novalink";

    explicit RegistryFile(int root);

    // "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS".
    static const char* RootName(int root);
    // The folder where the root's changes go: $NOVALINK_REGISTRY for every root;
    // else the machine's folder for HKEY_LOCAL_MACHINE, and the per-user
    // configuration folder for the others.
    static std::string Folder(int root);

    // The file read: the root's file in Folder(), except that without a machine
    // hive HKEY_LOCAL_MACHINE is read from the per-user folder where earlier
    // versions kept it, with a notice on stderr once.
    const std::string& Path() const { return readPath_; }

    // "" when the file can be read and parses, or is missing; otherwise the file's
    // name and what is wrong with it. Reports nothing itself.
    std::string Problem() const;

    // Why the machine's hive, with its folder, is not the machine's alone: ""
    // when both belong to root and no group or other user may write them.
    static std::string NotTheMachines(const struct stat& folder, const struct stat& file);

    // The current contents; a missing folder or file is an empty root.
    LONG Load(RegistryHive& hive) const;

    // The current contents, shared and read-only. While the file stays the same
    // (the same file, size, times and check line) the contents read before are
    // handed out again, so a sequence of reads costs one parse of the file.
    LONG Read(std::shared_ptr<const RegistryHive>& hive) const;

    // Whether a change could be written now (the file and its folder are writable,
    // or the folder can be created).
    bool CanWrite() const;

    // Runs `change` on the current contents under the lock. When it returns
    // PL_ERROR_SUCCESS and sets `modified`, the result is written before the lock is
    // released. Returns change's result, or the error that stopped the change.
    using Change = std::function<LONG(RegistryHive& hive, bool& modified)>;
    LONG Update(const Change& change);

private:
    // Opens the store file for reading without ever blocking. PL_ERROR_SUCCESS with
    // *fd = -1 when there is no file; a file that is not a regular one is reported
    // and refused with PL_ERROR_BADDB.
    // With `why`, a refused file is described there instead of being reported.
    LONG Open(int* fd, struct stat* st, std::string* why = nullptr) const;
    LONG WriteAtomically(const std::string& text) const;
    void RemoveStaleTemporaries() const;

    int root_;
    std::string folder_;    // where changes are written
    std::string path_;      // the file they are written to
    std::string readPath_;  // the file read
    bool machine_ = false;  // readPath_ is the machine's hive, which no user but root may have written
};

}  // namespace plat::posix
