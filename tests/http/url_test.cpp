// Addresses: the parts of each, the ones refused and why, and where redirects lead.
#include <gtest/gtest.h>

#include "http/Url.h"

using nl::Url;

namespace {

constexpr const char* kBase = "http://127.0.0.1:18080/a/b.zip?q";

const struct Case {
    const char* text;
    const char* base;     // resolve `text` here; nullptr: parse it alone
    const char* address;  // Text(): the scheme, the Host header's value and the target; nullptr: refused
    int port;
    const char* refusal;  // a part of the reason
} kCases[] = {
    {"http://updates.example.net", nullptr, "http://updates.example.net/", 80, ""},
    {"http://127.0.0.1:8080", nullptr, "http://127.0.0.1:8080/", 8080, ""},
    {"http://127.0.0.1:8080/download/blmnl.cfg", nullptr, "http://127.0.0.1:8080/download/blmnl.cfg", 8080, ""},
    {"http://srv/m_update/blmnl.cfg?x=1:2", nullptr, "http://srv/m_update/blmnl.cfg?x=1:2", 80, ""},
    {"srv:81/a", nullptr, "http://srv:81/a", 81, ""},
    {"  HTTP://Srv:80/a/b.zip?q=1#part/x  ", nullptr, "http://Srv/a/b.zip?q=1", 80, ""},
    {"http://[::1]:18080/x", nullptr, "http://[::1]:18080/x", 18080, ""},
    {"http://[2001:db8::1]/", nullptr, "http://[2001:db8::1]/", 80, ""},
    {"http://srv:/a", nullptr, "http://srv/a", 80, ""},
    {"http://srv?q", nullptr, "http://srv/?q", 80, ""},
    {"http://srv:0/a", nullptr, nullptr, 0, "the port 0 is not"},
    {"http://srv:65536/a", nullptr, nullptr, 0, "the port 65536 is not"},
    {"http://srv:80x/a", nullptr, nullptr, 0, "the port 80x is not"},
    {"http://srv:-1/", nullptr, nullptr, 0, "the port -1 is not"},
    {"http://user:pw@srv:8081/a", nullptr, nullptr, 0, "credentials"},
    {"http://good.example@evil.example/", nullptr, nullptr, 0, "credentials"},
    {"HTTPS://srv/", nullptr, "https://srv/", 443, ""},
    {"ftp://srv/", nullptr, nullptr, 0, "not an http: or https: address"},
    {"http://h/a\r\nX-Injected: 1", nullptr, nullptr, 0, "control character (0x0d)"},
    {"http://h/a#\x1b[2J", nullptr, nullptr, 0, "control character (0x1b)"},
    {"http://", nullptr, nullptr, 0, "names no host"},
    {" ", nullptr, nullptr, 0, "empty"},
    {"http://[::1/", nullptr, nullptr, 0, "no \"]\""},
    {"http://[v1.x]/", nullptr, nullptr, 0, "no IPv6 address"},
    {"http://[::1]x/", nullptr, nullptr, 0, "after its \"]\""},
    {"http://a b/", nullptr, nullptr, 0, "no host name"},
    {"/files/pkg.bin", kBase, "http://127.0.0.1:18080/files/pkg.bin", 18080, ""},
    {"c.zip", kBase, "http://127.0.0.1:18080/a/c.zip", 18080, ""},
    {"?r=1", kBase, "http://127.0.0.1:18080/a/b.zip?r=1", 18080, ""},
    {"#top", kBase, "http://127.0.0.1:18080/a/b.zip?q", 18080, ""},
    {"//other:81/x", kBase, "http://other:81/x", 81, ""},
    {"http://elsewhere.example/new.bin", kBase, "http://elsewhere.example/new.bin", 80, ""},
    {"https://127.0.0.1/files/pkg.bin", kBase, "https://127.0.0.1/files/pkg.bin", 443, ""},
    {"mailto:someone@example.net", kBase, nullptr, 0, "not an http: or https: address"},
    {"//u:p@other/x", kBase, nullptr, 0, "credentials"},
};

}  // namespace

TEST(Url, PartsAndRefusals) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.base ? "at " + std::string(c.base) + ": " : "") + c.text);
        std::string why;
        const std::optional<Url> url = c.base ? Url::Parse(c.base)->Resolve(c.text, &why) : Url::Parse(c.text, &why);
        ASSERT_EQ(url.has_value(), c.address != nullptr) << why;
        if (!url) {
            EXPECT_NE(why.find(c.refusal), std::string::npos) << why;
            continue;
        }
        EXPECT_EQ(url->Text(), c.address);
        // https: alone goes over TLS.
        EXPECT_EQ(url->GetTransport() == Url::Transport::Tls, url->Scheme() == "https");
        EXPECT_EQ(url->Port(), c.port);
        EXPECT_EQ(Url::Parse(url->Text())->Text(), url->Text());  // reads back as itself
    }
}
