#include "tests/common/NginxServer.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "tests/common/LoopbackSocket.h"
#include "tests/common/ScriptedServer.h"

namespace testutil {

std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
    return s;
}

bool WaitForPort(int port, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const int s = loopback::Connect(port);
        if (s >= 0) {
            loopback::Close(s);
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
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
    // nginx reads "{PLAIN}" passwords as they stand.
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
    // The folder as nginx knows it (its Linux path under Wine).
    const std::string d = SystemPath(dir_.path());
    if (d.empty()) return false;
    std::string conf;
    conf += "daemon off;\nmaster_process off;\nworker_processes 1;\n";
    if (ServersRunAsRoot()) conf += "user root;\n";
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
    conf += "  server {\n    listen 127.0.0.1:" + std::to_string(port_) + (options_.tls.empty() ? "" : " ssl") + ";\n";
    conf += options_.tls;
    conf += "    root " + d + "/www;\n";
    conf += "    location " + options_.protectedPath + " {\n      auth_basic \"Members\";\n      auth_basic_user_file " +
            d + "/htpasswd;\n    }\n";
    conf += options_.extraLocations;
    conf += "  }\n}\n";
    WriteFile(dir_ / "nginx.conf", conf);

    // Debian keeps nginx in /usr/sbin, which an ordinary PATH may lack.
    pid_ = StartServerOnPort({"nginx", "/usr/sbin/nginx"}, {"-p", d, "-c", d + "/nginx.conf"}, port_);
    return pid_ > 0;
}

void NginxServer::Stop() {
    StopProcess(pid_);
    pid_ = -1;
}

}  // namespace testutil
