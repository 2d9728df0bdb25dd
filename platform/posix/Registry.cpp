// The registry calls on Linux, over the store files of RegistryFile.
//
// A handle remembers its root, the path of its key and the rights it was opened
// with. Every call looks at the store afresh, so changes made by other processes
// are seen at once; a handle whose key has been deleted meanwhile answers
// PL_ERROR_KEY_DELETED. Reads share the contents parsed last while the file is
// unchanged, and a handle remembers where its key lies in them, so walking a
// whole tree key by key costs time in proportion to the store's size.
#include "platform/Registry.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/RegistryFile.h"
#include "platform/posix/RegistryHive.h"

namespace plat {
namespace {

using posix::RegistryFile;
using posix::RegistryHive;

constexpr REGSAM kWriteRights = PL_KEY_SET_VALUE | PL_KEY_CREATE_SUB_KEY | PL_KEY_CREATE_LINK | PL_KEY_DELETE |
                                0x00040000 /* WRITE_DAC */ | 0x00080000 /* WRITE_OWNER */;

struct Handle {
    int root = -1;
    std::vector<std::string> path;
    REGSAM access = 0;
    // Where the key was found last, and in which contents.
    std::weak_ptr<const RegistryHive> seenIn;
    const RegistryHive::Key* seen = nullptr;
};

std::mutex g_mutex;
std::map<HKEY, Handle> g_handles;
HKEY g_nextHandle = 0x1000;  // never reused within a process

int PredefinedRoot(HKEY h) {
    for (int i = 0; i < RegistryFile::kRoots; ++i) {
        auto low = static_cast<std::uint32_t>(0x80000000u + static_cast<std::uint32_t>(i));
        if (h == RootKeyFromLong(static_cast<LONG>(low)) || h == static_cast<HKEY>(low)) return i;
    }
    return -1;
}

LONG Resolve(HKEY h, Handle* out) {
    int root = PredefinedRoot(h);
    if (root >= 0) {
        *out = Handle{root, {}, PL_KEY_ALL_ACCESS, {}, nullptr};
        return PL_ERROR_SUCCESS;
    }
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_handles.find(h);
    if (it == g_handles.end()) return PL_ERROR_INVALID_HANDLE;
    *out = it->second;
    return PL_ERROR_SUCCESS;
}

HKEY NewHandle(Handle h) {
    std::lock_guard<std::mutex> lock(g_mutex);
    HKEY id = g_nextHandle;
    g_nextHandle += 4;
    g_handles.emplace(id, std::move(h));
    return id;
}

// Splits "a\b\c" into its components. A single trailing "\" is allowed; a leading
// one or an empty component is not. NULL and "" give no components. A component
// longer than 255 characters, or more components than a key may lie deep, give
// PL_ERROR_INVALID_PARAMETER.
LONG SplitPath(const char* subKey, std::vector<std::string>& parts) {
    parts.clear();
    if (!subKey || !*subKey) return PL_ERROR_SUCCESS;
    std::string s(subKey);
    if (s[0] == '\\') return PL_ERROR_BAD_PATHNAME;
    if (s.back() == '\\') s.pop_back();
    std::size_t start = 0;
    for (;;) {
        std::size_t sep = s.find('\\', start);
        std::string part = s.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
        if (part.empty()) return PL_ERROR_BAD_PATHNAME;
        if (part.size() > RegistryHive::kMaxKeyNameLength) return PL_ERROR_INVALID_PARAMETER;
        if (parts.size() == RegistryHive::kMaxDepth) return PL_ERROR_INVALID_PARAMETER;
        parts.push_back(std::move(part));
        if (sep == std::string::npos) return PL_ERROR_SUCCESS;
        start = sep + 1;
    }
}

std::vector<std::string> Join(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    std::vector<std::string> out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// The current contents of the handle's root and the handle's key in them
// (nullptr when the key has been deleted).
LONG CurrentKey(HKEY hKey, const Handle& h, std::shared_ptr<const RegistryHive>& hive,
                const RegistryHive::Key** key) {
    *key = nullptr;
    if (LONG r = RegistryFile(h.root).Read(hive)) return r;
    if (h.seen && h.seenIn.lock() == hive) {
        *key = h.seen;
        return PL_ERROR_SUCCESS;
    }
    *key = hive->Find(h.path);
    if (*key && PredefinedRoot(hKey) < 0) {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_handles.find(hKey);
        if (it != g_handles.end()) {
            it->second.seenIn = hive;
            it->second.seen = *key;
        }
    }
    return PL_ERROR_SUCCESS;
}

// The stored spelling of a path's components.
std::vector<std::string> StoredNames(const RegistryHive& hive, const std::vector<std::string>& path) {
    std::vector<std::string> out;
    const RegistryHive::Key* k = &hive.Root();
    for (const auto& part : path) {
        k = k ? k->FindSubkey(part) : nullptr;
        out.push_back(k ? k->name : part);
    }
    return out;
}

// Copies a name into a caller's buffer of *cch characters (including the NUL).
LONG CopyName(const std::string& name, char* buffer, DWORD* cch) {
    if (name.size() + 1 > *cch) return PL_ERROR_MORE_DATA;
    std::memcpy(buffer, name.data(), name.size());
    buffer[name.size()] = '\0';
    *cch = static_cast<DWORD>(name.size());
    return PL_ERROR_SUCCESS;
}

// Copies value data into a caller's buffer by the rules of RegQueryValueExA.
LONG CopyData(const RegistryHive::Value& v, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    if (lpData && !lpcbData) return PL_ERROR_INVALID_PARAMETER;
    if (lpType) *lpType = v.type;
    if (!lpcbData) return PL_ERROR_SUCCESS;
    auto size = static_cast<DWORD>(v.data.size());
    if (lpData && *lpcbData < size) {
        *lpcbData = size;
        return PL_ERROR_MORE_DATA;
    }
    if (lpData && size) std::memcpy(lpData, v.data.data(), size);
    *lpcbData = size;
    return PL_ERROR_SUCCESS;
}

}  // namespace

LONG RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD, REGSAM samDesired, HKEY* phkResult) {
    if (!phkResult) return PL_ERROR_INVALID_PARAMETER;
    *phkResult = 0;
    Handle parent;
    if (LONG r = Resolve(hKey, &parent)) return r;
    std::vector<std::string> parts;
    if (LONG r = SplitPath(lpSubKey, parts)) return r == PL_ERROR_INVALID_PARAMETER ? PL_ERROR_FILE_NOT_FOUND : r;

    RegistryFile file(parent.root);
    std::shared_ptr<const RegistryHive> hive;
    const RegistryHive::Key* base = nullptr;
    if (LONG r = CurrentKey(hKey, parent, hive, &base)) return r;
    if (!base) return PL_ERROR_KEY_DELETED;
    std::vector<std::string> path = Join(parent.path, parts);
    if (path.size() > RegistryHive::kMaxDepth) return PL_ERROR_FILE_NOT_FOUND;
    const RegistryHive::Key* key = base;
    for (const auto& part : parts) {
        key = key->FindSubkey(part);
        if (!key) return PL_ERROR_FILE_NOT_FOUND;
    }
    if ((samDesired & kWriteRights) && !file.CanWrite()) return PL_ERROR_ACCESS_DENIED;
    *phkResult = NewHandle(Handle{parent.root, StoredNames(*hive, path), samDesired, hive, key});
    return PL_ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD, const char*, DWORD dwOptions, REGSAM samDesired,
                    const SECURITY_ATTRIBUTES*, HKEY* phkResult, DWORD* lpdwDisposition) {
    if (!phkResult || !lpSubKey) return PL_ERROR_INVALID_PARAMETER;
    *phkResult = 0;
    // Volatile keys, links and backup-restore opening are not kept by this store.
    if (dwOptions != PL_REG_OPTION_NON_VOLATILE) return PL_ERROR_INVALID_PARAMETER;
    Handle parent;
    if (LONG r = Resolve(hKey, &parent)) return r;
    std::vector<std::string> parts;
    if (LONG r = SplitPath(lpSubKey, parts)) return r;
    std::vector<std::string> path = Join(parent.path, parts);
    // A registry tree is at most 512 levels deep.
    if (path.size() > RegistryHive::kMaxDepth) return PL_ERROR_INVALID_PARAMETER;

    RegistryFile file(parent.root);
    std::shared_ptr<const RegistryHive> hive;
    const RegistryHive::Key* base = nullptr;
    if (LONG r = CurrentKey(hKey, parent, hive, &base)) return r;
    if (!base) return PL_ERROR_KEY_DELETED;
    DWORD disposition = PL_REG_OPENED_EXISTING_KEY;
    if (hive->Find(path)) {
        if ((samDesired & kWriteRights) && !file.CanWrite()) return PL_ERROR_ACCESS_DENIED;
        path = StoredNames(*hive, path);
    } else {
        if (!(parent.access & PL_KEY_CREATE_SUB_KEY)) return PL_ERROR_ACCESS_DENIED;
        LONG r = file.Update([&](RegistryHive& current, bool& modified) -> LONG {
            RegistryHive::Key* k = current.Find(parent.path);
            if (!k) return PL_ERROR_KEY_DELETED;
            for (const auto& part : parts) {
                RegistryHive::Key* next = k->FindSubkey(part);
                if (!next) {
                    next = &k->AddSubkey(part);
                    modified = true;
                }
                k = next;
            }
            // Another process may have made the key meanwhile.
            if (modified) disposition = PL_REG_CREATED_NEW_KEY;
            path = StoredNames(current, path);
            return PL_ERROR_SUCCESS;
        });
        if (r) return r;
    }
    *phkResult = NewHandle(Handle{parent.root, path, samDesired, {}, nullptr});
    if (lpdwDisposition) *lpdwDisposition = disposition;
    return PL_ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType, BYTE* lpData,
                     DWORD* lpcbData) {
    if (lpReserved) return PL_ERROR_INVALID_PARAMETER;
    Handle h;
    if (LONG r = Resolve(hKey, &h)) return r;
    if (!(h.access & PL_KEY_QUERY_VALUE)) return PL_ERROR_ACCESS_DENIED;
    std::shared_ptr<const RegistryHive> hive;
    const RegistryHive::Key* k = nullptr;
    if (LONG r = CurrentKey(hKey, h, hive, &k)) return r;
    if (!k) return PL_ERROR_KEY_DELETED;
    const RegistryHive::Value* v = k->FindValue(lpValueName ? lpValueName : "");
    if (!v) return PL_ERROR_FILE_NOT_FOUND;
    return CopyData(*v, lpType, lpData, lpcbData);
}

LONG RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    Handle h;
    if (LONG r = Resolve(hKey, &h)) return r;
    if (!(h.access & PL_KEY_SET_VALUE)) return PL_ERROR_ACCESS_DENIED;
    if (!lpData && cbData) return PL_ERROR_NOACCESS;
    std::string name = lpValueName ? lpValueName : "";
    if (name.size() > RegistryHive::kMaxValueNameLength) return PL_ERROR_INVALID_PARAMETER;
    std::string data(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
    return RegistryFile(h.root).Update([&](RegistryHive& hive, bool& modified) -> LONG {
        RegistryHive::Key* k = hive.Find(h.path);
        if (!k) return PL_ERROR_KEY_DELETED;
        if (RegistryHive::Value* v = k->FindValue(name)) {
            modified = v->type != dwType || v->data != data;
            v->type = dwType;
            v->data = data;
        } else {
            k->values.push_back(RegistryHive::Value{name, dwType, data});
            modified = true;
        }
        return PL_ERROR_SUCCESS;
    });
}

LONG RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
    if (!lpSubKey) return PL_ERROR_INVALID_PARAMETER;
    Handle h;
    if (LONG r = Resolve(hKey, &h)) return r;
    std::vector<std::string> parts;
    if (LONG r = SplitPath(lpSubKey, parts)) return r == PL_ERROR_INVALID_PARAMETER ? PL_ERROR_FILE_NOT_FOUND : r;
    std::vector<std::string> path = Join(h.path, parts);
    if (path.empty()) return PL_ERROR_ACCESS_DENIED;  // a root cannot be deleted
    RegistryFile file(h.root);
    std::shared_ptr<const RegistryHive> hive;
    if (LONG r = file.Read(hive)) return r;
    const RegistryHive::Key* key = hive->Find(path);
    if (!key) return PL_ERROR_FILE_NOT_FOUND;
    if (!key->subkeys.empty()) return PL_ERROR_ACCESS_DENIED;
    return file.Update([&](RegistryHive& current, bool& modified) -> LONG {
        std::vector<std::string> parentPath(path.begin(), path.end() - 1);
        RegistryHive::Key* parent = current.Find(parentPath);
        RegistryHive::Key* k = parent ? parent->FindSubkey(path.back()) : nullptr;
        if (!k) return PL_ERROR_FILE_NOT_FOUND;
        if (!k->subkeys.empty()) return PL_ERROR_ACCESS_DENIED;
        parent->RemoveSubkey(path.back());
        modified = true;
        return PL_ERROR_SUCCESS;
    });
}

LONG RegDeleteTreeA(HKEY hKey, const char* lpSubKey) {
    Handle h;
    if (LONG r = Resolve(hKey, &h)) return r;
    std::vector<std::string> parts;
    if (LONG r = SplitPath(lpSubKey, parts)) return r == PL_ERROR_INVALID_PARAMETER ? PL_ERROR_FILE_NOT_FOUND : r;
    std::vector<std::string> path = Join(h.path, parts);
    RegistryFile file(h.root);
    std::shared_ptr<const RegistryHive> hive;
    if (LONG r = file.Read(hive)) return r;
    if (!hive->Find(path)) return parts.empty() ? PL_ERROR_KEY_DELETED : PL_ERROR_FILE_NOT_FOUND;
    return file.Update([&](RegistryHive& current, bool& modified) -> LONG {
        RegistryHive::Key* k = current.Find(path);
        if (!k) return parts.empty() ? PL_ERROR_KEY_DELETED : PL_ERROR_FILE_NOT_FOUND;
        if (parts.empty()) {
            // Only the contents go; the key itself stays.
            modified = !k->values.empty() || !k->subkeys.empty();
            k->values.clear();
            k->subkeys.clear();
        } else {
            std::vector<std::string> parentPath(path.begin(), path.end() - 1);
            current.Find(parentPath)->RemoveSubkey(path.back());
            modified = true;
        }
        return PL_ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY hKey, const char* lpValueName) {
    Handle h;
    if (LONG r = Resolve(hKey, &h)) return r;
    if (!(h.access & PL_KEY_SET_VALUE)) return PL_ERROR_ACCESS_DENIED;
    std::string name = lpValueName ? lpValueName : "";
    return RegistryFile(h.root).Update([&](RegistryHive& hive, bool& modified) -> LONG {
        RegistryHive::Key* k = hive.Find(h.path);
        if (!k) return PL_ERROR_KEY_DELETED;
        for (auto it = k->values.begin(); it != k->values.end(); ++it) {
            if (RegistryHive::SameName(it->name, name)) {
                k->values.erase(it);
                modified = true;
                return PL_ERROR_SUCCESS;
            }
        }
        return PL_ERROR_FILE_NOT_FOUND;
    });
}

LONG RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName, DWORD* lpReserved,
                  DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
    if (!lpValueName || !lpcchValueName || lpReserved) return PL_ERROR_INVALID_PARAMETER;
    Handle h;
    if (LONG r = Resolve(hKey, &h)) return r;
    if (!(h.access & PL_KEY_QUERY_VALUE)) return PL_ERROR_ACCESS_DENIED;
    std::shared_ptr<const RegistryHive> hive;
    const RegistryHive::Key* k = nullptr;
    if (LONG r = CurrentKey(hKey, h, hive, &k)) return r;
    if (!k) return PL_ERROR_KEY_DELETED;
    if (dwIndex >= k->values.size()) return PL_ERROR_NO_MORE_ITEMS;
    const RegistryHive::Value& v = k->values[dwIndex];
    if (LONG r = CopyName(v.name, lpValueName, lpcchValueName)) return r;
    return CopyData(v, lpType, lpData, lpcbData);
}

LONG RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved, char* lpClass,
                  DWORD* lpcchClass, FILETIME* lpftLastWriteTime) {
    if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) return PL_ERROR_INVALID_PARAMETER;
    Handle h;
    if (LONG r = Resolve(hKey, &h)) return r;
    if (!(h.access & PL_KEY_ENUMERATE_SUB_KEYS)) return PL_ERROR_ACCESS_DENIED;
    std::shared_ptr<const RegistryHive> hive;
    const RegistryHive::Key* k = nullptr;
    if (LONG r = CurrentKey(hKey, h, hive, &k)) return r;
    if (!k) return PL_ERROR_KEY_DELETED;
    if (dwIndex >= k->subkeys.size()) return PL_ERROR_NO_MORE_ITEMS;
    if (LONG r = CopyName(k->subkeys[dwIndex]->name, lpName, lpcchName)) return r;
    // Keys carry no class text and no time of last change here.
    if (lpClass) {
        if (*lpcchClass < 1) return PL_ERROR_MORE_DATA;
        lpClass[0] = '\0';
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{};
    return PL_ERROR_SUCCESS;
}

std::string RegistryStoreProblem(HKEY root, const char*) {
    const int r = PredefinedRoot(root);
    return r < 0 ? "no such root" : RegistryFile(r).Problem();
}

LONG RegCloseKey(HKEY hKey) {
    if (PredefinedRoot(hKey) >= 0) return PL_ERROR_SUCCESS;
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_handles.erase(hKey) ? PL_ERROR_SUCCESS : PL_ERROR_INVALID_HANDLE;
}

}  // namespace plat
