#include "http/Url.h"

#include <cstdio>

#include "support/AsciiText.h"

namespace nl {

namespace {

struct SchemeRow {
    const char* name;
    std::int32_t defaultPort;
    Url::Transport transport;
};

// The schemes that are fetched. A new one is a row here and a transport.
constexpr SchemeRow kSchemes[] = {
    {"http", 80, Url::Transport::Plain},
    {"https", 443, Url::Transport::Tls},
};

const SchemeRow* FindScheme(std::string_view scheme) {
    const std::string lower = AsciiLower(std::string(scheme));
    for (const SchemeRow& row : kSchemes)
        if (lower == row.name) return &row;
    return nullptr;
}

std::string SchemeList() {
    std::string list;
    for (const SchemeRow& row : kSchemes) list += std::string(list.empty() ? "" : " or ") + row.name + ":";
    return list;
}

bool IsControl(char c) {
    const auto b = static_cast<unsigned char>(c);
    return b < 0x20 || b == 0x7f;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsHex(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsNameChar(char c) { return IsAlpha(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~'; }

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

// RFC 3986's scheme ":" at the start of a reference ("https:", "mailto:").
bool StartsWithScheme(std::string_view s) {
    if (s.empty() || !IsAlpha(s[0])) return false;
    for (std::size_t i = 1; i < s.size(); ++i) {
        const char c = s[i];
        if (c == ':') return true;
        if (!IsAlpha(c) && !IsDigit(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return false;
}

// A piece of a refused address as a reason names it: at most 40 bytes.
std::string Cut(const std::string& piece) { return piece.size() <= 40 ? piece : piece.substr(0, 40) + "..."; }

bool Refuse(std::string* why, std::string text) {
    if (why) *why = std::move(text);
    return false;
}

// Host and port from an authority without credentials.
bool ReadAuthority(const std::string& authority, std::string& host, std::string& port, std::string* why) {
    std::size_t end = 0;
    if (!authority.empty() && authority[0] == '[') {
        end = authority.find(']');
        if (end == std::string::npos) return Refuse(why, "the host's \"[\" has no \"]\"");
        const std::string literal = authority.substr(1, end - 1);
        bool colon = false;
        for (char c : literal) {
            if (!IsHex(c) && c != ':' && c != '.')
                return Refuse(why, "the host [" + Cut(literal) + "] is no IPv6 address");
            colon = colon || c == ':';
        }
        if (!colon) return Refuse(why, "the host [" + Cut(literal) + "] is no IPv6 address");
        ++end;
        if (end < authority.size() && authority[end] != ':')
            return Refuse(why, "the host " + Cut(authority) + " has text after its \"]\"");
    } else {
        end = authority.find(':');
        if (end == std::string::npos) end = authority.size();
        for (std::size_t i = 0; i < end; ++i)
            if (!IsNameChar(authority[i]))
                return Refuse(why, "the host " + Cut(authority.substr(0, end)) + " is no host name");
    }
    host = authority.substr(0, end);
    if (host.empty()) return Refuse(why, "it names no host");
    port = end < authority.size() ? authority.substr(end + 1) : "";
    return true;
}

}  // namespace

Url::Pieces Url::Split(std::string_view text) {
    Pieces p;
    const std::size_t hash = text.find('#');
    if (hash != std::string_view::npos) {
        p.fragment = std::string(text.substr(hash + 1));
        text = text.substr(0, hash);
    }
    const std::size_t mark = text.find("://");
    if (mark != std::string_view::npos && text.substr(0, mark).find_first_of("/?") == std::string_view::npos) {
        p.scheme = std::string(text.substr(0, mark));
        text = text.substr(mark + 3);
    }
    const std::size_t end = text.find_first_of("/?");
    p.authority = std::string(text.substr(0, end));
    if (end != std::string_view::npos) p.target = std::string(text.substr(end));
    return p;
}

std::optional<Url> Url::Parse(std::string_view text, std::string* why) {
    text = Trimmed(text);
    for (char c : text) {
        if (IsControl(c)) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            Refuse(why, std::string("it holds a control character (") + hex + ")");
            return std::nullopt;
        }
    }
    if (text.empty()) {
        Refuse(why, "it is empty");
        return std::nullopt;
    }
    // Without its fragment, and the spaces before it.
    const Pieces p = Split(Trimmed(text.substr(0, text.find('#'))));
    const SchemeRow* scheme = FindScheme(p.scheme.empty() ? "http" : p.scheme);
    if (!scheme) {
        Refuse(why, "not an " + SchemeList() + " address");
        return std::nullopt;
    }
    if (p.authority.find('@') != std::string::npos) {
        Refuse(why, "credentials (\"user:password@\") are not taken from an address");
        return std::nullopt;
    }
    Url url;
    std::string port;
    if (!ReadAuthority(p.authority, url.host_, port, why)) return std::nullopt;
    url.scheme_ = scheme->name;
    url.port_ = scheme->defaultPort;
    if (!port.empty()) {
        std::int32_t value = 0;
        bool digits = port.size() <= 5;
        for (char c : port) {
            digits = digits && IsDigit(c);
            if (digits) value = value * 10 + (c - '0');
        }
        if (!digits || value < 1 || value > 65535) {
            Refuse(why, "the port " + Cut(port) + " is not a number from 1 to 65535");
            return std::nullopt;
        }
        url.port_ = value;
        url.namesPort_ = true;
    }
    const std::size_t question = p.target.find('?');
    url.path_ = p.target.substr(0, question);
    if (url.path_.empty()) url.path_ = "/";
    if (question != std::string::npos) url.query_ = "?" + p.target.substr(question + 1);
    return url;
}

std::optional<Url> Url::Resolve(std::string_view reference, std::string* why) const {
    reference = Trimmed(reference);
    std::string whole;
    if (StartsWithScheme(reference)) {
        // A scheme of its own: only a whole address of a fetched scheme will do.
        const std::size_t colon = reference.find(':');
        if (reference.substr(colon, 3) != "://" || !FindScheme(reference.substr(0, colon))) {
            Refuse(why, "not an " + SchemeList() + " address");
            return std::nullopt;
        }
        whole = std::string(reference);
    } else if (reference.substr(0, 2) == "//") {
        whole = scheme_ + ":" + std::string(reference);
    } else {
        const std::string here = scheme_ + "://" + Authority();
        if (reference.empty() || reference[0] == '#') {
            whole = here + Target();
        } else if (reference[0] == '/') {
            whole = here + std::string(reference);
        } else if (reference[0] == '?') {
            whole = here + path_ + std::string(reference);
        } else {
            whole = here + path_.substr(0, path_.rfind('/') + 1) + std::string(reference);
        }
    }
    return Parse(whole, why);
}

std::int32_t Url::DefaultPort(std::string_view scheme) {
    const SchemeRow* row = FindScheme(scheme);
    return row ? row->defaultPort : 0;
}

std::string Url::AuthorityOf(std::string_view host, std::int32_t port, std::string_view scheme) {
    std::string authority(host);
    if (port != DefaultPort(scheme)) authority += ":" + std::to_string(port);
    return authority;
}

Url::Transport Url::GetTransport() const { return FindScheme(scheme_)->transport; }

std::string Url::HostName() const {
    return host_.size() > 1 && host_.front() == '[' ? host_.substr(1, host_.size() - 2) : host_;
}

std::string Url::Target() const { return path_ + query_; }

std::string Url::Authority() const { return AuthorityOf(host_, port_, scheme_); }

std::string Url::Text() const { return scheme_ + "://" + Authority() + Target(); }

}  // namespace nl
