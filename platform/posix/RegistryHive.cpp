#include "platform/posix/RegistryHive.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace plat::posix {
namespace {

constexpr std::string_view kMagic = "NOVALINK REGISTRY 1 ";

std::uint32_t Crc32(std::string_view bytes) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t c = 0xFFFFFFFFu;
    for (unsigned char b : bytes) c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

const char* const kKindNames[] = {"none",
                                  "sz",
                                  "expand_sz",
                                  "binary",
                                  "dword",
                                  "dword_big_endian",
                                  "link",
                                  "multi_sz",
                                  "resource_list",
                                  "full_resource_descriptor",
                                  "resource_requirements_list",
                                  "qword"};
constexpr DWORD kKnownKinds = sizeof kKindNames / sizeof kKindNames[0];

std::string KindName(DWORD type) {
    if (type < kKnownKinds) return kKindNames[type];
    return "kind" + std::to_string(type);
}

bool ParseKind(std::string_view token, DWORD* type) {
    for (DWORD i = 0; i < kKnownKinds; ++i) {
        if (token == kKindNames[i]) {
            *type = i;
            return true;
        }
    }
    if (token.size() <= 4 || token.substr(0, 4) != "kind" || token.size() > 14) return false;
    std::uint64_t v = 0;
    for (char c : token.substr(4)) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (v > 0xFFFFFFFFu || v < kKnownKinds) return false;
    *type = static_cast<DWORD>(v);
    return true;
}

// Data of these kinds are written as quoted strings, the others as hex digits.
bool IsTextKind(DWORD type) {
    return type == 1 || type == 2 || type == 6 || type == 7;
}

const char kHex[] = "0123456789abcdef";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendQuoted(std::string& out, std::string_view s) {
    out += '"';
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    out += '"';
}

// A '\\' inside a name is escaped too, or it would read back as a separator.
void AppendKeyName(std::string& out, std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x20 && c < 0x7F && c != '%' && c != '\\') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
}

// Reads a quoted string starting at line[pos] (which must be '"'); pos ends after
// the closing quote.
bool ReadQuoted(std::string_view line, std::size_t& pos, std::string* out) {
    if (pos >= line.size() || line[pos] != '"') return false;
    ++pos;
    out->clear();
    while (pos < line.size()) {
        char c = line[pos++];
        if (c == '"') return true;
        if (c != '\\') {
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return false;
            *out += c;
            continue;
        }
        if (pos >= line.size()) return false;
        char e = line[pos++];
        if (e == '"' || e == '\\') {
            *out += e;
        } else if (e == 'x') {
            if (pos + 2 > line.size()) return false;
            int hi = HexDigit(line[pos]), lo = HexDigit(line[pos + 1]);
            if (hi < 0 || lo < 0) return false;
            *out += static_cast<char>(hi * 16 + lo);
            pos += 2;
        } else {
            return false;
        }
    }
    return false;
}

bool ReadKeyName(std::string_view text, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) return false;
        if (c != '%') {
            *out += c;
            continue;
        }
        if (i + 2 >= text.size()) return false;
        int hi = HexDigit(text[i + 1]), lo = HexDigit(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        *out += static_cast<char>(hi * 16 + lo);
        i += 2;
    }
    return !out->empty() && out->size() <= RegistryHive::kMaxKeyNameLength;
}

// The key's line and its value lines.
void SerializeKey(const RegistryHive::Key& key, const std::string& path, std::string& out) {
    out += '[';
    out += path;
    out += "]\n";
    for (const auto& v : key.values) {
        if (v.name.empty()) {
            out += '@';
        } else {
            AppendQuoted(out, v.name);
        }
        out += " = ";
        out += KindName(v.type);
        out += ' ';
        if (IsTextKind(v.type)) {
            AppendQuoted(out, v.data);
        } else {
            out += "hex:";
            for (unsigned char c : v.data) {
                out += kHex[c >> 4];
                out += kHex[c & 15];
            }
        }
        out += '\n';
    }
}

// Every key after its parent, subkeys in their order, with an explicit stack so
// that the depth of the tree never reaches the call stack.
void SerializeTree(const RegistryHive::Key& root, std::string& out) {
    struct Frame {
        const RegistryHive::Key* key;
        std::size_t pathLength;  // the length of `path` naming this key
        std::size_t next;        // the subkey to write next
    };
    std::string path;
    SerializeKey(root, path, out);
    std::vector<Frame> stack{{&root, 0, 0}};
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.key->subkeys.size()) {
            stack.pop_back();
            continue;
        }
        const RegistryHive::Key& sub = *top.key->subkeys[top.next++];
        path.resize(top.pathLength);
        if (!path.empty()) path += '\\';
        AppendKeyName(path, sub.name);
        SerializeKey(sub, path, out);
        stack.push_back({&sub, path.size(), 0});
    }
}

}  // namespace

bool RegistryHive::SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

int RegistryHive::CompareNames(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto x = static_cast<unsigned char>(Upper(a[i])), y = static_cast<unsigned char>(Upper(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

RegistryHive::Key::~Key() {
    std::vector<std::unique_ptr<Key>> pending = std::move(subkeys);
    while (!pending.empty()) {
        std::unique_ptr<Key> k = std::move(pending.back());
        pending.pop_back();
        for (auto& sub : k->subkeys) pending.push_back(std::move(sub));
        k->subkeys.clear();
    }
}

const RegistryHive::Value* RegistryHive::Key::FindValue(std::string_view valueName) const {
    for (const auto& v : values)
        if (SameName(v.name, valueName)) return &v;
    return nullptr;
}

RegistryHive::Value* RegistryHive::Key::FindValue(std::string_view valueName) {
    return const_cast<Value*>(static_cast<const Key*>(this)->FindValue(valueName));
}

const RegistryHive::Key* RegistryHive::Key::FindSubkey(std::string_view keyName) const {
    auto it = std::lower_bound(subkeys.begin(), subkeys.end(), keyName,
                               [](const std::unique_ptr<Key>& k, std::string_view n) { return CompareNames(k->name, n) < 0; });
    if (it != subkeys.end() && SameName((*it)->name, keyName)) return it->get();
    return nullptr;
}

RegistryHive::Key* RegistryHive::Key::FindSubkey(std::string_view keyName) {
    return const_cast<Key*>(static_cast<const Key*>(this)->FindSubkey(keyName));
}

RegistryHive::Key& RegistryHive::Key::AddSubkey(const std::string& keyName) {
    auto it = std::lower_bound(subkeys.begin(), subkeys.end(), keyName,
                               [](const std::unique_ptr<Key>& k, std::string_view n) { return CompareNames(k->name, n) < 0; });
    auto key = std::make_unique<Key>();
    key->name = keyName;
    return **subkeys.insert(it, std::move(key));
}

bool RegistryHive::Key::RemoveSubkey(std::string_view keyName) {
    for (auto it = subkeys.begin(); it != subkeys.end(); ++it) {
        if (SameName((*it)->name, keyName)) {
            subkeys.erase(it);
            return true;
        }
    }
    return false;
}

const RegistryHive::Key* RegistryHive::Find(const std::vector<std::string>& path) const {
    const Key* k = &root_;
    for (const auto& part : path) {
        k = k->FindSubkey(part);
        if (!k) return nullptr;
    }
    return k;
}

RegistryHive::Key* RegistryHive::Find(const std::vector<std::string>& path) {
    return const_cast<Key*>(static_cast<const RegistryHive*>(this)->Find(path));
}

std::string RegistryHive::Serialize(const std::string& rootName) const {
    std::string out;
    out += kMagic;
    out += rootName;
    out += "\n# Registry keys and values of ";
    out += rootName;
    out += ". Change them with novalink-reg; the last line checks the file.\n";
    SerializeTree(root_, out);
    char trailer[32];
    std::snprintf(trailer, sizeof trailer, "end %08x\n", static_cast<unsigned>(Crc32(out)));
    out += trailer;
    return out;
}

bool RegistryHive::Parse(const std::string& text, const std::string& rootName, std::string* reason) {
    root_ = Key{};
    auto fail = [&](std::size_t lineNo, const std::string& why) {
        root_ = Key{};
        if (reason) *reason = lineNo ? "line " + std::to_string(lineNo) + ": " + why : why;
        return false;
    };

    // The trailer: the last line, "end " and the checksum of everything before it.
    if (text.empty()) return fail(0, "the file is empty");
    if (text.back() != '\n') return fail(0, "the file is cut off (no end line)");
    std::size_t lastStart = text.rfind('\n', text.size() - 2);
    lastStart = lastStart == std::string::npos ? 0 : lastStart + 1;
    std::string_view last(text.data() + lastStart, text.size() - lastStart - 1);
    if (last.size() != 12 || last.substr(0, 4) != "end ") return fail(0, "the file is cut off (no end line)");
    std::uint32_t stored = 0;
    for (char c : last.substr(4)) {
        int d = HexDigit(c);
        if (d < 0) return fail(0, "the end line is malformed");
        stored = stored * 16 + static_cast<std::uint32_t>(d);
    }
    std::string_view body(text.data(), lastStart);
    if (Crc32(body) != stored) return fail(0, "the checksum does not match the contents");

    std::size_t pos = 0, lineNo = 0;
    Key* current = nullptr;
    bool sawRoot = false;
    while (pos < body.size()) {
        std::size_t nl = body.find('\n', pos);
        std::string_view line = body.substr(pos, nl - pos);
        pos = nl + 1;
        ++lineNo;
        if (lineNo == 1) {
            if (line.substr(0, kMagic.size()) != kMagic || line.substr(kMagic.size()) != rootName)
                return fail(lineNo, "not a registry file of " + rootName);
            continue;
        }
        if (!line.empty() && line[0] == '#') continue;
        if (!line.empty() && line[0] == '[') {
            if (line.back() != ']') return fail(lineNo, "malformed key line");
            std::string_view path = line.substr(1, line.size() - 2);
            if (path.empty()) {
                if (sawRoot) return fail(lineNo, "the root key appears twice");
                sawRoot = true;
                current = &root_;
                continue;
            }
            if (!sawRoot) return fail(lineNo, "a key comes before the root key");
            Key* parent = &root_;
            std::size_t start = 0, depth = 0;
            std::string name;
            for (;;) {
                if (++depth > kMaxDepth) return fail(lineNo, "a key lies deeper than " + std::to_string(kMaxDepth) + " levels");
                std::size_t sep = path.find('\\', start);
                if (!ReadKeyName(path.substr(start, sep == std::string_view::npos ? sep : sep - start), &name))
                    return fail(lineNo, "malformed key name");
                if (sep == std::string_view::npos) break;
                parent = parent->FindSubkey(name);
                if (!parent) return fail(lineNo, "a key comes before its parent");
                start = sep + 1;
            }
            if (parent->FindSubkey(name)) return fail(lineNo, "the key appears twice");
            current = &parent->AddSubkey(name);
            continue;
        }
        // A value line.
        if (!current) return fail(lineNo, "a value comes before any key");
        Value v;
        std::size_t p = 0;
        if (!line.empty() && line[0] == '@') {
            p = 1;
        } else if (!ReadQuoted(line, p, &v.name) || v.name.empty() || v.name.size() > kMaxValueNameLength) {
            return fail(lineNo, "malformed value name");
        }
        if (line.substr(p, 3) != " = ") return fail(lineNo, "malformed value line");
        p += 3;
        std::size_t sp = line.find(' ', p);
        if (sp == std::string_view::npos || !ParseKind(line.substr(p, sp - p), &v.type))
            return fail(lineNo, "unknown value kind");
        p = sp + 1;
        if (p < line.size() && line[p] == '"') {
            if (!ReadQuoted(line, p, &v.data) || p != line.size()) return fail(lineNo, "malformed string data");
        } else {
            if (line.substr(p, 4) != "hex:") return fail(lineNo, "malformed value data");
            std::string_view hex = line.substr(p + 4);
            if (hex.size() % 2) return fail(lineNo, "malformed hex data");
            for (std::size_t i = 0; i < hex.size(); i += 2) {
                int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
                if (hi < 0 || lo < 0) return fail(lineNo, "malformed hex data");
                v.data += static_cast<char>(hi * 16 + lo);
            }
        }
        if (current->FindValue(v.name)) return fail(lineNo, "the value appears twice");
        current->values.push_back(std::move(v));
    }
    if (!sawRoot) return fail(0, "the root key is missing");
    return true;
}

}  // namespace plat::posix
