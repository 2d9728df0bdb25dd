#include "tests/common/ProxyServer.h"

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
    const std::string d = SystemPath(dir_.path());
    if (d.empty()) return false;
    std::string conf;
    conf += "Port " + std::to_string(port_) + "\nListen 127.0.0.1\nTimeout 30\nMaxClients 16\n";
    conf += "Allow 127.0.0.1\nBasicAuth " + user + " " + password + "\n";
    conf += "LogFile \"" + d + "/tinyproxy.log\"\nLogLevel Info\n";
    // As root it drops to nobody, who is given the folder for its log.
    if (ServersRunAsRoot()) conf += "User nobody\nGroup nogroup\n";
    WriteFile(dir_ / "tinyproxy.conf", conf);
    pid_ = StartServerOnPort({"tinyproxy"}, {"-d", "-c", d + "/tinyproxy.conf"}, port_, d);
    return pid_ > 0;
}

}  // namespace testutil
