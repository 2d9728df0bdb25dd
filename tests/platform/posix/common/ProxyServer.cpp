#include "tests/common/ProxyServer.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "tests/common/NginxServer.h"
#include "tests/common/ScriptedServer.h"

namespace testutil {

ProxyServer::ProxyServer(const std::string& user, const std::string& password) {
    for (int attempt = 0; attempt < 5 && !Running(); ++attempt) Start(user, password);
}

ProxyServer::~ProxyServer() {
    StopProcess(pid_);
    pid_ = -1;
}

bool ProxyServer::Start(const std::string& user, const std::string& password) {
    port_ = FreeLoopbackPort();
    const std::string d = dir_.path();
    std::string conf;
    conf += "Port " + std::to_string(port_) + "\nListen 127.0.0.1\nTimeout 30\nMaxClients 16\n";
    conf += "Allow 127.0.0.1\nBasicAuth " + user + " " + password + "\n";
    conf += "LogFile \"" + d + "/tinyproxy.log\"\nLogLevel Info\n";
    if (geteuid() == 0) {
        // As root it must drop to some user; the log lives in a folder that user may write.
        conf += "User nobody\nGroup nogroup\n";
        if (passwd* pw = getpwnam("nobody")) {
            if (chown(d.c_str(), pw->pw_uid, static_cast<gid_t>(-1)) != 0) {
            }
        }
    }
    WriteFile(dir_ / "tinyproxy.conf", conf);

    pid_ = StartServerOnPort({"tinyproxy"}, {"-d", "-c", d + "/tinyproxy.conf"}, port_);
    return pid_ > 0;
}

}  // namespace testutil
