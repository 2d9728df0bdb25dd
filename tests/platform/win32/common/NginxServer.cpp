// nginx and tinyproxy for tests under Wine: the Linux servers, started on
// loopback through tests/platform/win32/common/unix-server.sh, which Wine runs as
// a Linux program. Their folders are the tests' own temporary folders, named to
// the servers by their Linux paths. A ProcessId here numbers a started server
// (its control folder), not a Windows process.
#include "tests/common/NginxServer.h"

#include <chrono>
#include <functional>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

#include "tests/common/ScriptedServer.h"
#include "tests/platform/win32/common/UnixServer.h"
#include "tests/platform/win32/common/Wine.h"
#include "tests/platform/win32/common/WinsockPeer.h"

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

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

bool WaitForPort(int port, int timeoutMs) {
    win32::HelperWinsock winsock;
    return WaitFor(
        [port] {
            SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a = win32::Loopback(port);
            const bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            closesocket(s);
            return ok;
        },
        timeoutMs);
}

ProcessId StartUnixServer(const std::vector<std::string>& programs, const std::vector<std::string>& args,
                                 int port, const std::string& give) {
    auto control = std::make_unique<TempDir>();
    const std::string dir = UnixPath(control->path());
    const std::string script = UnixPath(SourceDir() + "\\tests\\platform\\win32\\common\\unix-server.sh");
    if (dir.empty() || script.empty()) return -1;  // not under Wine: no Linux servers
    std::vector<std::string> argv{"/bin/sh", script, dir, std::to_string(UnixProcessId()), give};
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

ProcessId StartServerOnPort(const std::vector<std::string>& programs, const std::vector<std::string>& args, int port) {
    return StartUnixServer(programs, args, port, "-");
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

NginxServer::NginxServer(const std::string& user, const std::string& password)
    : NginxServer([&] {
          Options o;
          o.user = user;
          o.password = password;
          return o;
      }()) {}

NginxServer::NginxServer(const Options& options) : options_(options) {
    std::filesystem::create_directories(dir_ / ("www" + options_.protectedPath));
    std::filesystem::create_directories(dir_ / "logs");
    WriteFile(dir_ / "htpasswd", options_.user + ":{PLAIN}" + options_.password + "\n");
    for (int attempt = 0; attempt < 5 && !Running(); ++attempt) Start();
}

NginxServer::~NginxServer() { Stop(); }

std::string NginxServer::ErrorLog() const { return ReadFile(dir_ / "logs/error.log"); }
std::string NginxServer::AccessLog() const { return ReadFile(dir_ / "logs/access.log"); }

void NginxServer::Put(const std::string& relPath, const std::string& data) const {
    std::filesystem::path p = std::filesystem::path(Root()) / relPath;
    std::filesystem::create_directories(p.parent_path());
    WriteFile(p.string(), data);
}

bool NginxServer::Start() {
    port_ = FreeLoopbackPort();
    const std::string d = UnixPath(dir_.path());
    if (d.empty()) return false;
    std::string conf;
    conf += "daemon off;\nmaster_process off;\nworker_processes 1;\n";
    if (UnixUserIsRoot()) conf += "user root;\n";
    conf += "error_log " + d + "/logs/error.log warn;\npid " + d + "/nginx.pid;\n";
    conf += "events { worker_connections 64; }\n";
    conf += "http {\n";
    if (options_.logFormat.empty()) {
        conf += "  access_log " + d + "/logs/access.log;\n";
    } else {
        conf += "  log_format tests '" + options_.logFormat + "';\n";
        conf += "  access_log " + d + "/logs/access.log tests;\n";
    }
    conf += "  default_type application/octet-stream;\n";
    for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
        conf += std::string("  ") + t + "_temp_path " + d + "/" + t + ";\n";
    conf += "  server {\n    listen 127.0.0.1:" + std::to_string(port_) + ";\n";
    conf += "    root " + d + "/www;\n";
    conf += "    location " + options_.protectedPath + " {\n      auth_basic \"Members\";\n      auth_basic_user_file " +
            d + "/htpasswd;\n    }\n";
    conf += options_.extraLocations;
    conf += "  }\n}\n";
    WriteFile(dir_ / "nginx.conf", conf);
    pid_ = StartServerOnPort({"nginx", "/usr/sbin/nginx"}, {"-p", d, "-c", d + "/nginx.conf"}, port_);
    return pid_ > 0;
}

void NginxServer::Stop() {
    StopProcess(pid_);
    pid_ = -1;
}

}  // namespace testutil

