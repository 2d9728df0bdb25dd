#include "tests/common/NginxServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

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
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(fd);
        if (ok) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void StopProcess(ProcessId pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
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
    const std::string d = dir_.path();
    std::string conf;
    conf += "daemon off;\nmaster_process off;\nworker_processes 1;\n";
    if (geteuid() == 0) conf += "user root;\n";
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

    // Debian keeps nginx in /usr/sbin, which an ordinary PATH may lack.
    pid_ = StartServerOnPort({"nginx", "/usr/sbin/nginx"}, {"-p", d, "-c", d + "/nginx.conf"}, port_);
    return pid_ > 0;
}

ProcessId StartServerOnPort(const std::vector<std::string>& programs, const std::vector<std::string>& args, int port) {
    pid_t pid = fork();
    if (pid == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, 1);
            dup2(null, 2);
        }
        for (const auto& program : programs) {
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
        }
        _exit(127);
    }
    if (pid < 0) return -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return -1;
        if (WaitForPort(port, 50)) return pid;
    }
    StopProcess(pid);
    return -1;
}

void NginxServer::Stop() {
    StopProcess(pid_);
    pid_ = -1;
}

}  // namespace testutil
