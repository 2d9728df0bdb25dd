// A real nginx on a loopback ephemeral port, with its own configuration and prefix
// in a temporary folder: static files under Root(), and a "/private/" folder behind
// Basic authorization for one user. Stopped (and waited for) on destruction.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/common/TestUtil.h"

namespace testutil {

class NginxServer {
public:
    struct Options {
        std::string user = "alice";
        std::string password = "s3cret";
        std::string protectedPath = "/private/";  // served behind Basic authorization
        // An nginx log_format for the access log (combined when empty), e.g.
        // "$request|$http_authorization|$http_range|$status".
        std::string logFormat;
        std::string extraLocations;  // more nginx lines inside the server block
        // Lines that make the server speak TLS (ssl_certificate and the like);
        // empty: plain HTTP.
        std::string tls;
    };
    NginxServer(const std::string& user = "alice", const std::string& password = "s3cret");
    explicit NginxServer(const Options& options);
    ~NginxServer();
    NginxServer(const NginxServer&) = delete;
    NginxServer& operator=(const NginxServer&) = delete;

    bool Running() const { return pid_ > 0; }
    int Port() const { return port_; }
    // The folder served at "/"; "private/" inside it needs the credentials.
    std::string Root() const { return dir_ / "www"; }
    std::string ErrorLog() const;
    // One line per request served, in nginx's combined format or Options::logFormat.
    std::string AccessLog() const;
    // Writes a file under Root(), making folders as needed.
    void Put(const std::string& relPath, const std::string& data) const;

private:
    bool Start();
    void Stop();

    Options options_;
    TempDir dir_;
    int port_ = 0;
    ProcessId pid_ = -1;
};

// A file of `n` pseudo-random bytes (same seed, same bytes).
std::string RandomBytes(std::size_t n, unsigned seed = 1);

// Waits until something accepts connections on the loopback port.
bool WaitForPort(int port, int timeoutMs);

// Stops a child process: SIGTERM, then SIGKILL after a grace period; reaps it.
void StopProcess(ProcessId pid);

// Starts a server with its output silenced (trying each program path in turn) and
// waits up to 10 s until it accepts connections on `port`. Returns its pid, or -1
// when it could not start or ended early (the port was taken meanwhile). As root,
// the folder `give` (as SystemPath names it) is handed to the user nobody first,
// for servers that drop to that user and write their log there. Under Wine the
// server is the Linux side's, and the number returned is one for StopProcess.
ProcessId StartServerOnPort(const std::vector<std::string>& programs, const std::vector<std::string>& args, int port,
                            const std::string& give = "");

// Whether the servers run as root (and so must be told which user to be).
bool ServersRunAsRoot();

}  // namespace testutil
