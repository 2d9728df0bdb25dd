// novalink-get: a command-line downloader built on the download control. Every
// transfer runs through DownloadFile exactly as the updater's windows run it.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "http/DownloadFile.h"
#include "platform/App.h"
#include "platform/Console.h"
#include "platform/Window.h"
#include "support/ErrorReport.h"
#include "controls/PropertyBag.h"

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
};

const char* const kHelp =
    "Usage: novalink-get [options] URL\n"
    "Downloads http://HOST[:PORT]/PATH into a local file.\n"
    "\n"
    "Options:\n"
    "  -o FILE               local file (default: the last part of the URL's path)\n"
    "  -c                    resume: continue a partial local file with a Range request\n"
    "  --no-clobber          refuse the transfer when the local file exists\n"
    "  --http1.0             send HTTP/1.0 (default HTTP/1.1)\n"
    "  --timeout SECONDS     idle time-out, 10 to 2000 (default 30)\n"
    "  --user USER:PASS      Basic authorization for the server\n"
    "  --proxy HOST:PORT     go through this HTTP proxy\n"
    "  --proxy-user USER:PASS  Basic authorization for the proxy (needs --proxy)\n"
    "  --referer TEXT        Referer header (default: made up from the URL)\n"
    "  --user-agent TEXT     User-Agent header\n"
    "  --cache               leave out the no-cache headers\n"
    "  --settings FILE       load the control's saved settings first; the other options\n"
    "                        then apply on top (URL and -o become optional)\n"
    "  --save-settings FILE  save the control's settings after the options applied\n"
    "  --head                print the request that would be sent, and exit\n"
    "  -q                    no progress bar or summary\n"
    "  -h, --help            this text\n"
    "\n"
    "Exit codes:\n"
    "  0  the file arrived whole\n"
    "  1  usage error (bad option, URL or settings file)\n"
    "  2  the server or proxy refused the request (an HTTP status other than 200/206)\n"
    "  3  time-out: no data for longer than the idle time-out\n"
    "  4  connection or name error (host not found, connection refused or reset)\n"
    "  5  local file error (cannot create, replace, open or write it; exists with --no-clobber)\n"
    "  6  truncated: the connection closed before the whole file arrived\n"
    "  7  nothing left: the local file already holds everything the server offers\n";

void Fail(const std::string& message) { std::fprintf(stderr, "novalink-get: %s\n", message.c_str()); }

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

struct Url {
    std::string host;
    std::int32_t port = 80;
    std::string path = "/";
};

bool ParseUrl(const std::string& text, Url& url, std::string& why) {
    std::string lower = text;
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.rfind("http://", 0) != 0) {
        why = lower.find("://") != std::string::npos ? "only http:// URLs are supported: " + text
                                                     : "the URL must start with http:// : " + text;
        return false;
    }
    std::string rest = text.substr(7);
    const auto slash = rest.find_first_of("/?");
    std::string authority = rest.substr(0, slash);
    if (slash != std::string::npos) url.path = rest[slash] == '/' ? rest.substr(slash) : "/" + rest.substr(slash);
    if (authority.find('@') != std::string::npos) {
        why = "put credentials in --user, not in the URL";
        return false;
    }
    if (!SplitHostPort(authority, url.host, url.port)) {
        why = "bad host or port in the URL: " + text;
        return false;
    }
    return true;
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
        const double done = d.DownloadedSize();
        const double total = d.DownloadFileSize();
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

}  // namespace

int main(int argc, char** argv) {
    plat::InitApp(argc, argv);

    std::string urlText, output, settingsIn, settingsOut, referer, agent, user, proxy, proxyUser;
    bool resume = false, noClobber = false, http10 = false, cache = false, headOnly = false, quiet = false;
    bool haveReferer = false, haveAgent = false, haveUser = false, haveProxyUser = false;
    std::int32_t timeout = -1;

    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                Fail("option " + a + " needs a value (see --help)");
                std::exit(kUsage);
            }
            into = args[++i];
        };
        if (a == "-h" || a == "--help") {
            std::fputs(kHelp, stdout);
            return kOk;
        } else if (a == "-o") {
            value(output);
        } else if (a == "-c") {
            resume = true;
        } else if (a == "--no-clobber") {
            noClobber = true;
        } else if (a == "--http1.0") {
            http10 = true;
        } else if (a == "--timeout") {
            std::string t;
            value(t);
            char* end = nullptr;
            long v = std::strtol(t.c_str(), &end, 10);
            if (t.empty() || *end || v < 10 || v > 2000) {
                Fail("--timeout takes a whole number of seconds from 10 to 2000, not '" + t + "'");
                return kUsage;
            }
            timeout = static_cast<std::int32_t>(v);
        } else if (a == "--user") {
            value(user);
            haveUser = true;
        } else if (a == "--proxy") {
            value(proxy);
        } else if (a == "--proxy-user") {
            value(proxyUser);
            haveProxyUser = true;
        } else if (a == "--referer") {
            value(referer);
            haveReferer = true;
        } else if (a == "--user-agent") {
            value(agent);
            haveAgent = true;
        } else if (a == "--cache") {
            cache = true;
        } else if (a == "--settings") {
            value(settingsIn);
        } else if (a == "--save-settings") {
            value(settingsOut);
        } else if (a == "--head") {
            headOnly = true;
        } else if (a == "-q") {
            quiet = true;
        } else if (a.size() > 1 && a[0] == '-') {
            Fail("unknown option " + a + " (see --help)");
            return kUsage;
        } else if (urlText.empty()) {
            urlText = a;
        } else {
            Fail("more than one URL given: " + urlText + " and " + a);
            return kUsage;
        }
    }
    if (resume && noClobber) {
        Fail("-c and --no-clobber exclude each other");
        return kUsage;
    }

    nl::DownloadFile d;
    try {
        if (!settingsIn.empty()) {
            nl::PropertyBag bag;
            std::string why;
            if (!bag.LoadFromFile(settingsIn, &why)) {
                Fail("cannot load settings from " + settingsIn + ": " + why);
                return kUsage;
            }
            d.ReadProperties(bag);
        }
        if (!urlText.empty()) {
            Url url;
            std::string why;
            if (!ParseUrl(urlText, url, why)) {
                Fail(why);
                return kUsage;
            }
            d.SetServer(url.host);
            d.SetPort(url.port);
            d.SetURL(url.path);
            if (output.empty()) output = DefaultFileName(url.path);
        } else if (settingsIn.empty()) {
            Fail("no URL given (see --help)");
            return kUsage;
        }
        if (!output.empty()) d.SetLocalFileName(output);
        if (d.LocalFileName().empty()) {
            Fail("no local file: give -o FILE");
            return kUsage;
        }
        if (resume)
            d.SetWhileFileExist(1);
        else if (noClobber)
            d.SetWhileFileExist(2);
        else if (settingsIn.empty())
            d.SetWhileFileExist(0);
        if (http10)
            d.SetHTTPVersion(0);
        else if (settingsIn.empty())
            d.SetHTTPVersion(1);
        if (timeout > 0) d.SetTimeOut(timeout);
        if (haveUser) {
            std::string u, p;
            if (!SplitCredentials(user, u, p)) {
                Fail("--user takes USER:PASS");
                return kUsage;
            }
            d.SetUserName(u);
            d.SetUserPassword(p);
        }
        if (!proxy.empty()) {
            std::string host;
            std::int32_t port = 1080;
            if (!SplitHostPort(proxy, host, port)) {
                Fail("--proxy takes HOST:PORT, not '" + proxy + "'");
                return kUsage;
            }
            d.SetProxyServer(host);
            d.SetProxyPort(port);
        }
        if (haveProxyUser) {
            std::string u, p;
            if (!SplitCredentials(proxyUser, u, p)) {
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
        if (haveReferer) d.SetReferer(referer);
        if (haveAgent) d.SetAgent(agent);
        if (cache) d.SetNoCache(false);
    } catch (const nl::RaisedError& e) {
        Fail("bad setting: " + e.Description() + " (" + e.Source() + ")");
        return kUsage;
    }

    if (!settingsOut.empty()) {
        nl::PropertyBag bag;
        d.WriteProperties(bag);
        if (!bag.SaveToFile(settingsOut)) {
            Fail("cannot write settings file " + settingsOut);
            return kLocalFile;
        }
    }
    if (headOnly) {
        const std::string head = d.GetHttpHead();
        if (head.empty()) {
            Fail("no request: the server or the path is blank");
            return kUsage;
        }
        std::fwrite(head.data(), 1, head.size(), stdout);
        return kOk;
    }

    const bool tty = plat::StderrIsTerminal();
    Progress progress(!quiet, tty);
    bool finished = false;
    std::int32_t errNumber = 0;
    std::string errText;

    d.OnDataDownloaded = [&](std::int32_t n) {
        progress.Received(n);
        progress.Update(d);
    };
    d.OnError = [&](std::int32_t number, const std::string& text) {
        if (errNumber == 0) {
            errNumber = number;
            errText = text;
        }
    };
    d.OnFinish = [&] { finished = true; };

    try {
        d.StartDownload();
    } catch (const nl::RaisedError& e) {
        Fail("cannot start: " + e.Description());
        return e.Number() == nl::DownloadFile::errInvalidHost ? kUsage : kConnection;
    }
    // The start counts what a resumed file already holds (every setter clears it).
    const std::int32_t startSize = d.DownloadedSize();
    plat::PumpUntil([&] { return finished || (errNumber != 0 && !d.IsBusy()); });
    progress.Update(d, true);
    progress.End();
    plat::PumpMessages();  // let released objects go

    const std::string where = d.ProxyServer().empty()
                                  ? d.Server() + ":" + std::to_string(d.Port())
                                  : d.ProxyServer() + ":" + std::to_string(d.ProxyPort()) + " (proxy)";
    if (errNumber == 0) {
        if (!quiet && !tty) {
            const double secs = progress.Seconds();
            // What came in this run: a full reply to a resume may have started the file again.
            std::fprintf(stderr, "%s: %s written (%s new) in %.2f s, %s/s\n", d.LocalFileName().c_str(),
                         Human(d.DownloadedSize()).c_str(), Human(progress.ReceivedBytes()).c_str(), secs,
                         Human(secs > 0 ? progress.ReceivedBytes() / secs : 0).c_str());
        }
        return kOk;
    }

    using DF = nl::DownloadFile;
    switch (errNumber) {
        case DF::errRefused:
            if (errText == "No data lefts.") {
                Fail("nothing left to download: the server has no bytes after the " +
                     std::to_string(startSize) + " the local file holds (HTTP 416)");
                return kNothingLeft;
            }
            Fail("the request was refused by " + where + ": " + errText);
            return kRefused;
        case DF::errNoDataLeft:
            Fail("nothing left to download: the local file " + d.LocalFileName() + " already holds " +
                 std::to_string(d.DownloadedSize()) + " of " + std::to_string(d.DownloadFileSize()) +
                 " bytes (" + errText + ")");
            return kNothingLeft;
        case DF::errLocalFile:
            Fail("cannot create, replace, open or write the local file " + d.LocalFileName() + " (" + errText + ")");
            return kLocalFile;
        case DF::errFileExists:
            Fail("the local file " + d.LocalFileName() + " exists and --no-clobber was given");
            return kLocalFile;
        case DF::errTruncated:
            Fail(errText + ": " + std::to_string(d.DownloadedSize()) + " of " +
                 std::to_string(d.DownloadFileSize()) + " bytes in " + d.LocalFileName() +
                 " (run again with -c to resume)");
            return kTruncated;
        case DF::errTimeOut:
            if (errText == "Time out.") {
                Fail("time-out: no data from " + where + " for more than " + std::to_string(d.TimeOut()) +
                     " seconds");
                return kTimeOut;
            }
            Fail("cannot resolve host name " +
                 (d.ProxyServer().empty() ? d.Server() : d.ProxyServer()) + " (" + errText + ")");
            return kConnection;
        default:
            Fail("connection error with " + where + ": " + errText + " (error " + std::to_string(errNumber) + ")");
            return kConnection;
    }
}
