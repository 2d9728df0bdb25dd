// Test helpers for the registry: a private registry for each test and, on POSIX,
// running code in a child process that has no write access to the store.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/common/TestUtil.h"

namespace testutil {

// While it lives, this process's HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER and
// HKEY_CLASSES_ROOT start out empty, and nothing written to them reaches the
// registry outside the sandbox.
//   - POSIX: NOVALINK_REGISTRY points at a fresh folder (not yet created), which
//     holds the store files of every root.
//   - Windows: each of the three roots is redirected (RegOverridePredefKey) to a
//     scratch key of its own below the real root (HKLM\Software\<scratch>,
//     HKCU\Software\<scratch>, HKCR\<scratch>), removed with everything in it
//     afterwards. HKEY_USERS is not redirected there.
// Programs a test starts see the real roots (the override is this process's);
// they reach the sandbox's keys through Key() and Environment().
class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // The key a started program is given for `key` ("HKLM\Software\Brightloom",
    // "HKEY_CURRENT_USER", any case), so that it names what this process sees as
    // `key`: on POSIX `key` itself; on Windows the same path below the root's
    // scratch key, the root spelled as given. A key of another root is returned
    // unchanged.
    std::string Key(const std::string& key) const;
    // The environment entries ("NAME=value") for programs started by a test.
    std::vector<std::string> Environment() const;
    // Whether nothing has been stored below `root` ("HKLM", "HKCU" or "HKCR"):
    // on POSIX, the root has no store file; on Windows, its scratch key has
    // neither subkeys nor values.
    bool Empty(const std::string& root) const;

#ifndef _WIN32
    const std::string& Folder() const { return folder_; }
    // The store file of a root: "HKCU", "HKLM", "HKCR" or "HKU".
    std::string File(const std::string& root) const { return folder_ + "/" + root + ".txt"; }
    // "NOVALINK_REGISTRY=<folder>", for programs started by a test.
    std::string EnvEntry() const { return "NOVALINK_REGISTRY=" + folder_; }
#endif

private:
#ifdef _WIN32
    std::string scratch_;         // the scratch key's name, the same below every root
    std::uintptr_t keys_[3] = {};  // the scratch keys the roots are redirected to
#else
    TempDir dir_;
    std::string folder_;
    std::string old_;
    bool hadOld_ = false;
#endif
};

// Runs `body` in a forked child that cannot write to `folder`: as root the child
// drops to the user nobody; otherwise the folder is made read-only meanwhile.
// Returns what body returned ("" for success), or why the child failed. (POSIX)
std::string RunWithoutWriteAccess(const std::string& folder, const std::function<std::string()>& body);

}  // namespace testutil
