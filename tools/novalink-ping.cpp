// novalink-ping HOST [-c COUNT]: pings HOST with the ping control, COUNT times
// (default 1) one second apart, and prints one line per ping: the host, the state
// code and the state text. Exits 0 when every echo was answered, 1 when one was
// not, 2 when this user may not send ICMP echoes, 3 on a usage error.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "platform/App.h"
#include "platform/Window.h"
#include "controls/PingHost.h"
#include "support/ErrorReport.h"
#include "support/ProgramVersion.h"

namespace {

constexpr int kAnswered = 0;
constexpr int kNotAnswered = 1;
constexpr int kNoIcmp = 2;
constexpr int kUsageError = 3;

const char kUsage[] =
    "usage: novalink-ping HOST [-c COUNT]\n"
    "Sends COUNT ICMP echo requests (default 1, one second apart) to HOST, a host\n"
    "name or an IPv4 address, and prints for each: the host, the state code and the\n"
    "state text (state 1 with the round-trip time \" N ms\"; 2 when nothing came\n"
    "back: \"Unknown host\" when the name does not resolve, \"Timeout or unknown\n"
    "error\" when it did; -1 when ICMP is not available; any other code is the IP\n"
    "status of an ICMP error, such as 11003 for an unreachable host).\n"
    "Exit codes: 0 every echo was answered, 1 one was not, 2 ICMP is not available\n"
    "to this user, 3 a usage error.\n"
    "  --help, -h   this text;  --version   the version\n"
    "\n"
    "Sending echo requests needs one of:\n"
    "  - a group of this user inside net.ipv4.ping_group_range, for example for all\n"
    "    groups:  sysctl -w net.ipv4.ping_group_range=\"0 2147483647\"\n"
    "  - root, or the capability CAP_NET_RAW for this program:\n"
    "    setcap cap_net_raw+ep novalink-ping\n";

bool ParseCount(const std::string& text, int& count) {
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    count = std::atoi(text.c_str());
    return count > 0;
}

int Run(int argc, char** argv) {
    std::string host;
    int count = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return kAnswered;
        }
        if (arg == "--version") {
            nl::PrintVersion("novalink-ping");
            return kAnswered;
        }
        if (arg == "-c" && i + 1 < argc) {
            if (!ParseCount(argv[++i], count)) {
                std::fprintf(stderr, "novalink-ping: COUNT must be a whole number from 1 on\n");
                return kUsageError;
            }
        } else if (host.empty() && !arg.empty() && arg[0] != '-') {
            host = arg;
        } else {
            std::fputs(kUsage, stderr);
            return kUsageError;
        }
    }
    if (host.empty()) {
        std::fputs(kUsage, stderr);
        return kUsageError;
    }

    nl::PingHost ping;
    ping.SetHostname(host);
    bool finished = false;
    ping.PingFinish = [&](const std::string&) { finished = true; };

    int status = kAnswered;
    for (int n = 0; n < count; ++n) {
        if (n > 0) plat::PumpUntil([] { return false; }, 1000);
        finished = false;
        ping.Ping();
        if (!plat::PumpUntil([&] { return finished; })) return kNotAnswered;  // a quit was posted
        const std::int32_t code = ping.StateCode();
        // The control says "Unknown host" whenever nothing came back; an address
        // the name resolved to is no unknown host.
        const std::string text = code == 2 && ping.HostResolved() ? "Timeout or unknown error" : ping.StateStr();
        std::printf("%s: state %d, \"%s\"\n", ping.Hostname().c_str(), static_cast<int>(code), text.c_str());
        std::fflush(stdout);
        if (code == -1) {
            std::fprintf(stderr, "novalink-ping: ICMP is not available to this user (see novalink-ping --help)\n");
            return kNoIcmp;
        }
        if (code != 1) status = kNotAnswered;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    plat::InitApp(argc, argv);
    try {
        return Run(argc, argv);
    } catch (const nl::RaisedError& e) {
        std::fprintf(stderr, "novalink-ping: %s (error %d, %s)\n", e.Description().c_str(),
                     static_cast<int>(e.Number()), e.Source().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "novalink-ping: %s\n", e.what());
    }
    return kNoIcmp;
}
