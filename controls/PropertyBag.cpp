#include "controls/PropertyBag.h"

#include <cctype>
#include <cstdio>
#include <sstream>

#include "platform/SettingsFile.h"
#include "support/AsciiText.h"

namespace nl {

namespace {

bool SameValue(const Variant& a, const Variant& b) {
    if (a.IsInteger() && b.IsInteger()) return a.Integer() == b.Integer();
    return a == b;
}

std::string Escape(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[5];
                    std::snprintf(buf, sizeof buf, "\\x%02X", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

bool Unescape(const std::string& quoted, std::string& out) {
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return false;
    const std::string s = quoted.substr(1, quoted.size() - 2);
    out.clear();
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            if (s[i] == '"') return false;
            out += s[i];
            continue;
        }
        if (++i >= s.size()) return false;
        switch (s[i]) {
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            case 'r': out += '\r'; break;
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'x':
                if (i + 2 >= s.size() || !std::isxdigit(static_cast<unsigned char>(s[i + 1])) ||
                    !std::isxdigit(static_cast<unsigned char>(s[i + 2])))
                    return false;
                out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
                i += 2;
                break;
            default: return false;
        }
    }
    return true;
}

bool ParseInt32(const std::string& s, std::int32_t& v) {
    if (s.empty()) return false;
    std::size_t used = 0;
    long long n = 0;
    try {
        n = std::stoll(s, &used, 10);
    } catch (...) {
        return false;
    }
    if (used != s.size() || n < INT32_MIN || n > INT32_MAX) return false;
    v = static_cast<std::int32_t>(n);
    return true;
}

}  // namespace

void PropertyBag::WriteProperty(const std::string& key, const Variant& value, const Variant& writeDefault) {
    if (!storeDefaults_ && SameValue(value, writeDefault)) return;
    entries_.emplace_back(AsciiLower(key), value);
}

Variant PropertyBag::ReadProperty(const std::string& key, const Variant& readDefault) {
    const std::string k = AsciiLower(key);
    std::size_t& seen = cursors_[k];
    std::size_t n = 0;
    for (const auto& [ek, ev] : entries_) {
        if (ek != k) continue;
        if (n++ == seen) {
            ++seen;
            return ev;
        }
    }
    return readDefault;
}

std::int32_t PropertyBag::ReadInt32(const std::string& key, std::int32_t readDefault) {
    Variant v = ReadProperty(key, readDefault);
    if (v.IsInteger()) return v.Integer();
    if (v.kind() == Variant::Kind::Bool) return v.Bool() ? -1 : 0;
    std::int32_t n = 0;
    return v.IsText() && ParseInt32(v.Text(), n) ? n : readDefault;
}

bool PropertyBag::ReadBool(const std::string& key, bool readDefault) {
    Variant v = ReadProperty(key, readDefault);
    if (v.kind() == Variant::Kind::Bool) return v.Bool();
    if (v.IsInteger()) return v.Integer() != 0;
    if (v.IsText()) {
        std::string t = AsciiLower(v.Text());
        if (t == "true") return true;
        if (t == "false") return false;
    }
    return readDefault;
}

std::string PropertyBag::ReadString(const std::string& key, const std::string& readDefault) {
    Variant v = ReadProperty(key, readDefault);
    return v.IsEmpty() ? readDefault : v.ToText();
}

void PropertyBag::Clear() {
    entries_.clear();
    cursors_.clear();
}

std::string PropertyBag::ToText() const {
    std::string out;
    for (const auto& [key, value] : entries_) {
        out += key;
        out += '=';
        switch (value.kind()) {
            case Variant::Kind::Bool: out += value.Bool() ? "B:True" : "B:False"; break;
            case Variant::Kind::Int16:
            case Variant::Kind::Int32: out += "I:" + std::to_string(value.Integer()); break;
            default: out += "S:" + Escape(value.ToText()); break;
        }
        out += '\n';
    }
    return out;
}

bool PropertyBag::FromText(const std::string& text, std::string* why) {
    Clear();
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string& reason) {
        Clear();
        if (why) *why = "line " + std::to_string(lineNo) + ": " + reason;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos || eq == 0) return fail("expected key=kind:value");
        const std::string key = AsciiLower(line.substr(0, eq));
        const std::string rest = line.substr(eq + 1);
        if (rest.size() < 2 || rest[1] != ':') return fail("expected a kind (I, B or S) before the value");
        const std::string body = rest.substr(2);
        switch (rest[0]) {
            case 'I': {
                std::int32_t n = 0;
                if (!ParseInt32(body, n)) return fail("not a 32-bit number: " + body);
                entries_.emplace_back(key, Variant(n));
                break;
            }
            case 'B':
                if (body == "True")
                    entries_.emplace_back(key, Variant(true));
                else if (body == "False")
                    entries_.emplace_back(key, Variant(false));
                else
                    return fail("not True or False: " + body);
                break;
            case 'S': {
                std::string s;
                if (!Unescape(body, s)) return fail("badly quoted text");
                entries_.emplace_back(key, Variant(s));
                break;
            }
            default: return fail(std::string("unknown kind ") + rest[0]);
        }
    }
    return true;
}

bool PropertyBag::SaveToFile(const std::string& path, std::string* why) const {
    std::string reason;
    if (plat::WriteSettingsFile(path, ToText(), reason)) return true;
    if (why) *why = reason;
    return false;
}

bool PropertyBag::LoadFromFile(const std::string& path, std::string* why) {
    std::string text, reason;
    if (!plat::ReadSettingsFile(path, kMaxFileBytes, text, reason)) {
        Clear();
        if (why) *why = reason;
        return false;
    }
    return FromText(text, why);
}

}  // namespace nl
