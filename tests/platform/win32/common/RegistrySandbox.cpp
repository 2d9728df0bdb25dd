// The registry sandbox on Windows: the real registry (Wine's, under Wine), with
// this process's roots redirected to scratch keys below the real ones.
#include "tests/common/RegistrySandbox.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <stdexcept>

namespace testutil {

namespace {

struct Root {
    const char* shortName;
    const char* longName;
    HKEY real;
    const char* parent;  // where the scratch key lies below the real root
};
const Root kRoots[] = {
    {"HKLM", "HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE, "Software\\"},
    {"HKCU", "HKEY_CURRENT_USER", HKEY_CURRENT_USER, "Software\\"},
    {"HKCR", "HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, ""},
};

const Root* FindRoot(const std::string& name) {
    for (const Root& r : kRoots)
        if (_stricmp(name.c_str(), r.shortName) == 0 || _stricmp(name.c_str(), r.longName) == 0) return &r;
    return nullptr;
}

bool redirecting = false;

}  // namespace

RegistrySandbox::RegistrySandbox() {
    // One sandbox at a time: the redirection is the whole process's.
    if (redirecting) throw std::logic_error("a registry sandbox is already in use");
    static unsigned made = 0;
    scratch_ = "NovalinkSandbox-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
    // Every scratch key is made below the real roots before any root is redirected.
    for (std::size_t i = 0; i < std::size(kRoots); ++i) {
        const std::string path = kRoots[i].parent + scratch_;
        RegDeleteTreeA(kRoots[i].real, path.c_str());  // left by an earlier run that ended early
        HKEY k = nullptr;
        if (RegCreateKeyExA(kRoots[i].real, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr) !=
            ERROR_SUCCESS)
            throw std::runtime_error("cannot create the registry sandbox's key " + path);
        keys_[i] = reinterpret_cast<std::uintptr_t>(k);
    }
    for (std::size_t i = 0; i < std::size(kRoots); ++i)
        if (RegOverridePredefKey(kRoots[i].real, reinterpret_cast<HKEY>(keys_[i])) != ERROR_SUCCESS)
            throw std::runtime_error(std::string("cannot redirect ") + kRoots[i].shortName);
    redirecting = true;
}

RegistrySandbox::~RegistrySandbox() {
    for (std::size_t i = 0; i < std::size(kRoots); ++i) {
        RegOverridePredefKey(kRoots[i].real, nullptr);
        RegCloseKey(reinterpret_cast<HKEY>(keys_[i]));
    }
    redirecting = false;
    for (const Root& r : kRoots) RegDeleteTreeA(r.real, (r.parent + scratch_).c_str());
}

std::string RegistrySandbox::Key(const std::string& key) const {
    const std::size_t slash = key.find('\\');
    const std::string root = key.substr(0, slash);
    const Root* r = FindRoot(root);
    if (!r) return key;
    return root + "\\" + r->parent + scratch_ + (slash == std::string::npos ? "" : key.substr(slash));
}

std::vector<std::string> RegistrySandbox::Environment() const { return {}; }

bool RegistrySandbox::Empty(const std::string& root) const {
    // Through the scratch key's own handle: the real root's name leads back into
    // the sandbox while it lives.
    const Root* r = FindRoot(root);
    if (!r) throw std::invalid_argument("no sandbox for the root " + root);
    DWORD subkeys = 0, values = 0;
    const LONG got = RegQueryInfoKeyA(reinterpret_cast<HKEY>(keys_[r - kRoots]), nullptr, nullptr, nullptr, &subkeys,
                                      nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    return got == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

}  // namespace testutil
