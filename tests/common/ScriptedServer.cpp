#include "tests/common/ScriptedServer.h"

#include <chrono>
#include <stdexcept>

#include "tests/common/LoopbackSocket.h"

namespace testutil {

int FreeLoopbackPort() {
    int s = -1;
    try {
        s = loopback::Bound(true);
    } catch (const std::runtime_error&) {
        throw std::runtime_error("no free loopback port");
    }
    const int port = loopback::BoundPort(s);
    loopback::Close(s);
    return port;
}

std::vector<ScriptedServer::Step> ScriptedServer::Trickle(const std::string& bytes, int ms) {
    std::vector<Step> steps;
    for (char c : bytes) {
        steps.push_back(Send(std::string(1, c)));
        steps.push_back(Pause(ms));
    }
    return steps;
}

ScriptedServer::ScriptedServer(std::vector<Step> script, bool readRequest)
    : script_(std::move(script)), readRequest_(readRequest) {
    try {
        listenFd_ = loopback::Bound(true, 8);
    } catch (const std::runtime_error&) {
        throw std::runtime_error("scripted server: cannot listen");
    }
    port_ = loopback::BoundPort(listenFd_);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    loopback::Wake(listenFd_);
    if (thread_.joinable()) thread_.join();
    loopback::Close(listenFd_);
}

std::vector<std::string> ScriptedServer::Requests() const {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
}

void ScriptedServer::Serve() {
    while (!stop_) {
        if (!loopback::Readable(listenFd_, 50)) continue;
        int fd = loopback::Accept(listenFd_);
        if (fd < 0) continue;
        ++connections_;
        Handle(fd);
        loopback::Close(fd);
    }
}

void ScriptedServer::Handle(int fd) {
    loopback::SetNoDelay(fd);
    if (readRequest_) {
        std::string req;
        char buf[4096];
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (req.find("\r\n\r\n") == std::string::npos && !stop_ &&
               std::chrono::steady_clock::now() < deadline) {
            if (!loopback::Readable(fd, 50)) continue;
            long n = loopback::Receive(fd, buf, sizeof buf);
            if (n <= 0) return;
            req.append(buf, static_cast<size_t>(n));
        }
        std::lock_guard<std::mutex> lock(mu_);
        requests_.push_back(req);
    }
    for (const auto& step : script_) {
        if (stop_) return;
        switch (step.kind) {
            case Step::Send:
                for (int i = 0; i < step.times && !stop_; ++i) {
                    size_t off = 0;
                    while (off < step.data.size()) {
                        long n = loopback::Send(fd, step.data.data() + off, step.data.size() - off);
                        if (n <= 0) return;
                        off += static_cast<size_t>(n);
                    }
                }
                break;
            case Step::Pause:
                std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
                break;
            case Step::Hold:
                while (!stop_) {
                    if (!loopback::Readable(fd, 50)) continue;
                    char c;
                    if (loopback::Receive(fd, &c, 1) <= 0) {
                        clientClosed_ = true;
                        return;
                    }
                }
                return;
            case Step::Close:
                return;
        }
    }
}

}  // namespace testutil
