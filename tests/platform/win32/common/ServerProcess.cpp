// The servers for tests under Wine (tests/common/NginxServer.h): the Linux
// servers, started on loopback through tests/platform/win32/common/unix-server.sh,
// which Wine runs as a Linux program. Their folders are the tests' own temporary
// folders, named to the servers by their Linux paths. A ProcessId here numbers a
// started server (its control folder), not a Windows process.
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "tests/common/NginxServer.h"
#include "tests/platform/win32/common/Wine.h"

namespace testutil {

namespace {

std::mutex g_mu;
std::map<ProcessId, std::unique_ptr<TempDir>> g_servers;
ProcessId g_next = 1;

bool Ended(const TempDir& control) { return Exists(control / "exited"); }

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace

bool ServersRunAsRoot() { return UnixUserIsRoot(); }

ProcessId StartServerOnPort(const std::vector<std::string>& programs, const std::vector<std::string>& args, int port,
                            const std::string& give) {
    auto control = std::make_unique<TempDir>();
    const std::string dir = UnixPath(control->path());
    const std::string script = UnixPath(SourceDir() + "\\tests\\platform\\win32\\common\\unix-server.sh");
    if (dir.empty() || script.empty()) return -1;  // not under Wine: no Linux servers
    std::vector<std::string> argv{"/bin/sh", script, dir, std::to_string(UnixProcessId()), give.empty() ? "-" : give};
    argv.insert(argv.end(), programs.begin(), programs.end());
    argv.push_back("--");
    argv.insert(argv.end(), args.begin(), args.end());
    if (!StartUnixProgram(argv)) return -1;
    const TempDir& c = *control;
    if (!WaitFor([&] { return Ended(c) || WaitForPort(port, 50); }, 10000) || Ended(c)) {
        WriteFile(c / "stop", "");
        WaitFor([&] { return Ended(c); }, 5000);
        return -1;
    }
    std::lock_guard<std::mutex> lk(g_mu);
    const ProcessId id = g_next++;
    g_servers[id] = std::move(control);
    return id;
}

void StopProcess(ProcessId pid) {
    std::unique_ptr<TempDir> control;
    {
        std::lock_guard<std::mutex> lk(g_mu);
        auto it = g_servers.find(pid);
        if (it == g_servers.end()) return;
        control = std::move(it->second);
        g_servers.erase(it);
    }
    WriteFile(*control / "stop", "");
    WaitFor([&] { return Ended(*control); }, 10000);
}

}  // namespace testutil
