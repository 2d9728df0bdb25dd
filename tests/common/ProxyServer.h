// A real forward proxy (tinyproxy) on a loopback ephemeral port that demands
// Basic proxy authorization. Stopped (and waited for) on destruction.
#pragma once

#include <string>

#include "tests/common/TestUtil.h"

namespace testutil {

class ProxyServer {
public:
    ProxyServer(const std::string& user = "proxyuser", const std::string& password = "proxypass");
    ~ProxyServer();
    ProxyServer(const ProxyServer&) = delete;
    ProxyServer& operator=(const ProxyServer&) = delete;

    bool Running() const { return pid_ > 0; }
    int Port() const { return port_; }
    std::string Log() const { return ReadFile(dir_ / "tinyproxy.log"); }

private:
    bool Start(const std::string& user, const std::string& password);

    TempDir dir_;
    int port_ = 0;
    ProcessId pid_ = -1;
};

}  // namespace testutil
