#include "tests/common/ScriptedServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace testutil {

int FreeLoopbackPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(fd);
        throw std::runtime_error("no free loopback port");
    }
    close(fd);
    return ntohs(a.sin_port);
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
    listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listenFd_, 8) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        throw std::runtime_error("scripted server: cannot listen");
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    shutdown(listenFd_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    close(listenFd_);
}

std::vector<std::string> ScriptedServer::Requests() const {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
}

void ScriptedServer::Serve() {
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        ++connections_;
        Handle(fd);
        close(fd);
    }
}

void ScriptedServer::Handle(int fd) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (readRequest_) {
        std::string req;
        char buf[4096];
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (req.find("\r\n\r\n") == std::string::npos && !stop_ &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            ssize_t n = recv(fd, buf, sizeof buf, 0);
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
                        ssize_t n = send(fd, step.data.data() + off, step.data.size() - off, MSG_NOSIGNAL);
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
                    pollfd p{fd, POLLIN, 0};
                    if (poll(&p, 1, 50) <= 0) continue;
                    char c;
                    if (recv(fd, &c, 1, 0) <= 0) {
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
