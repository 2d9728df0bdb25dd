// Addresses: the parts each one gives, the ones refused and why, and the
// addresses that redirects lead to.
#include <gtest/gtest.h>

#include <string>

#include "http/Url.h"

using nl::Url;

namespace {

constexpr const char* kBase = "http://127.0.0.1:18080/a/b.zip?q";

struct Case {
    const char* text;
    const char* base;    // resolve `text` here; nullptr: parse it alone
    const char* host;    // as written; nullptr: refused
    int port;
    const char* target;
    const char* hostHeader;
    const char* refusal;  // a part of the reason
};

const Case kCases[] = {
    {"http://updates.example.net", nullptr, "updates.example.net", 80, "/", "updates.example.net", ""},
    {"http://127.0.0.1:8080", nullptr, "127.0.0.1", 8080, "/", "127.0.0.1:8080", ""},
    {"http://127.0.0.1:8080/download/blmnl.cfg", nullptr, "127.0.0.1", 8080, "/download/blmnl.cfg", "127.0.0.1:8080", ""},
    {"http://srv/m_update/blmnl.cfg?x=1:2", nullptr, "srv", 80, "/m_update/blmnl.cfg?x=1:2", "srv", ""},
    {"srv:81/a", nullptr, "srv", 81, "/a", "srv:81", ""},
    {"  HTTP://Srv:80/a/b.zip?q=1#part/x  ", nullptr, "Srv", 80, "/a/b.zip?q=1", "Srv", ""},
    {"http://[::1]:18080/x", nullptr, "[::1]", 18080, "/x", "[::1]:18080", ""},
    {"http://[2001:db8::1]/", nullptr, "[2001:db8::1]", 80, "/", "[2001:db8::1]", ""},
    {"http://srv:/a", nullptr, "srv", 80, "/a", "srv", ""},
    {"http://srv?q", nullptr, "srv", 80, "/?q", "srv", ""},
    {"http://srv:0/a", nullptr, nullptr, 0, "", "", "the port 0 is not"},
    {"http://srv:65536/a", nullptr, nullptr, 0, "", "", "the port 65536 is not"},
    {"http://srv:80x/a", nullptr, nullptr, 0, "", "", "the port 80x is not"},
    {"http://srv:-1/", nullptr, nullptr, 0, "", "", "the port -1 is not"},
    {"http://user:pw@srv:8081/a", nullptr, nullptr, 0, "", "", "credentials"},
    {"http://good.example@evil.example/", nullptr, nullptr, 0, "", "", "credentials"},
    {"HTTPS://srv/", nullptr, "srv", 443, "/", "srv", ""},
    {"ftp://srv/", nullptr, nullptr, 0, "", "", "not an http: or https: address"},
    {"http://h/a\r\nX-Injected: 1", nullptr, nullptr, 0, "", "", "control character (0x0d)"},
    {"http://h/a#\x1b[2J", nullptr, nullptr, 0, "", "", "control character (0x1b)"},
    {"http://", nullptr, nullptr, 0, "", "", "names no host"},
    {" ", nullptr, nullptr, 0, "", "", "empty"},
    {"http://[::1/", nullptr, nullptr, 0, "", "", "no \"]\""},
    {"http://[v1.x]/", nullptr, nullptr, 0, "", "", "no IPv6 address"},
    {"http://[::1]x/", nullptr, nullptr, 0, "", "", "after its \"]\""},
    {"http://a b/", nullptr, nullptr, 0, "", "", "no host name"},
    {"/files/pkg.bin", kBase, "127.0.0.1", 18080, "/files/pkg.bin", "127.0.0.1:18080", ""},
    {"c.zip", kBase, "127.0.0.1", 18080, "/a/c.zip", "127.0.0.1:18080", ""},
    {"?r=1", kBase, "127.0.0.1", 18080, "/a/b.zip?r=1", "127.0.0.1:18080", ""},
    {"#top", kBase, "127.0.0.1", 18080, "/a/b.zip?q", "127.0.0.1:18080", ""},
    {"//other:81/x", kBase, "other", 81, "/x", "other:81", ""},
    {"http://elsewhere.example/new.bin", kBase, "elsewhere.example", 80, "/new.bin", "elsewhere.example", ""},
    {"https://127.0.0.1/files/pkg.bin", kBase, "127.0.0.1", 443, "/files/pkg.bin", "127.0.0.1", ""},
    {"mailto:someone@example.net", kBase, nullptr, 0, "", "", "not an http: or https: address"},
    {"//u:p@other/x", kBase, nullptr, 0, "", "", "credentials"},
};

}  // namespace

TEST(Url, PartsAndRefusals) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.base ? "at " + std::string(c.base) + ": " : "") + c.text);
        std::string why;
        const std::optional<Url> url = c.base ? Url::Parse(c.base)->Resolve(c.text, &why) : Url::Parse(c.text, &why);
        ASSERT_EQ(url.has_value(), c.host != nullptr) << why;
        if (!url) {
            EXPECT_NE(why.find(c.refusal), std::string::npos) << why;
            continue;
        }
        // Lower case, and https: alone goes over TLS.
        const bool secure = std::string(c.text).find("ttps:") != std::string::npos || std::string(c.text).find("TTPS:") != std::string::npos;
        EXPECT_EQ(url->Scheme(), secure ? "https" : "http");
        EXPECT_EQ(url->GetTransport() == Url::Transport::Tls, secure);
        EXPECT_EQ(url->Host(), c.host);
        EXPECT_EQ(url->Port(), c.port);
        EXPECT_EQ(url->Target(), c.target);
        EXPECT_EQ(url->Authority(), c.hostHeader);
        // The whole address reads back as the same one.
        EXPECT_EQ(Url::Parse(url->Text())->Text(), url->Text());
    }
}
