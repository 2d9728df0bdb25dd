#include "tests/common/NetPeer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace testnet {
namespace {

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

int BoundPort(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool WaitReadable(int fd, long long deadline) {
    for (;;) {
        long long left = deadline - NowMs();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(left));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
    }
}

}  // namespace

Listener::Listener(int type) {
    fd_ = socket(AF_INET, (type == 1 ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
    if (fd_ < 0) throw std::runtime_error("socket");
    sockaddr_in a = Loopback(0);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("bind");
    if (type == 1 && listen(fd_, 16) != 0) throw std::runtime_error("listen");
    port_ = BoundPort(fd_);
}

Listener::~Listener() {
    if (fd_ >= 0) close(fd_);
}

int Listener::Accept(int timeoutMs) {
    if (!WaitReadable(fd_, NowMs() + timeoutMs)) return -1;
    return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

int ClosedPort() {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    int port = BoundPort(fd);
    close(fd);
    return port;
}

int ConnectTo(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Loopback(port);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = send(fd, p, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string ReadExactly(int fd, std::size_t n, int timeoutMs) {
    std::string out;
    long long deadline = NowMs() + timeoutMs;
    char buf[65536];
    while (out.size() < n && WaitReadable(fd, deadline)) {
        ssize_t r = recv(fd, buf, std::min(sizeof buf, n - out.size()), 0);
        if (r <= 0) break;
        out.append(buf, static_cast<std::size_t>(r));
    }
    return out;
}

std::string ReadToEnd(int fd, int timeoutMs) {
    std::string out;
    long long deadline = NowMs() + timeoutMs;
    char buf[65536];
    while (WaitReadable(fd, deadline)) {
        ssize_t r = recv(fd, buf, sizeof buf, 0);
        if (r <= 0) break;
        out.append(buf, static_cast<std::size_t>(r));
    }
    return out;
}

void CloseWithReset(int fd) {
    linger l{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close(fd);
}

void Close(int fd) { close(fd); }
void ShutdownSend(int fd) { shutdown(fd, SHUT_WR); }
void SetReceiveBuffer(int fd, int bytes) { setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes); }
// The peers use the system's sockets, not the platform's service.
void ReleasePeerService() {}

std::string ReverseName(const std::string& ip) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_aton(ip.c_str(), &a.sin_addr);
    char host[NI_MAXHOST];
    if (getnameinfo(reinterpret_cast<sockaddr*>(&a), sizeof a, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0)
        return ip;
    return host;
}

std::string OfficialName(const std::string& host) {
    hostent he{}, *res = nullptr;
    char work[8192];
    int err = 0;
    if (gethostbyname_r(host.c_str(), &he, work, sizeof work, &res, &err) != 0 || !res) return "";
    return res->h_name;
}

}  // namespace testnet
