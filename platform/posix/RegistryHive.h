// One root of the registry in memory: a tree of keys with their values, and the
// text form it is stored in.
//
// The text form is meant to be read by people and checked by programs:
//
//   NOVALINK REGISTRY 1 PL_HKEY_LOCAL_MACHINE
//   # comment lines start with '#'
//   []
//   [Software]
//   [Software\Brightloom]
//   "Path" = sz "C:\\Prog\\app.exe"
//   "Update" = dword hex:00000000
//   @ = expand_sz "%TEMP%\\x\x00"
//   end 1c291ca3
//
// Every key has a line "[path]" (the root is "[]"), written after its parent, and is
// followed by its values: the name ("@" for the default value) as a quoted string,
// the kind, and the data, either as a quoted string or as hex digits. Quoted strings
// escape '"', '\' and every byte outside 0x20..0x7E (\xHH); key names escape bytes
// outside 0x20..0x7E, '%' and '\' (which a name can only hold in a file edited by
// hand) as %HH. The last line holds the CRC-32 of everything before it, so a
// cut-off or altered file is recognised as damaged.
//
// Internal to platform/posix.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Types.h"

namespace plat::posix {

class RegistryHive {
public:
    struct Value {
        std::string name;
        DWORD type = 0;
        std::string data;  // the bytes as stored
    };

    struct Key {
        std::string name;
        std::vector<Value> values;               // in the order they were created
        std::vector<std::unique_ptr<Key>> subkeys;  // sorted by name, ignoring case

        Key() = default;
        Key(Key&&) = default;
        Key& operator=(Key&&) = default;
        // Takes the tree apart without recursion, however deep it is.
        ~Key();

        Value* FindValue(std::string_view valueName);
        const Value* FindValue(std::string_view valueName) const;
        Key* FindSubkey(std::string_view keyName);
        const Key* FindSubkey(std::string_view keyName) const;
        // Inserts a new subkey at its sorted place (the name must not exist yet).
        Key& AddSubkey(const std::string& keyName);
        // Removes the named subkey with everything below it; false when missing.
        bool RemoveSubkey(std::string_view keyName);
    };

    // Names are compared byte by byte with ASCII letters folded to upper case.
    static bool SameName(std::string_view a, std::string_view b);
    static int CompareNames(std::string_view a, std::string_view b);

    // Longest key name component and value name, in characters.
    static constexpr std::size_t kMaxKeyNameLength = 255;
    static constexpr std::size_t kMaxValueNameLength = 16383;
    // Deepest key below a root, in levels (a root's subkey is level 1).
    static constexpr std::size_t kMaxDepth = 512;

    Key& Root() { return root_; }
    const Key& Root() const { return root_; }

    // The key at the given path below the root, or nullptr.
    Key* Find(const std::vector<std::string>& path);
    const Key* Find(const std::vector<std::string>& path) const;

    // Reads the text form. On failure returns false with the reason, and the hive
    // is left empty. A key deeper than kMaxDepth makes the text malformed.
    bool Parse(const std::string& text, const std::string& rootName, std::string* reason);
    std::string Serialize(const std::string& rootName) const;

private:
    Key root_;
};

}  // namespace plat::posix
