// The scripted server on Windows Sockets: a thread of the test, as on Linux.
#include "tests/common/ScriptedServer.h"

#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>

#include "tests/platform/win32/common/WinsockPeer.h"

namespace testutil {

namespace win32 {

namespace {

std::mutex g_adoptedMu;
std::set<SOCKET> g_adopted;

}  // namespace

void HelperStartup() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("no Windows Sockets for the test helpers");
}

void HelperCleanup() { WSACleanup(); }

void AdoptHelperSocket(SOCKET s) {
    std::lock_guard<std::mutex> lock(g_adoptedMu);
    // A handle already known was closed some other way and handed out again: it
    // keeps the one start-up it holds.
    if (g_adopted.count(s)) return;
    HelperStartup();
    g_adopted.insert(s);
}

void CloseHelperSocket(SOCKET s) {
    bool adopted;
    {
        std::lock_guard<std::mutex> lock(g_adoptedMu);
        adopted = g_adopted.erase(s) > 0;
    }
    closesocket(s);
    if (adopted) HelperCleanup();
}

}  // namespace win32

using win32::Loopback;
using win32::Readable;

int FreeLoopbackPort() {
    win32::HelperWinsock winsock;
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        closesocket(s);
        throw std::runtime_error("no free loopback port");
    }
    const int port = win32::BoundPort(s);
    closesocket(s);
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
    win32::HelperStartup();  // given back by the destructor
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    if (s == INVALID_SOCKET || bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(s, 8) != 0) {
        if (s != INVALID_SOCKET) closesocket(s);
        win32::HelperCleanup();
        throw std::runtime_error("scripted server: cannot listen");
    }
    listenFd_ = static_cast<int>(s);
    port_ = win32::BoundPort(s);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    closesocket(static_cast<SOCKET>(listenFd_));
    win32::HelperCleanup();
}

std::vector<std::string> ScriptedServer::Requests() const {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
}

void ScriptedServer::Serve() {
    const SOCKET listener = static_cast<SOCKET>(listenFd_);
    while (!stop_) {
        if (!Readable(listener, 50)) continue;
        SOCKET s = accept(listener, nullptr, nullptr);
        if (s == INVALID_SOCKET) continue;
        ++connections_;
        Handle(static_cast<int>(s));
        closesocket(s);
    }
}

void ScriptedServer::Handle(int fd) {
    const SOCKET s = static_cast<SOCKET>(fd);
    BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    if (readRequest_) {
        std::string req;
        char buf[4096];
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (req.find("\r\n\r\n") == std::string::npos && !stop_ &&
               std::chrono::steady_clock::now() < deadline) {
            if (!Readable(s, 50)) continue;
            int n = recv(s, buf, sizeof buf, 0);
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
                        int n = send(s, step.data.data() + off, static_cast<int>(step.data.size() - off), 0);
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
                    if (!Readable(s, 50)) continue;
                    char c;
                    if (recv(s, &c, 1, 0) <= 0) {
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
