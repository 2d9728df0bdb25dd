// An address to fetch, parsed once: scheme, host, port, path and query. The
// updater's addresses (the update server, a catalogue's DOWNLOAD), the download
// control's Server and URL, novalink-get's URL and every redirect it follows all
// go through it, under one set of rules:
//
//   [scheme "://"] host [":" port] [path] ["?" query] ["#" fragment]
//
// - Spaces at the two ends are dropped.
// - Scheme: one of the schemes the table in Url.cpp knows, in any case. It
//   decides the default port and the transport. Text without "://" means http
//   ("srv:8080/a" is http://srv:8080/a). Any other scheme refuses the address:
//   it would be fetched as something it is not.
// - Credentials ("user:pass@host") refuse the address. A password there would
//   end up in messages and logs, and "trusted.example@other.example" hides the
//   host it goes to. Credentials are given apart (novalink-get's --user, the
//   updater's account).
// - Host: a name or dotted address (letters, digits, "-", ".", "_", "~"), or an
//   IPv6 literal in brackets ("[::1]": hex digits, ":" and "."). Anything else,
//   an empty host included, refuses the address.
// - Port: 1 to 65535 in decimal. None, or an empty one ("srv:/"), is the
//   scheme's default. Anything else ("0", "65536", "80x", "-1") refuses the
//   address: a bad port never falls back to the default.
// - Control characters (0x00 to 0x1F, 0x7F) anywhere, fragment included, refuse
//   the address: in a request a line break starts lines of its own, and the
//   others reach the server's logs and the terminals they are read on.
// - Path and query: the bytes as written, neither decoded nor re-encoded; the
//   path is "/" when none is written. The fragment is the reader's, never the
//   server's: it is dropped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nl {

class Url {
public:
    // How a scheme's bytes travel.
    enum class Transport { Plain, Tls };

    // The address `text` names, or nothing, with the reason in *why (a phrase:
    // "the port 80x is not a number from 1 to 65535").
    static std::optional<Url> Parse(std::string_view text, std::string* why = nullptr);

    // The address a reference names when it is read here, as a redirect's
    // Location is (RFC 3986 section 5.2, without removing "." and ".."
    // segments): a whole address, "//host/path", "/path", "?query", or a path
    // relative to this one's folder. The result is held to the rules above.
    std::optional<Url> Resolve(std::string_view reference, std::string* why = nullptr) const;

    // The pieces of an address as written, before any rule: "HTTP://u@srv:81/a?b#c"
    // gives "HTTP", "u@srv:81", "/a?b" and "c". Without "://" there is no scheme
    // and the authority runs to the first "/", "?" or "#" ("dir/a" gives "dir"
    // and "/a"). For properties that keep what they are given (the control's
    // Server and URL).
    struct Pieces {
        std::string scheme, authority, target, fragment;
    };
    static Pieces Split(std::string_view text);

    // The default port of a scheme (any case); 0 for a scheme that is not fetched.
    static std::int32_t DefaultPort(std::string_view scheme);
    // "host" or "host:port" as the Host header carries it (RFC 9110 section 7.2):
    // the port only when it is not the scheme's default.
    static std::string AuthorityOf(std::string_view host, std::int32_t port, std::string_view scheme);

    const std::string& Scheme() const { return scheme_; }  // lower case: "http"
    Transport GetTransport() const;
    // As written in an address: "srv", "127.0.0.1", "[::1]".
    const std::string& Host() const { return host_; }
    // What to connect to: the host without an IPv6 literal's brackets.
    std::string HostName() const;
    std::int32_t Port() const { return port_; }
    // True when the address wrote a port, the default one too.
    bool NamesPort() const { return namesPort_; }
    const std::string& Path() const { return path_; }    // "/a/b.zip"
    // "?" and what follows, "?" alone too; "" when there is none.
    const std::string& Query() const { return query_; }
    // The request target: path and query.
    std::string Target() const;
    // The Host header's value: Host(), and ":" and the port when it is not the default.
    std::string Authority() const;
    // The whole address: scheme "://" Authority() Target().
    std::string Text() const;

private:
    Url() = default;

    std::string scheme_, host_, path_, query_;
    std::int32_t port_ = 0;
    bool namesPort_ = false;
};

}  // namespace nl
