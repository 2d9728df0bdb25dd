// Test helpers for the registry: a private store folder, and running code in a
// child process that has no write access to it.
#pragma once

#include <functional>
#include <string>

#include "tests/common/TestUtil.h"

namespace testutil {

// Points NOVALINK_REGISTRY at a fresh folder (not yet created) while it lives.
class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    const std::string& Folder() const { return folder_; }
    // The store file of a root: "HKCU", "HKLM", "HKCR" or "HKU".
    std::string File(const std::string& root) const { return folder_ + "/" + root + ".txt"; }
    // "NOVALINK_REGISTRY=<folder>", for programs started by a test.
    std::string EnvEntry() const { return "NOVALINK_REGISTRY=" + folder_; }

private:
    TempDir dir_;
    std::string folder_;
    std::string old_;
    bool hadOld_ = false;
};

// Runs `body` in a forked child that cannot write to `folder`: as root the child
// drops to the user nobody; otherwise the folder is made read-only meanwhile.
// Returns what body returned ("" for success), or why the child failed.
std::string RunWithoutWriteAccess(const std::string& folder, const std::function<std::string()>& body);

}  // namespace testutil
