// novalink-reg: reads and changes the registry the way reg.exe does.
//
//   novalink-reg query  KEY [/v NAME | /ve] [/s]
//   novalink-reg add    KEY [/v NAME | /ve] [/t KIND] [/s SEPARATOR] [/d DATA] [/f]
//   novalink-reg delete KEY [/v NAME | /ve] [/f]
//
// Exit code 0 on success, 1 with a message on stderr otherwise.
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "platform/App.h"
#include "platform/Registry.h"
#include "platform/VisibleText.h"
#include "support/AsciiText.h"
#include "support/GuardedMain.h"
#include "support/HexText.h"
#include "support/ProgramVersion.h"

namespace {

// The platform's registry names; the type names are declared here so that they
// hide the system's own where its headers are also seen.
using namespace plat;
using plat::BYTE;
using plat::DWORD;
using plat::HKEY;
using plat::LONG;
using plat::REGSAM;
using nl::AsciiUpper;
using nl::EqualsNoCase;

const char kUsage[] =
    "Usage:\n"
    "  novalink-reg query  KEY [/v NAME | /ve] [/s]\n"
    "  novalink-reg add    KEY [/v NAME | /ve] [/t KIND] [/se SEPARATOR] [/d DATA] [/f]\n"
    "  novalink-reg delete KEY [/v NAME | /ve] [/f]\n"
    "\n"
    "  KEY   ROOT\\Path\\Of\\Key, ROOT one of HKLM, HKCU, HKCR, HKU (or HKEY_LOCAL_MACHINE, ...)\n"
    "  /v    the value NAME; /ve the key's default value (shown as (Default))\n"
    "  /s    query: this key and every key below it\n"
    "  /t    REG_SZ (the default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_BINARY,\n"
    "        REG_DWORD_BIG_ENDIAN, REG_QWORD or REG_NONE\n"
    "  /d    the data: text; a number in decimal or 0x hex for REG_DWORD and REG_QWORD;\n"
    "        hex digits for REG_BINARY and REG_NONE; strings separated by \\0 (or /se)\n"
    "        for REG_MULTI_SZ\n"
    "  /f    change without asking\n"
    "  /?, --help    this text;  --version    the version\n"
    "\n";

struct RootName {
    const char* shortName;
    const char* longName;
    HKEY key;
};
const RootName kRoots[] = {{"HKLM", "HKEY_LOCAL_MACHINE", PL_HKEY_LOCAL_MACHINE},
                           {"HKCU", "HKEY_CURRENT_USER", PL_HKEY_CURRENT_USER},
                           {"HKCR", "HKEY_CLASSES_ROOT", PL_HKEY_CLASSES_ROOT},
                           {"HKU", "HKEY_USERS", PL_HKEY_USERS}};

const char* const kKindNames[] = {"REG_NONE",
                                  "REG_SZ",
                                  "REG_EXPAND_SZ",
                                  "REG_BINARY",
                                  "REG_DWORD",
                                  "REG_DWORD_BIG_ENDIAN",
                                  "REG_LINK",
                                  "REG_MULTI_SZ",
                                  "REG_RESOURCE_LIST",
                                  "REG_FULL_RESOURCE_DESCRIPTOR",
                                  "REG_RESOURCE_REQUIREMENTS_LIST",
                                  "REG_QWORD"};

struct UsageError {
    std::string what;
};

// An operation failed: the message is printed and the program ends with 1.
struct Failure {
    std::string what;
};

std::string ErrorText(LONG code) {
    switch (code) {
        case PL_ERROR_FILE_NOT_FOUND:
        case PL_ERROR_KEY_DELETED: return "The system was unable to find the specified registry key or value.";
        case PL_ERROR_ACCESS_DENIED: return "Access is denied.";
        case PL_ERROR_BADDB: return "The registry file is damaged; nothing was read or changed.";
        case PL_ERROR_CANTWRITE: return "The registry file could not be written.";
        case PL_ERROR_BAD_PATHNAME: return "Invalid key name.";
        case PL_ERROR_INVALID_PARAMETER:
            return "Invalid name: a key lies at most 512 levels deep, each name in its path has at most "
                   "255 characters, and a value name at most 16383.";
        default: return "The registry call failed with error " + std::to_string(code) + ".";
    }
}

void Check(LONG code) {
    if (code != PL_ERROR_SUCCESS) throw Failure{ErrorText(code)};
}

struct Key {
    HKEY root = 0;
    std::string rootName;  // the long form
    std::string path;      // below the root, no leading or trailing '\'

    std::string Display() const { return path.empty() ? rootName : rootName + "\\" + path; }
};

Key ParseKey(const std::string& text) {
    auto slash = text.find('\\');
    std::string root = AsciiUpper(text.substr(0, slash));
    for (const auto& r : kRoots) {
        if (root == r.shortName || root == r.longName) {
            Key k{r.key, r.longName, slash == std::string::npos ? std::string() : text.substr(slash + 1)};
            while (!k.path.empty() && k.path.back() == '\\') k.path.pop_back();
            return k;
        }
    }
    throw UsageError{"Invalid key name: the key must start with HKLM, HKCU, HKCR or HKU."};
}

struct Options {
    std::string op;
    Key key;
    bool hasValue = false;  // /v or /ve
    std::string valueName;
    bool recursive = false;  // /s
    bool force = false;      // /f
    bool hasType = false;
    DWORD type = PL_REG_SZ;
    bool hasData = false;
    std::string data;
    std::string separator = "\\0";
};

Options ParseArgs(int argc, char** argv) {
    if (argc == 2) {
        const std::string arg = argv[1];
        if (arg == "/?" || arg == "--help" || arg == "-h") throw UsageError{""};
    }
    if (argc < 3) throw UsageError{"Invalid syntax."};
    Options o;
    o.op = AsciiUpper(argv[1]);
    if (o.op != "QUERY" && o.op != "ADD" && o.op != "DELETE") throw UsageError{"Invalid operation: " + std::string(argv[1])};
    o.key = ParseKey(argv[2]);
    for (int i = 3; i < argc; ++i) {
        std::string a = AsciiUpper(argv[i]);
        if (!a.empty() && a[0] == '-') a[0] = '/';
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) throw UsageError{"Invalid syntax: " + std::string(argv[i]) + " needs an argument."};
            return argv[++i];
        };
        if (a == "/V" || a == "/VE") {
            if (o.hasValue) throw UsageError{"Invalid syntax: /v and /ve may be given once."};
            o.hasValue = true;
            if (a == "/V") o.valueName = next();
        } else if (a == "/S" && o.op == "QUERY") {
            o.recursive = true;
        } else if (a == "/SE" && o.op == "ADD") {
            o.separator = next();
            if (o.separator.empty()) throw UsageError{"Invalid syntax: /se needs a separator."};
        } else if (a == "/F" && o.op != "QUERY") {
            o.force = true;
        } else if (a == "/T" && o.op == "ADD") {
            std::string t = AsciiUpper(next());
            bool known = false;
            for (DWORD k = 0; k < sizeof kKindNames / sizeof kKindNames[0]; ++k) {
                if (t == kKindNames[k] && k != PL_REG_LINK && k != PL_REG_RESOURCE_LIST &&
                    k != PL_REG_FULL_RESOURCE_DESCRIPTOR && k != PL_REG_RESOURCE_REQUIREMENTS_LIST) {
                    o.type = k;
                    known = true;
                }
            }
            if (!known) throw UsageError{"Invalid syntax: unsupported kind " + t + "."};
            o.hasType = true;
        } else if (a == "/D" && o.op == "ADD") {
            o.data = next();
            o.hasData = true;
        } else {
            throw UsageError{"Invalid syntax: unexpected " + std::string(argv[i]) + "."};
        }
    }
    if ((o.hasType || o.hasData) && !o.hasValue && o.op == "ADD") {
        // reg.exe writes the default value when only /t or /d is given.
        o.hasValue = true;
    }
    return o;
}

// ---- query ------------------------------------------------------------------

std::string KindName(DWORD type) {
    if (type < sizeof kKindNames / sizeof kKindNames[0]) return kKindNames[type];
    char buf[32];
    std::snprintf(buf, sizeof buf, "REG_0x%X", static_cast<unsigned>(type));
    return buf;
}

std::string FormatData(DWORD type, const std::string& data) {
    auto le = [&](std::size_t n) {
        std::uint64_t v = 0;
        for (std::size_t i = n; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(data[i]);
        return v;
    };
    char buf[32];
    switch (type) {
        case PL_REG_SZ:
        case PL_REG_EXPAND_SZ:
        case PL_REG_LINK: return data.substr(0, data.find('\0'));
        case PL_REG_MULTI_SZ: {
            // The strings up to the terminating empty one, shown with \0 between them.
            std::string out;
            std::size_t pos = 0;
            bool first = true;
            while (pos < data.size()) {
                std::size_t end = data.find('\0', pos);
                std::string s = data.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
                if (s.empty()) break;
                if (!first) out += "\\0";
                out += s;
                first = false;
                if (end == std::string::npos) break;
                pos = end + 1;
            }
            return out;
        }
        case PL_REG_DWORD:
            if (data.size() != 4) break;
            std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(le(4)));
            return buf;
        case PL_REG_DWORD_BIG_ENDIAN: {
            if (data.size() != 4) break;
            std::uint32_t v = 0;
            for (unsigned char c : data) v = (v << 8) | c;
            std::snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(v));
            return buf;
        }
        case PL_REG_QWORD:
            if (data.size() != 8) break;
            std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(le(8)));
            return buf;
        default: break;
    }
    return nl::HexText(data, true);
}

// Reads a value; false when it does not exist.
bool ReadValue(HKEY key, const std::string& name, DWORD* type, std::string* data) {
    DWORD size = 0;
    LONG r = RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size);
    for (int attempt = 0; r == PL_ERROR_SUCCESS || r == PL_ERROR_MORE_DATA; ++attempt) {
        data->assign(size, '\0');
        DWORD cb = size;
        r = RegQueryValueExA(key, name.c_str(), nullptr, type, reinterpret_cast<BYTE*>(data->data()), &cb);
        if (r == PL_ERROR_SUCCESS) {
            data->resize(cb);
            return true;
        }
        size = cb;
        if (attempt > 8) break;
    }
    if (r == PL_ERROR_FILE_NOT_FOUND) return false;
    Check(r);
    return false;
}

// The value's name as it is stored (names match without regard to case).
std::string StoredValueName(HKEY key, const std::string& name) {
    std::vector<char> buf(16384);
    for (DWORD i = 0;; ++i) {
        DWORD cch = static_cast<DWORD>(buf.size());
        if (RegEnumValueA(key, i, buf.data(), &cch, nullptr, nullptr, nullptr, nullptr) != PL_ERROR_SUCCESS) return name;
        std::string stored(buf.data(), cch);
        if (EqualsNoCase(stored, name)) return stored;
    }
}

void PrintValue(const std::string& name, DWORD type, const std::string& data) {
    // What a value holds is anyone's: nothing in it may drive the terminal.
    std::cout << "    " << (name.empty() ? "(Default)" : plat::VisibleText(name)) << "    " << KindName(type) << "    "
              << plat::VisibleText(FormatData(type, data)) << "\n";
}

std::vector<std::string> SubkeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD cch = sizeof name;
        LONG r = RegEnumKeyExA(key, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
        if (r == PL_ERROR_NO_MORE_ITEMS) break;
        Check(r);
        names.emplace_back(name, cch);
    }
    return names;
}

struct ValueItem {
    std::string name;
    DWORD type;
    std::string data;
};

// Every value of the key with its data, read by position (a lookup by name would
// make a key with many values slow).
std::vector<ValueItem> Values(HKEY key) {
    std::vector<ValueItem> values;
    std::vector<char> name(16384);
    for (DWORD i = 0;; ++i) {
        DWORD cch = static_cast<DWORD>(name.size());
        DWORD type = 0, size = 0;
        LONG r = RegEnumValueA(key, i, name.data(), &cch, nullptr, &type, nullptr, &size);
        if (r == PL_ERROR_NO_MORE_ITEMS) break;
        Check(r);
        std::string data;
        // The value may change between the two calls: then ask again.
        for (int attempt = 0;; ++attempt) {
            data.assign(size, '\0');
            DWORD cb = size;
            cch = static_cast<DWORD>(name.size());
            r = RegEnumValueA(key, i, name.data(), &cch, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &cb);
            if (r == PL_ERROR_SUCCESS) {
                data.resize(cb);
                break;
            }
            if (r != PL_ERROR_MORE_DATA || attempt > 8) Check(r);
            size = cb;
        }
        values.push_back(ValueItem{std::string(name.data(), cch), type, std::move(data)});
    }
    return values;
}

// The names along a key's path. What the registry holds no key for is refused
// as the Linux store refuses it: an empty name (PL_ERROR_BAD_PATHNAME), a name
// longer than 255 characters or a path more than 512 levels deep
// (PL_ERROR_INVALID_PARAMETER).
LONG SplitPath(const std::string& path, std::vector<std::string>& names) {
    names.clear();
    if (path.empty()) return PL_ERROR_SUCCESS;
    for (std::size_t at = 0;;) {
        const std::size_t end = path.find('\\', at);
        std::string name = path.substr(at, end == std::string::npos ? std::string::npos : end - at);
        if (name.empty()) return PL_ERROR_BAD_PATHNAME;
        if (name.size() > 255 || names.size() == 512) return PL_ERROR_INVALID_PARAMETER;
        names.push_back(std::move(name));
        if (end == std::string::npos) return PL_ERROR_SUCCESS;
        at = end + 1;
    }
}

// Opens the key at `path` below `parent` (creating it and its missing parents
// with `create`). Windows creates at most 32 levels of keys in one call, and its
// ANSI calls take a path of at most MAX_PATH characters (Wine's take no longer),
// so a long path goes in steps within both, each below the key the last reached.
LONG OpenPath(HKEY parent, const std::string& path, REGSAM access, bool create, HKEY* out) {
    constexpr std::size_t kLevelsPerCall = 32, kCharsPerCall = 259;
    *out = 0;
    std::vector<std::string> names;
    if (LONG r = SplitPath(path, names)) return create || r == PL_ERROR_BAD_PATHNAME ? r : PL_ERROR_FILE_NOT_FOUND;
    HKEY key = parent;
    std::size_t i = 0;
    do {
        std::string step = i < names.size() ? names[i++] : std::string();  // "": a new handle to the parent itself
        for (std::size_t n = 1; i < names.size() && n < kLevelsPerCall &&
                                step.size() + 1 + names[i].size() <= kCharsPerCall;
             ++n)
            step += "\\" + names[i++];
        const REGSAM want = i == names.size() ? access : create ? PL_KEY_CREATE_SUB_KEY : PL_KEY_ENUMERATE_SUB_KEYS;
        HKEY next = 0;
        const LONG r = create ? RegCreateKeyExA(key, step.c_str(), 0, nullptr, PL_REG_OPTION_NON_VOLATILE, want,
                                                nullptr, &next, nullptr)
                              : RegOpenKeyExA(key, step.c_str(), 0, want, &next);
        if (key != parent) RegCloseKey(key);
        if (r != PL_ERROR_SUCCESS) return r;
        key = next;
    } while (i < names.size());
    *out = key;
    return PL_ERROR_SUCCESS;
}

class KeyHandle {
public:
    KeyHandle(HKEY parent, const std::string& path, REGSAM access, bool create = false) {
        Check(OpenPath(parent, path, access, create, &key_));
    }
    ~KeyHandle() { RegCloseKey(key_); }
    KeyHandle(const KeyHandle&) = delete;
    KeyHandle& operator=(const KeyHandle&) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_ = 0;
};

// /s with /v or /ve: every key at or below `key` that has the value.
int FindValue(const Options& o, HKEY key, const std::string& display) {
    int matches = 0;
    for (const auto& v : Values(key)) {
        if (!EqualsNoCase(v.name, o.valueName)) continue;
        std::cout << "\n" << display << "\n";
        PrintValue(v.name, v.type, v.data);
        ++matches;
    }
    for (const auto& sub : SubkeyNames(key)) {
        KeyHandle child(key, sub, PL_KEY_READ);
        matches += FindValue(o, child.Get(), display + "\\" + plat::VisibleText(sub));
    }
    return matches;
}

void ListKey(const Options& o, HKEY key, const std::string& display) {
    std::cout << "\n" << display << "\n";
    for (const auto& v : Values(key)) PrintValue(v.name, v.type, v.data);
    auto subkeys = SubkeyNames(key);
    if (o.recursive) {
        for (const auto& sub : subkeys) {
            KeyHandle child(key, sub, PL_KEY_READ);
            ListKey(o, child.Get(), display + "\\" + plat::VisibleText(sub));
        }
    } else {
        if (!subkeys.empty()) std::cout << "\n";
        for (const auto& sub : subkeys) std::cout << display << "\\" << plat::VisibleText(sub) << "\n";
    }
}

int Query(const Options& o) {
    if (o.hasValue && o.recursive) {
        KeyHandle key(o.key.root, o.key.path, PL_KEY_READ);
        int matches = FindValue(o, key.Get(), o.key.Display());
        std::cout << "End of search: " << matches << " match(es) found.\n";
        return matches ? 0 : 1;
    }
    if (o.hasValue) {
        KeyHandle key(o.key.root, o.key.path, PL_KEY_READ);
        DWORD type = 0;
        std::string data;
        if (!ReadValue(key.Get(), o.valueName, &type, &data)) {
            if (!o.valueName.empty()) throw Failure{ErrorText(PL_ERROR_FILE_NOT_FOUND)};
            std::cout << "\n" << o.key.Display() << "\n    (Default)    REG_SZ    (value not set)\n\n";
            return 0;
        }
        std::cout << "\n" << o.key.Display() << "\n";
        PrintValue(StoredValueName(key.Get(), o.valueName), type, data);
        std::cout << "\n";
        return 0;
    }
    {
        KeyHandle key(o.key.root, o.key.path, PL_KEY_READ);
        ListKey(o, key.Get(), o.key.Display());
    }
    if (!o.recursive) std::cout << "\n";
    return 0;
}

// ---- add and delete ---------------------------------------------------------

bool Confirm(const std::string& question) {
    std::cout << question << " (Yes/No)? " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) {
        std::cout << "\n";
        return false;
    }
    answer = AsciiUpper(answer);
    return answer == "Y" || answer == "YES";
}

std::uint64_t ParseNumber(const std::string& text, std::uint64_t max) {
    if (text.empty()) throw UsageError{"Invalid syntax: specify a valid numeric value for /d."};
    std::uint64_t v = 0;
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    for (std::size_t i = hex ? 2 : 0; i < text.size(); ++i) {
        char c = text[i];
        int d = c >= '0' && c <= '9' ? c - '0'
                : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
        std::uint64_t base = hex ? 16 : 10;
        if (d < 0 || v > (max - static_cast<std::uint64_t>(d)) / base)
            throw UsageError{"Invalid syntax: specify a valid numeric value for /d."};
        v = v * base + static_cast<std::uint64_t>(d);
    }
    return v;
}

std::string EncodeData(const Options& o) {
    switch (o.type) {
        case PL_REG_SZ:
        case PL_REG_EXPAND_SZ: return o.data + '\0';
        case PL_REG_MULTI_SZ: {
            std::string out;
            std::size_t pos = 0;
            while (!o.data.empty()) {
                std::size_t sep = o.data.find(o.separator, pos);
                std::string s = o.data.substr(pos, sep == std::string::npos ? std::string::npos : sep - pos);
                if (s.empty()) throw UsageError{"Invalid syntax: REG_MULTI_SZ data may not hold an empty string."};
                out += s;
                out += '\0';
                if (sep == std::string::npos) break;
                pos = sep + o.separator.size();
            }
            out += '\0';
            return out;
        }
        case PL_REG_DWORD:
        case PL_REG_DWORD_BIG_ENDIAN:
        case PL_REG_QWORD: {
            std::size_t n = o.type == PL_REG_QWORD ? 8 : 4;
            std::uint64_t v = ParseNumber(o.hasData ? o.data : "0", n == 8 ? ~0ull : 0xFFFFFFFFull);
            std::string out(n, '\0');
            for (std::size_t i = 0; i < n; ++i) out[o.type == PL_REG_DWORD_BIG_ENDIAN ? n - 1 - i : i] = static_cast<char>(v >> (8 * i));
            return out;
        }
        default: {  // PL_REG_BINARY, PL_REG_NONE: hex digits
            if (o.data.size() % 2) throw UsageError{"Invalid syntax: binary data need an even number of hex digits."};
            std::string out;
            for (std::size_t i = 0; i < o.data.size(); i += 2) {
                auto digit = [&](char c) {
                    if (c >= '0' && c <= '9') return c - '0';
                    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
                    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
                    throw UsageError{"Invalid syntax: binary data must be hex digits."};
                };
                out += static_cast<char>(digit(o.data[i]) * 16 + digit(o.data[i + 1]));
            }
            return out;
        }
    }
}

int Add(const Options& o) {
    std::string data = o.hasValue ? EncodeData(o) : std::string();
    KeyHandle handle(o.key.root, o.key.path, PL_KEY_ALL_ACCESS, true);
    const HKEY key = handle.Get();
    if (o.hasValue) {
        if (!o.force && RegQueryValueExA(key, o.valueName.c_str(), nullptr, nullptr, nullptr, nullptr) == PL_ERROR_SUCCESS &&
            !Confirm("Value " + (o.valueName.empty() ? std::string("(Default)") : o.valueName) + " exists, overwrite")) {
            throw Failure{"The operation was cancelled by the user."};
        }
        Check(RegSetValueExA(key, o.valueName.c_str(), 0, o.type, reinterpret_cast<const BYTE*>(data.data()),
                            static_cast<DWORD>(data.size())));
    }
    std::cout << "The operation completed successfully.\n";
    return 0;
}

int Delete(const Options& o) {
    if (o.hasValue) {
        KeyHandle key(o.key.root, o.key.path, PL_KEY_QUERY_VALUE | PL_KEY_SET_VALUE);
        if (!o.force && !Confirm("Delete the registry value " +
                                 (o.valueName.empty() ? std::string("(Default)") : o.valueName)))
            throw Failure{"The operation was cancelled by the user."};
        Check(RegDeleteValueA(key.Get(), o.valueName.c_str()));
    } else {
        if (o.key.path.empty()) throw Failure{"Invalid key name: a root key cannot be deleted."};
        { KeyHandle exists(o.key.root, o.key.path, PL_KEY_READ); }
        if (!o.force && !Confirm("Permanently delete the registry key " + o.key.Display()))
            throw Failure{"The operation was cancelled by the user."};
        // Below its parent, for the reasons OpenPath gives.
        const std::size_t last = o.key.path.rfind('\\');
        KeyHandle parent(o.key.root, last == std::string::npos ? std::string() : o.key.path.substr(0, last),
                         PL_KEY_READ);
        Check(RegDeleteTreeA(parent.Get(), o.key.path.substr(last + 1).c_str()));
    }
    std::cout << "The operation completed successfully.\n";
    return 0;
}

int Main(int argc, char** argv) {
    plat::InitApp(argc, argv);
    if (argc == 2 && std::string(argv[1]) == "--version") {
        nl::PrintVersion("novalink-reg");
        return 0;
    }
    try {
        Options o = ParseArgs(argc, argv);
        if (o.op == "QUERY") return Query(o);
        if (o.op == "ADD") return Add(o);
        return Delete(o);
    } catch (const UsageError& e) {
        if (e.what.empty()) {
            std::cout << kUsage << PL_REGISTRY_PLACE << "\n";
            return 0;
        }
        std::cerr << "ERROR: " << e.what << "\n" << kUsage << PL_REGISTRY_PLACE << "\n";
    } catch (const Failure& e) {
        std::cerr << "ERROR: " << e.what << "\n";
    }
    return 1;
}

}  // namespace

// An error report that nothing above took ends the tool like a failed operation.
int main(int argc, char** argv) { return nl::GuardedMain("novalink-reg", 1, [&] { return Main(argc, argv); }); }
