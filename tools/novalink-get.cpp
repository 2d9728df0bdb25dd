// novalink-get: a command-line downloader built on the download control. Every
// transfer runs through DownloadFile exactly as the updater's windows run it.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "http/DownloadFile.h"
#include "http/HttpErrors.h"
#include "http/HttpHeader.h"
#include "http/prpProxy.h"
#include "http/prpServer.h"
#include "http/Url.h"
#include "net/SocketErrorText.h"
#include "platform/App.h"
#include "platform/Console.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/VisibleText.h"
#include "platform/Window.h"
#include "platform/Winsock.h"
#include "controls/PropertyBag.h"
#include "controls/PropertySheet.h"
#include "support/AsciiText.h"
#include "support/ErrorReport.h"
#include "support/GuardedMain.h"
#include "support/ProgramVersion.h"

#ifdef _WIN32
#define NL_ENVIRONMENT _environ
#else
extern "C" char** environ;
#define NL_ENVIRONMENT environ
#endif

namespace {

enum ExitCode {
    kOk = 0,
    kUsage = 1,
    kRefused = 2,
    kTimeOut = 3,
    kConnection = 4,
    kLocalFile = 5,
    kTruncated = 6,
    kNothingLeft = 7,
    kNoLength = 8,
    kInternal = 9,
    kLonger = 10,
};

const char* const kHelp =
    "Usage: novalink-get [options] URL\n"
    "Downloads [http://]HOST[:PORT][/PATH] or https://HOST[:PORT][/PATH] into a local\n"
    "file (HOST: a name, an IPv4 address or [IPv6]; no USER:PASS@, which --user\n"
    "gives).\n"
    "An https: server must show a certificate for HOST that leads to a root the\n"
    "system trusts (or one of --cacert); TLS 1.2 at least. There is no way around it.\n"
    "\n"
    "Options:\n"
    "  -o FILE               local file (default: the last part of the URL's path); an\n"
    "                        existing one is replaced only by a whole new file; a\n"
    "                        failure before any of the file arrived leaves no new file\n"
    "  -o -                  write the file to standard output as it arrives (a copy is\n"
    "                        held in a private folder in $TMPDIR until the end); what\n"
    "                        went out cannot be taken back: a failure after the first\n"
    "                        bytes says on stderr how many had gone out, with its exit\n"
    "                        code; no more than the announced length goes out; refused\n"
    "                        when standard output is a terminal\n"
    "  -L, --location        follow a redirect (301, 302, 303, 307, 308) to another\n"
    "                        http:// or https:// address, up to 10, one new request\n"
    "                        each; never from https:// down to http://; --user is\n"
    "                        sent only to the first scheme, host and port\n"
    "  --cacert FILE         trust the certificates of this PEM file besides the\n"
    "                        system's, for https:// servers\n"
    "  -c                    resume: continue a partial local file with a Range request\n"
    "  --no-clobber          refuse the transfer when the local file exists\n"
    "  --http1.0             send HTTP/1.0 (default HTTP/1.1)\n"
    "  --timeout SECONDS     idle time-out, 10 to 2000 (default 30)\n"
    "  --user USER:PASS      Basic authorization for the server\n"
    "  --proxy HOST:PORT     go through this HTTP proxy (port 1080 when none is given);\n"
    "                        without it (and without a proxy in --settings) http_proxy\n"
    "                        or else HTTP_PROXY ([http://][USER:PASS@]HOST[:PORT]); for an\n"
    "                        https:// URL, https_proxy or else HTTPS_PROXY, asked for a\n"
    "                        CONNECT tunnel through which TLS runs to the server; unless\n"
    "                        no_proxy or else NO_PROXY lists the host (names, domain\n"
    "                        suffixes, or *); a CGI program (REQUEST_METHOD is set)\n"
    "                        takes no HTTP_PROXY, which a client's Proxy: header sets\n"
    "  --proxy-user USER:PASS  Basic authorization for the proxy (needs --proxy)\n"
    "  --referer TEXT        Referer header (default: made up from the URL)\n"
    "  --user-agent TEXT     User-Agent header\n"
    "  --cache               leave out the no-cache headers\n"
    "  --settings FILE       load the control's saved settings first; the other options\n"
    "                        then apply on top (URL and -o become optional)\n"
    "  --save-settings FILE  save the control's settings after the options applied\n"
    "  --print-request       print the request that would be sent, and exit (the old\n"
    "                        name --head still works; nothing is sent)\n"
    "  --configure           with --settings FILE: edit the control's server and proxy\n"
    "                        settings in a window (the terminal where there is no\n"
    "                        display); Apply and OK save them to FILE\n"
    "  -q                    no progress bar or summary\n"
    "  -h, --help            this text\n"
    "  --version             the version\n"
    "\n"
    "Exit codes:\n"
    "    0  the file arrived whole\n"
    "    1  usage error (bad option, URL or settings file; a control character in\n"
    "       the URL, --user-agent, --referer, --user, --proxy or --proxy-user:\n"
    "       error 380)\n"
    "    2  the server or proxy refused the request (an HTTP status other than\n"
    "       200/206)\n"
    "    3  time-out: no data for longer than the idle time-out\n"
    "    4  connection or name error (host not found, connection refused or reset)\n"
    "    5  local file error (cannot create, replace, open or write it; exists\n"
    "       with --no-clobber; standard output cannot be written, as when its\n"
    "       reader has gone)\n"
    "    6  truncated: the connection closed before the whole file arrived\n"
    "    7  nothing left: the local file already holds everything the server\n"
    "       offers\n"
    "    8  the reply gives no usable length (none, not a number, or more than 18\n"
    "       digits)\n"
    "    9  an unexpected failure (the message names it)\n"
    "   10  longer than announced: the server sent more bytes than it said it\n"
    "       would; an existing file is left as it was\n"
    "  130  interrupted by Ctrl+C (143 SIGTERM, 129 SIGHUP): the temporary file is\n"
    "       removed, an existing file is left as it was; a second one ends at once\n";

// One line on stderr; what a server or a settings file put into it is shown, never obeyed.
void Fail(const std::string& message) {
    std::fprintf(stderr, "novalink-get: %s\n", plat::VisibleText(message).c_str());
}

bool SplitCredentials(const std::string& text, std::string& user, std::string& pass) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) return false;
    user = text.substr(0, colon);
    pass = text.substr(colon + 1);
    return true;
}

bool ParsePort(const std::string& text, std::int32_t& port) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    port = std::atoi(text.c_str());
    return port > 0 && port <= 65535;
}

// "HOST[:PORT]" -> host and port; false when the port is not a number.
bool SplitHostPort(const std::string& text, std::string& host, std::int32_t& port) {
    const auto colon = text.rfind(':');
    host = text.substr(0, colon);
    if (colon == std::string::npos) return !host.empty();
    return !host.empty() && ParsePort(text.substr(colon + 1), port);
}

std::string DefaultFileName(const std::string& path) {
    std::string p = path.substr(0, path.find('?'));
    const auto slash = p.rfind('/');
    std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
    return name.empty() ? "index.html" : name;
}

std::string Human(double bytes) {
    const char* units[] = {"B", "KiB", "MiB", "GiB"};
    int u = 0;
    while (bytes >= 1024.0 && u < 3) {
        bytes /= 1024.0;
        ++u;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, u == 0 ? "%.0f %s" : "%.1f %s", bytes, units[u]);
    return buf;
}

class Progress {
public:
    Progress(bool enabled, bool tty) : enabled_(enabled && tty), start_(plat::TickCount()) {}

    void Update(const nl::DownloadFile& d, bool force = false) {
        if (!enabled_) return;
        const std::uint64_t now = plat::TickCount();
        if (!force && now - lastDraw_ < 100) return;
        lastDraw_ = now;
        const double done = static_cast<double>(d.DownloadedBytes());
        const double total = static_cast<double>(d.AnnouncedBytes());
        const double secs = static_cast<double>(now - start_) / 1000.0;
        const double rate = secs > 0 ? received_ / secs : 0;
        std::string tail = "  " + Human(done);
        if (total > 0) tail += " / " + Human(total);
        tail += "  " + Human(rate) + "/s";
        const int cols = plat::StderrColumns();
        const int barWidth = std::max(10, cols - static_cast<int>(tail.size()) - 9);
        std::string bar(static_cast<std::size_t>(barWidth), ' ');
        int percent = 0;
        if (total > 0) {
            const double ratio = std::min(1.0, done / total);
            percent = static_cast<int>(ratio * 100.0 + 0.5);
            const auto fill = static_cast<std::size_t>(ratio * barWidth);
            for (std::size_t i = 0; i < fill; ++i) bar[i] = '#';
        }
        std::fprintf(stderr, "\r[%s] %3d%%%s", bar.c_str(), percent, tail.c_str());
        std::fflush(stderr);
        drawn_ = true;
    }
    void Received(std::int32_t n) { received_ += n; }
    void End() {
        if (drawn_) std::fputc('\n', stderr);
        drawn_ = false;
    }
    double Seconds() const { return static_cast<double>(plat::TickCount() - start_) / 1000.0; }
    double ReceivedBytes() const { return received_; }

private:
    bool enabled_;
    std::uint64_t start_;
    std::uint64_t lastDraw_ = 0;
    double received_ = 0;
    bool drawn_ = false;
};

// ---- step 1: the command line ------------------------------------------------

struct Options {
    std::string urlText, output, settingsIn, settingsOut, referer, agent, user, proxy, proxyUser, caFile;
    bool resume = false, noClobber = false, http10 = false, cache = false, headOnly = false, quiet = false;
    bool configure = false;
    bool location = false;
    bool haveReferer = false, haveAgent = false, haveUser = false, haveProxyUser = false;
    std::int32_t timeout = -1;
};

// Reads the options. An exit code when the program ends here (--help, a usage
// error), nothing when it goes on.
std::optional<int> Parse(const std::vector<std::string>& args, Options& o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                Fail("option " + a + " needs a value (see --help)");
                return false;
            }
            into = args[++i];
            return true;
        };
        bool ok = true;
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            return kOk;
        } else if (a == "--version") {
            nl::PrintVersion("novalink-get");
            return kOk;
        } else if (a == "-o") {
            ok = value(o.output);
        } else if (a == "-c") {
            o.resume = true;
        } else if (a == "--no-clobber") {
            o.noClobber = true;
        } else if (a == "--http1.0") {
            o.http10 = true;
        } else if (a == "--timeout") {
            std::string t;
            if (!value(t)) return kUsage;
            char* end = nullptr;
            long v = std::strtol(t.c_str(), &end, 10);
            if (t.empty() || *end || v < 10 || v > 2000) {
                Fail("--timeout takes a whole number of seconds from 10 to 2000, not '" + t + "'");
                return kUsage;
            }
            o.timeout = static_cast<std::int32_t>(v);
        } else if (a == "--user") {
            ok = o.haveUser = value(o.user);
        } else if (a == "--proxy") {
            ok = value(o.proxy);
        } else if (a == "--cacert") {
            ok = value(o.caFile);
        } else if (a == "--proxy-user") {
            ok = o.haveProxyUser = value(o.proxyUser);
        } else if (a == "--referer") {
            ok = o.haveReferer = value(o.referer);
        } else if (a == "--user-agent") {
            ok = o.haveAgent = value(o.agent);
        } else if (a == "--cache") {
            o.cache = true;
        } else if (a == "--settings") {
            ok = value(o.settingsIn);
        } else if (a == "--save-settings") {
            ok = value(o.settingsOut);
        } else if (a == "--print-request" || a == "--head") {
            o.headOnly = true;
        } else if (a == "-L" || a == "--location") {
            o.location = true;
        } else if (a == "--configure") {
            o.configure = true;
        } else if (a == "-q") {
            o.quiet = true;
        } else if (a.size() > 1 && a[0] == '-') {
            Fail("unknown option " + a + " (see --help)");
            return kUsage;
        } else if (o.urlText.empty()) {
            o.urlText = a;
        } else {
            Fail("more than one URL given: " + o.urlText + " and " + a);
            return kUsage;
        }
        if (!ok) return kUsage;
    }
    if (o.resume && o.noClobber) {
        Fail("-c and --no-clobber exclude each other");
        return kUsage;
    }
    if (o.output == "-" && (o.resume || o.noClobber)) {
        Fail("-o - (standard output) takes neither -c nor --no-clobber: there is no local file to resume "
             "or keep");
        return kUsage;
    }
    // What a server sends is not put raw on a terminal, where its control
    // sequences would act.
    if (o.output == "-" && plat::StdoutIsTerminal()) {
        Fail("-o - would write the file onto the terminal: send standard output to a file or a pipe");
        return kUsage;
    }
    if (o.configure) {
        if (o.settingsIn.empty()) {
            Fail("--configure needs --settings FILE (the file the settings are saved to)");
            return kUsage;
        }
        const bool other = !o.urlText.empty() || !o.output.empty() || !o.settingsOut.empty() || o.resume ||
                           o.noClobber || o.http10 || o.cache || o.headOnly || o.haveReferer || o.haveAgent ||
                           o.haveUser || !o.proxy.empty() || o.haveProxyUser || o.timeout != -1 ||
                           o.location;
        if (other) {
            Fail("--configure takes only --settings FILE");
            return kUsage;
        }
    }
    return std::nullopt;
}

// ---- step 2: the control's settings ---------------------------------------------

// The option that sets a property of the control ("DownloadFile.Agent").
std::string OptionOf(const std::string& source) {
    const std::string property = source.substr(source.find('.') + 1);
    if (property == "Agent") return "--user-agent";
    if (property == "Referer") return "--referer";
    if (property == "UserName" || property == "UserPassword") return "--user";
    if (property == "ProxyUserName" || property == "ProxyPassword") return "--proxy-user";
    if (property == "ProxyServer") return "--proxy";
    return "the URL";
}

// The first control character (0x00 to 0x1F, 0x7F) in a text, or -1. Such a
// character has no place in a request: a line break would start lines of its
// own, and the others reach the server, its logs and their readers' terminals.
int ControlCharacter(const std::string& text) {
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7f) return b;
    }
    return -1;
}

// The refusal of a text with a control character in it, as the control refuses
// one: error 380, "Invalid property value".
std::string ControlCharacterRefusal(const std::string& what, int c) {
    if (c == '\r' || c == '\n' || c == 0)
        return what + ": the value holds a line break (CR or LF) or a NUL character, which cannot be sent in a "
                      "request (error 380)";
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%02x", static_cast<unsigned>(c & 0xff));
    return what + ": the value holds a control character (" + hex + "), which cannot be sent in a request "
                  "(error 380)";
}

// The first of the variables that is set and not empty: its name and value.
std::pair<std::string, std::string> Variable(std::initializer_list<const char*> names) {
    for (const char* name : names)
        if (const char* value = std::getenv(name); value && *value) return {name, value};
    return {"", ""};
}

// The variable spelt exactly so, whatever case the system's own look-up ignores.
std::string ExactVariable(const std::string& name) {
    for (char** entry = NL_ENVIRONMENT; entry && *entry; ++entry) {
        const std::string e = *entry;
        if (e.size() > name.size() && e.compare(0, name.size(), name) == 0 && e[name.size()] == '=')
            return e.substr(name.size() + 1);
    }
    return "";
}

// Whether no_proxy's list (names separated by commas or blanks) spares the
// host: "*" spares every host, "example.net" or ".example.net" that name and
// every name under it.
bool SparedFromProxy(const std::string& host, const std::string& list) {
    const std::string h = nl::AsciiLower(host);
    std::size_t i = 0;
    while (i < list.size()) {
        const std::size_t end = std::min(list.find_first_of(", \t", i), list.size());
        std::string item = nl::AsciiLower(list.substr(i, end - i));
        i = end + 1;
        if (item == "*") return true;
        if (!item.empty() && item[0] == '.') item.erase(0, 1);
        if (item.empty()) continue;
        if (h == item || (h.size() > item.size() && h.compare(h.size() - item.size() - 1, std::string::npos,
                                                              "." + item) == 0))
            return true;
    }
    return false;
}

// Without --proxy and a proxy from the settings file: the proxy that
// http_proxy (else HTTP_PROXY) names, [http://][USER:PASS@]HOST[:PORT], unless
// no_proxy (else NO_PROXY) spares the server. An exit code when it is unusable.
std::optional<int> ProxyFromEnvironment(nl::DownloadFile& d, bool haveProxyUser) {
    // Run as a CGI program, HTTP_PROXY is what a client's "Proxy:" header says:
    // only the lower-case name, which no header can give, is taken then.
    const bool cgi = !Variable({"REQUEST_METHOD"}).second.empty();
    const auto [name, value] = d.Secure() ? Variable({"https_proxy", "HTTPS_PROXY"})
                               : cgi ? std::pair<std::string, std::string>{"http_proxy", ExactVariable("http_proxy")}
                                     : Variable({"http_proxy", "HTTP_PROXY"});
    if (value.empty() || SparedFromProxy(d.Server(), Variable({"no_proxy", "NO_PROXY"}).second)) return std::nullopt;
    // The value may hold a password: it is not repeated in a message.
    if (const int c = ControlCharacter(value); c >= 0) {
        Fail(ControlCharacterRefusal(name, c));
        return kUsage;
    }
    std::string rest = value;
    const std::string lower = nl::AsciiLower(rest);
    if (lower.rfind("http://", 0) == 0) {
        rest.erase(0, 7);
    } else if (lower.find("://") != std::string::npos) {
        Fail(name + ": only an http:// proxy can be used");
        return kUsage;
    }
    rest = rest.substr(0, rest.find('/'));
    std::string credentials;
    if (const auto at = rest.rfind('@'); at != std::string::npos) {
        credentials = rest.substr(0, at);
        rest.erase(0, at + 1);
    }
    std::string host, user, pass;
    std::int32_t port = 1080;
    if (!SplitHostPort(rest, host, port) || (!credentials.empty() && !SplitCredentials(credentials, user, pass))) {
        Fail(name + " takes [http://][USER:PASS@]HOST[:PORT]");
        return kUsage;
    }
    d.SetProxyServer(host);
    d.SetProxyPort(port);
    if (!credentials.empty() && !haveProxyUser) {
        d.SetProxyUserName(user);
        d.SetProxyPassword(pass);
    }
    return std::nullopt;
}

// Loads the settings file and applies the options on top. An exit code when the
// settings are unusable.
std::optional<int> Configure(Options o, nl::DownloadFile& d) {
    const std::pair<const std::string*, const char*> given[] = {
        {&o.urlText, "the URL"}, {&o.agent, "--user-agent"}, {&o.referer, "--referer"},
        {&o.user, "--user"},     {&o.proxy, "--proxy"},      {&o.proxyUser, "--proxy-user"},
    };
    for (const auto& [text, option] : given) {
        const int c = ControlCharacter(*text);
        if (c >= 0) {
            Fail(ControlCharacterRefusal(option, c));
            return kUsage;
        }
    }
    try {
        if (!o.settingsIn.empty()) {
            nl::PropertyBag bag;
            std::string why;
            if (!bag.LoadFromFile(o.settingsIn, &why)) {
                Fail("cannot load settings from " + o.settingsIn + ": " + why);
                return kUsage;
            }
            d.ReadProperties(bag);
        }
        if (!o.urlText.empty()) {
            std::string why;
            const std::optional<nl::Url> url = nl::Url::Parse(o.urlText, &why);
            if (!url) {
                Fail("the URL " + o.urlText + " cannot be fetched: " + why +
                     (why.find("credentials") != std::string::npos ? "; --user gives them" : ""));
                return kUsage;
            }
            d.SetAddress(*url);
            if (o.output.empty()) o.output = DefaultFileName(url->Path());
        } else if (o.settingsIn.empty()) {
            Fail("no URL given (see --help)");
            return kUsage;
        }
        if (!o.output.empty()) d.SetLocalFileName(o.output);
        if (d.LocalFileName().empty()) {
            Fail("no local file: give -o FILE");
            return kUsage;
        }
        if (o.resume)
            d.SetWhileFileExist(1);
        else if (o.noClobber)
            d.SetWhileFileExist(2);
        else if (o.settingsIn.empty())
            d.SetWhileFileExist(0);
        if (o.http10)
            d.SetHTTPVersion(0);
        else if (o.settingsIn.empty())
            d.SetHTTPVersion(1);
        if (o.timeout > 0) d.SetTimeOut(o.timeout);
        if (!o.caFile.empty()) d.SetCaFile(o.caFile);
        if (o.haveUser) {
            std::string u, p;
            if (!SplitCredentials(o.user, u, p)) {
                Fail("--user takes USER:PASS");
                return kUsage;
            }
            d.SetUserName(u);
            d.SetUserPassword(p);
        }
        if (!o.proxy.empty()) {
            std::string host;
            std::int32_t port = 1080;
            if (!SplitHostPort(o.proxy, host, port)) {
                Fail("--proxy takes HOST:PORT, not '" + o.proxy + "'");
                return kUsage;
            }
            d.SetProxyServer(host);
            d.SetProxyPort(port);
        } else if (d.ProxyServer().empty()) {
            if (auto code = ProxyFromEnvironment(d, o.haveProxyUser)) return *code;
        }
        if (o.haveProxyUser) {
            std::string u, p;
            if (!SplitCredentials(o.proxyUser, u, p)) {
                Fail("--proxy-user takes USER:PASS");
                return kUsage;
            }
            if (d.ProxyServer().empty()) {
                // The control would send them to the web server itself.
                Fail("--proxy-user needs a proxy (--proxy HOST:PORT)");
                return kUsage;
            }
            d.SetProxyUserName(u);
            d.SetProxyPassword(p);
        }
        if (o.haveReferer) d.SetReferer(o.referer);
        if (o.haveAgent) d.SetAgent(o.agent);
        if (o.cache) d.SetNoCache(false);
        // The options were checked above: what is left came from the settings file.
        const std::pair<std::string, const char*> sent[] = {
            {d.Server(), "Server"},          {d.ProxyServer(), "ProxyServer"},
            {d.URL(), "URL"},                {d.Agent(), "Agent"},
            {d.Referer(), "Referer"},        {d.UserName(), "UserName"},
            {d.UserPassword(), "UserPassword"}, {d.ProxyUserName(), "ProxyUserName"},
            {d.ProxyPassword(), "ProxyPassword"},
        };
        for (const auto& [text, key] : sent) {
            const int c = ControlCharacter(text);
            if (c >= 0) {
                Fail(ControlCharacterRefusal("the setting " + std::string(key) + " in " + o.settingsIn, c));
                return kUsage;
            }
        }
    } catch (const nl::RaisedError& e) {
        if (e.Number() == nl::err::kDownloadBadValue) {
            Fail(OptionOf(e.Source()) + ": the value holds a line break (CR or LF) or a NUL character, "
                 "which cannot be sent in a request");
            return kUsage;
        }
        Fail("bad setting: " + e.Description() + " (" + e.Source() + ")");
        return kUsage;
    }
    return std::nullopt;
}

// --save-settings and --head: an exit code when the program ends here.
std::optional<int> SaveAndShow(const Options& o, const nl::DownloadFile& d) {
    if (!o.settingsOut.empty()) {
        nl::PropertyBag bag;
        d.WriteProperties(bag);
        std::string why;
        if (!bag.SaveToFile(o.settingsOut, &why)) {
            Fail("cannot write settings file " + o.settingsOut + ": " + why);
            return kLocalFile;
        }
    }
    std::string head;
    try {
        head = d.GetHttpHead();
    } catch (const nl::RaisedError& e) {
        // Only the credentials can make it fail: their encoding has a limit.
        Fail("the request cannot be composed: USER:PASS of --user or --proxy-user may hold at most 32767 "
             "characters (" + e.Description() + " in " + e.Source() + ")");
        return kUsage;
    }
    if (o.headOnly) {
        if (head.empty()) {
            Fail("no request: the server or the path is blank");
            return kUsage;
        }
        std::fwrite(head.data(), 1, head.size(), stdout);
        return kOk;
    }
    return std::nullopt;
}

// ---- --configure: the settings window --------------------------------------------

// The control's server and proxy pages in a window, for the settings in `file`
// (a file that does not exist yet starts from the defaults). Every apply saves
// the control's settings to the file.
int ConfigureWindow(const std::string& file) {
    nl::DownloadFile d;
    std::error_code ec;
    if (std::filesystem::exists(plat::Utf8Path(file), ec)) {
        nl::PropertyBag bag;
        std::string why;
        if (!bag.LoadFromFile(file, &why)) {
            Fail("cannot load settings from " + file + ": " + why);
            return kUsage;
        }
        d.ReadProperties(bag);
    }
    nl::prpServer server;
    nl::prpProxy proxy;
    server.SelectedControls = {&d};
    proxy.SelectedControls = {&d};
    nl::PropertySheet sheet("Download settings - " + plat::Utf8PathText(plat::Utf8Path(file).filename()),
                            {&server, &proxy});
    bool saveFailed = false;
    sheet.OnApplied = [&](std::string& why) {
        nl::PropertyBag bag;
        bag.StoreDefaults(true);  // the file shows every setting, also those at their defaults
        d.WriteProperties(bag);
        saveFailed = !bag.SaveToFile(file, &why);
        if (saveFailed) {
            why = "The settings could not be saved to " + file + ": " + why;
            Fail(why);
        }
        return !saveFailed;
    };
    if (!sheet.Open()) {
        Fail("cannot open the settings window");
        return kInternal;
    }
    plat::RunMessageLoop();  // until the window is closed
    return saveFailed ? kLocalFile : kOk;
}

// ---- step 3: where the file goes ----------------------------------------------------

// Without a resume, a file that exists is not written over in place: the new one
// arrives in a temporary file next to it and replaces it in one step once it is
// whole, so a refusal, a time-out or a cut leaves the old one as it was. A new
// file is written where it belongs, and what arrived of it stays for -c; one
// that a failure left empty goes. For "-o -" the file arrives in a folder of
// this user's alone in the temporary folder, and goes on to standard output as
// each block lands.
class Destination {
public:
    Destination() = default;
    Destination(const Destination&) = delete;
    Destination& operator=(const Destination&) = delete;
    ~Destination() {  // also when something escapes
        CloseReader();
        Discard();
        RemoveFolder();
    }

    // Points the control at a temporary file when it would replace an existing
    // one or write to standard output. False (with `why`) when none can be made.
    bool Prepare(nl::DownloadFile& d, std::string& why) {
        namespace fs = std::filesystem;
        name_ = d.LocalFileName();
        std::error_code ec;
        if (name_ == "-") return PrepareStdout(d, why);
        existed_ = fs::exists(fs::symlink_status(plat::Utf8Path(name_), ec));
        if (d.WhileFileExist() == 1 || d.WhileFileExist() == 2) return true;
        if (!fs::is_regular_file(plat::Utf8Path(name_), ec)) return true;
        // A link is followed: the file it leads to is replaced, and it stays a link.
        temp_ = plat::CreateReplacement(name_);
        if (temp_.empty()) return true;
        pending_ = true;
        d.SetLocalFileName(temp_);
        return true;
    }

    // The name the user gave ("standard output" for "-").
    std::string Name() const { return ToStdout() ? "standard output" : name_; }
    bool ToStdout() const { return name_ == "-"; }
    // For a failure's message: what standard output got already, which cannot be taken back.
    std::string StreamedNote() const {
        return ToStdout() && streamed_ > 0 ? "; " + std::to_string(streamed_) + " bytes had gone to standard output"
                                           : "";
    }
    bool UsesTemporary() const { return !temp_.empty() && !ToStdout(); }  // also after Commit or Discard
    const std::string& Temporary() const { return temp_; }

    // "-o -": sends standard output what the temporary file holds beyond what
    // went out already, up to the length the reply announced. False (with `why`)
    // when standard output cannot take it.
    bool Stream(const nl::DownloadFile& d, std::string& why) {
        std::int64_t end = d.DownloadedBytes();
        if (d.AnnouncedBytes() > 0) end = std::min(end, d.AnnouncedBytes());
        if (end <= streamed_) return true;
        // Opened the way the control writes it: while it is being written, and
        // never through a link.
        if (!reader_ && !(reader_ = plat::OpenDataFile(temp_))) {
            why = "the download cannot be read back from " + temp_;
            return false;
        }
        std::clearerr(reader_);
        buffer_.resize(1 << 16);
        while (streamed_ < end) {
            const auto want = static_cast<std::size_t>(std::min<std::int64_t>(buffer_.size(), end - streamed_));
            const std::size_t n = std::fread(buffer_.data(), 1, want, reader_);
            if (n == 0) {
                why = "the download cannot be read back from " + temp_;
                return false;
            }
            if (std::fwrite(buffer_.data(), 1, n, stdout) != n) break;
            streamed_ += static_cast<std::int64_t>(n);
        }
        if (streamed_ < end || std::fflush(stdout) != 0) {
            why = std::error_code(errno, std::generic_category()).message();
            return false;
        }
        return true;
    }
    // A request ended; the next one (a redirect's) starts the temporary file anew.
    void CloseReader() {
        if (reader_) std::fclose(reader_);
        reader_ = nullptr;
    }

    // The whole file takes the old one's place, with its permissions, or goes
    // to standard output.
    bool Commit(const nl::DownloadFile& d, std::string& why) {
        if (!pending_) return true;
        if (ToStdout()) {
            const bool ok = Stream(d, why);
            CloseReader();
            Discard();
            return ok;
        }
        if (!plat::CommitReplacement(temp_, name_)) {
            why = "error " + std::to_string(plat::GetLastError());
            return false;
        }
        pending_ = false;
        return true;
    }

    void Discard() {
        if (!pending_) return;
        CloseReader();
        std::error_code ec;
        // Commit gave it the old file's permissions; on Windows a read-only file
        // cannot be deleted.
        std::filesystem::permissions(plat::Utf8Path(temp_), std::filesystem::perms::owner_write, std::filesystem::perm_options::add, ec);
        plat::DeleteFileA(temp_);
        pending_ = false;
    }

    // After a failure: a file that was not there before and that holds nothing goes.
    void Failed() {
        Discard();
        if (existed_ || ToStdout() || name_.empty()) return;
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path name = plat::Utf8Path(name_);
        if (fs::is_regular_file(fs::symlink_status(name, ec)) && fs::file_size(name, ec) == 0 && !ec)
            fs::remove(name, ec);
    }

private:
    static std::string Suffix() {
        static std::random_device random;
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        return suffix;
    }

    // In this user's own temporary folder, checked from the root down and held
    // open (plat::GetTempPathA): nobody else may swap what lies on the way.
    bool PrepareStdout(nl::DownloadFile& d, std::string& why) {
        char buffer[4096];
        const plat::DWORD n = plat::GetTempPathA(sizeof buffer, buffer);
        if (n == 0 || n >= sizeof buffer) {
            why = "no temporary folder: " + (n == 0 ? plat::TempFolderRefusal() : std::string("too long a name"));
            return false;
        }
        const std::string base(buffer, n);
        for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
            const std::string folder = base + "novalink-get-" + Suffix();
            // Made here, or not used: never one that someone else made.
            if (plat::CreateDirectoryA(folder)) folder_ = folder;
        }
        if (folder_.empty()) {
            why = "no folder can be made in " + base + ": error " + std::to_string(plat::GetLastError());
            return false;
        }
        std::error_code ec;
        std::filesystem::permissions(plat::Utf8Path(folder_), std::filesystem::perms::owner_all, std::filesystem::perm_options::replace, ec);
        temp_ = folder_ + plat::PL_PATH_SEPARATOR + "download";
        pending_ = true;
        d.SetLocalFileName(temp_);
        d.SetWhileFileExist(0);  // a settings file's resume has nothing to continue here
        plat::SetStdoutBinary();
        return true;
    }

    void RemoveFolder() {
        if (folder_.empty()) return;
        plat::RemoveDirectoryA(folder_);
        folder_.clear();
    }

    std::string name_, temp_, folder_;
    bool pending_ = false;  // the temporary file may be there
    bool existed_ = false;  // the local file was there before the transfer
    std::FILE* reader_ = nullptr;  // "-o -": the temporary file, read as it grows
    std::int64_t streamed_ = 0;    // bytes that went to standard output
    std::vector<char> buffer_;
};

// ---- step 4: the transfer ---------------------------------------------------------

// How a transfer ended: its first failure (kind, number, text) or none.
struct Outcome {
    nl::DownloadFailure failure = nl::DownloadFailure::None;
    std::int32_t number = 0;
    std::string text;
    std::int64_t startSize = 0;  // what a resumed file held at the start
    bool longer = false;         // more bytes came than the reply announced
    double seconds = 0;
    double receivedBytes = 0;
    int interrupted = 0;  // the exit code for the signal that ended it, or 0
    int redirects = 0;    // followed with -L
    std::string output;   // why standard output could not take the file, or ""
};

// Runs the transfer to its end. An exit code when it could not start.
std::optional<int> Run(const Options& o, nl::DownloadFile& d, Destination& dest, Outcome& out) {
    const bool tty = plat::StderrIsTerminal();
    Progress progress(!o.quiet, tty);
    bool finished = false;
    bool failed = false;

    d.OnDataDownloaded = [&](std::int32_t n) {
        progress.Received(n);
        progress.Update(d);
        if (dest.ToStdout() && out.output.empty() && !dest.Stream(d, out.output)) d.CancelDownload();
    };
    d.OnError = [&](std::int32_t number, const std::string& text) {
        if (failed) return;
        failed = true;
        out.failure = d.LastFailure();
        out.number = number;
        out.text = text;
    };
    d.OnFinish = [&] { finished = true; };

    try {
        d.StartDownload();
    } catch (const nl::RaisedError& e) {
        Fail("cannot start: " + e.Description());
        return d.LastFailure() == nl::DownloadFailure::NoHost ? kUsage : kConnection;
    }
    // The start counts what a resumed file already holds (every setter clears it).
    out.startSize = d.DownloadedBytes();
    plat::PumpUntil([&] { return finished || (failed && !d.IsBusy()) || plat::InterruptExitCode() != 0; });
    out.interrupted = plat::InterruptExitCode();
    if (out.interrupted != 0 && !finished) {
        d.CancelDownload();
        plat::PumpUntil([&] { return !d.IsBusy(); }, 2000);
    }
    progress.Update(d, true);
    progress.End();
    plat::PumpMessages();  // let released objects go
    dest.CloseReader();
    if (!failed) out.failure = d.LastFailure();
    // The control writes what comes; a body longer than its announced length is
    // no file that "arrived whole".
    out.longer = out.failure == nl::DownloadFailure::None && d.DownloadedBytes() > d.AnnouncedBytes();
    out.seconds = progress.Seconds();
    out.receivedBytes = progress.ReceivedBytes();
    return std::nullopt;
}

// ---- step 5: the exit code ----------------------------------------------------------

bool IsRedirect(std::int32_t code) {
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

// The message for a reply whose length cannot be used; "" when its length can be.
std::string LengthProblem(const std::string& head, const std::string& where) {
    std::int64_t length = 0;
    const bool partial = nl::ReplyStatusCode(head) == 206;
    const char* header = partial ? "Content-Range" : "Content-Length";
    const std::string value = plat::VisibleText(nl::GetHeaderValue(head, header), plat::LineBreaks::Shown, 80);
    switch (nl::ReplyLength(head, length)) {
        case nl::AnnouncedLength::Known:
            return "";
        case nl::AnnouncedLength::Missing:
            return "the reply from " + where + " gives no length (no " + header + " header)";
        case nl::AnnouncedLength::Unusable:
            return "the reply from " + where + " gives no usable length (" + header + ": " + value + ")";
        case nl::AnnouncedLength::TooLarge:
            return "the reply from " + where + " announces a length too large to be held (" + header + ": " + value +
                   "; at most 18 digits)";
    }
    return "";
}


constexpr int kMaxRedirects = 10;

// Points the control at the address a redirect names, read where the control
// fetched (http/Url.h). Credentials for the server go only to the host and port
// they were given for. False, with the reason, when the address cannot be fetched or leads from
// https: down to http:.
bool FollowRedirect(nl::DownloadFile& d, const std::optional<nl::Url>& first, std::string& why) {
    const std::string location = nl::TrimSpaces(nl::GetHeaderValue(d.ReceiveHead(), "Location"));
    const std::string shown = plat::VisibleText(location, plat::LineBreaks::Shown, 200);
    const std::optional<nl::Url> here = d.Address();
    if (location.empty() || ControlCharacter(location) >= 0 || !here) {
        why = "the redirect from " + d.Server() + ":" + std::to_string(d.Port()) + " names no usable Location";
        return false;
    }
    std::string parseWhy;
    const std::optional<nl::Url> next = here->Resolve(location, &parseWhy);
    if (!next) {
        why = "the redirect leads to " + shown + ", which cannot be fetched: " + parseWhy;
        return false;
    }
    if (here->GetTransport() == nl::Url::Transport::Tls && next->GetTransport() != nl::Url::Transport::Tls) {
        // What TLS kept from others on the way would go in clear text.
        why = "the redirect leads to " + shown + ": an https:// transfer is not followed down to http://";
        return false;
    }
    if (!first || next->Scheme() != first->Scheme() || next->Host() != first->Host() || next->Port() != first->Port()) {
        d.SetUserName("");
        d.SetUserPassword("");
    }
    d.SetAddress(*next);
    return true;
}

// Tells how the transfer ended (the summary, or what failed) and picks the exit code.
int Report(const Options& o, const nl::DownloadFile& d, const Outcome& out, const Destination& dest) {
    using F = nl::DownloadFailure;
    const std::string where = d.ProxyServer().empty()
                                  ? d.Server() + ":" + std::to_string(d.Port())
                                  : d.ProxyServer() + ":" + std::to_string(d.ProxyPort()) + " (proxy)";
    const std::string& name = dest.Name();
    const std::string& head = d.ReceiveHead();
    // What the failure left: an old file as it was, or what standard output got already.
    const std::string kept = dest.UsesTemporary() ? "; " + name + " was left as it was" : dest.StreamedNote();
    if (out.longer) {
        Fail("longer than announced: the reply from " + where + " announced " + std::to_string(d.AnnouncedBytes()) +
             " bytes, and " + std::to_string(d.DownloadedBytes()) + " arrived" +
             (dest.UsesTemporary() || dest.ToStdout() ? kept : "; " + name + " holds them all"));
        return kLonger;
    }
    switch (out.failure) {
        case F::None:
            if (!o.quiet && !plat::StderrIsTerminal()) {
                const double secs = out.seconds;
                // What came in this run: a full reply to a resume may have started the file again.
                std::fprintf(stderr, "%s: %s written (%s new) in %.2f s, %s/s\n", name.c_str(),
                             Human(static_cast<double>(d.DownloadedBytes())).c_str(),
                             Human(out.receivedBytes).c_str(), secs,
                             Human(secs > 0 ? out.receivedBytes / secs : 0).c_str());
            }
            return kOk;
        case F::NoHost:
            Fail("no server to connect to (" + out.text + ")");
            return kUsage;
        case F::HttpStatus: {
            const std::int32_t code = nl::ReplyStatusCode(head);
            if (IsRedirect(code)) {
                const std::string location = nl::GetHeaderValue(head, "Location");
                Fail(where + " answered " + std::to_string(code) + ": the file has moved " +
                     (location.empty() ? std::string("(the reply names no Location)")
                                       : "to " + plat::VisibleText(location, plat::LineBreaks::Shown, 200)) +
                     (o.location ? "; no more after " + std::to_string(kMaxRedirects) + " redirects"
                                 : std::string("; -L follows it")) +
                     kept);
            } else if (code == 0) {
                Fail("the reply from " + where + " does not start with an HTTP/1.x status line: \"" +
                     plat::VisibleText(head.substr(0, head.find("\r\n")), plat::LineBreaks::Shown, 80) + "\"" + kept);
            } else {
                Fail("the request was refused by " + where + ": " + out.text + kept);
            }
            return kRefused;
        }
        case F::BadReply: {
            if (nl::ReplyStatusCode(head) == 206 || nl::ReplyStatusCode(head) == 200) {
                const std::string length = LengthProblem(head, where);
                if (!length.empty()) {
                    Fail(length + kept);
                    return kNoLength;
                }
            }
            Fail("the reply from " + where + " cannot be used: " + out.text + kept);
            return kRefused;
        }
        case F::NothingLeft:
            if (out.number == nl::err::kDownloadNothingLeft) {
                const std::string length = LengthProblem(head, where);
                if (!length.empty()) {
                    Fail(length + kept);
                    return kNoLength;
                }
            }
            if (out.number == nl::err::kDownloadRefused) {
                Fail("nothing left to download: the server has no bytes after the " +
                     std::to_string(out.startSize) + " the local file holds (HTTP 416)");
            } else {
                Fail("nothing left to download: the local file " + name + " already holds " +
                     std::to_string(d.DownloadedBytes()) + " of " + std::to_string(d.AnnouncedBytes()) +
                     " bytes (" + out.text + ")");
            }
            return kNothingLeft;
        case F::LocalFile:
            Fail("cannot create, replace, open or write the local file " +
                 (dest.UsesTemporary() ? "(the temporary " + dest.Temporary() + " next to " + name + ")"
                  : dest.ToStdout()    ? dest.Temporary() + " (held for standard output)"
                                       : name) +
                 " (" + out.text + ")" + kept);
            return kLocalFile;
        case F::FileExists:
            Fail("the local file " + name + " exists and --no-clobber was given");
            return kLocalFile;
        case F::Truncated:
            if (dest.UsesTemporary() || dest.ToStdout()) {
                Fail(out.text + " (" + std::to_string(d.DownloadedBytes()) + " of " +
                     std::to_string(d.AnnouncedBytes()) + " bytes)" + kept);
            } else {
                Fail(out.text + ": " + std::to_string(d.DownloadedBytes()) + " of " +
                     std::to_string(d.AnnouncedBytes()) + " bytes in " + name + " (run again with -c to resume)");
            }
            return kTruncated;
        case F::TimedOut:
            Fail("time-out: no data from " + where + " for more than " + std::to_string(d.TimeOut()) + " seconds" +
                 kept);
            return kTimeOut;
        case F::Resolve:
            Fail("cannot resolve host name " + (d.ProxyServer().empty() ? d.Server() : d.ProxyServer()) + " (" +
                 out.text + ")");
            return kConnection;
        case F::Connection: {
            // The control's texts for socket errors are its own; say it plainly here.
            const std::string plain = nl::SocketErrorText(out.number);
            const std::string what = !plain.empty()                                ? plain
                                     : out.number == nl::err::kDownloadProxyRefused ? out.text
                                     : out.number >= 10000 && out.number < 12000 ? std::string("socket error")
                                                                                  : out.text;
            Fail("connection error with " + where + ": " + what + " (" + std::to_string(out.number) + ")" + kept);
            return kConnection;
        }
        case F::Cancelled:
            Fail("the transfer from " + where + " was cancelled" + kept);
            return kConnection;
        case F::Overdue:
        case F::TooSlow:  // novalink-get sets neither limit; they end like a time-out
            Fail("time-out: " + out.text + kept);
            return kTimeOut;
        case F::TooLarge:  // novalink-get sets no bound; it ends like a refusal
            Fail("the reply from " + where + " cannot be used: " + out.text + kept);
            return kRefused;
    }
    return kConnection;
}

}  // namespace

static int Main(int argc, char** argv) {
    plat::InitApp(argc, argv);
    Options options;
    if (auto code = Parse(std::vector<std::string>(argv + 1, argv + argc), options)) return *code;
    if (options.configure) return ConfigureWindow(options.settingsIn);
    nl::DownloadFile d;
    if (auto code = Configure(options, d)) return *code;
    if (auto code = SaveAndShow(options, d)) return *code;
    // Ctrl+C ends the transfer here, so that no temporary file stays behind.
    plat::CatchInterrupts();
    Destination dest;
    std::string why;
    if (!dest.Prepare(d, why)) {
        Fail(why);
        return kLocalFile;
    }
    const std::optional<nl::Url> first = d.Address();
    Outcome outcome;
    for (int redirects = 0;; ++redirects) {
        outcome = Outcome{};
        outcome.redirects = redirects;
        if (auto code = Run(options, d, dest, outcome)) {
            dest.Failed();
            return *code;
        }
        if (outcome.interrupted != 0) break;
        if (!options.location || outcome.failure != nl::DownloadFailure::HttpStatus ||
            !IsRedirect(nl::ReplyStatusCode(d.ReceiveHead())) || redirects == kMaxRedirects)
            break;
        if (!FollowRedirect(d, first, why)) {
            Fail(why);
            dest.Failed();
            return kRefused;
        }
    }
    if (!outcome.output.empty()) {
        dest.Failed();
        Fail("cannot write the file to standard output: " + outcome.output + dest.StreamedNote());
        return kLocalFile;
    }
    if (outcome.interrupted != 0) {
        dest.Failed();
        Fail("interrupted" +
             (dest.UsesTemporary() ? "; " + dest.Name() + " was left as it was" : dest.StreamedNote()));
        return outcome.interrupted;
    }
    if (outcome.failure == nl::DownloadFailure::None && !outcome.longer) {
        if (!dest.Commit(d, why)) {
            Fail(dest.ToStdout() ? "cannot write the file to standard output: " + why + dest.StreamedNote()
                                 : "cannot replace " + dest.Name() + " with the new file: " + why +
                                       "; it was left as it was");
            dest.Failed();
            return kLocalFile;
        }
    } else {
        dest.Failed();
    }
    return Report(options, d, outcome, dest);
}

int main(int argc, char** argv) { return nl::GuardedMain("novalink-get", kInternal, [&] { return Main(argc, argv); }); }
