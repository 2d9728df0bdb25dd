// The blocking loopback peers on Windows Sockets. Their sockets are the
// helpers' own (see WinsockPeer.h); numbers are handed out as int, which Windows'
// small socket handles fit.
#include "tests/common/NetPeer.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

#include "tests/platform/win32/common/WinsockPeer.h"

namespace testnet {

using testutil::win32::BoundPort;
using testutil::win32::Loopback;

namespace {

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool WaitReadable(int fd, long long deadline) {
    const long long left = deadline - NowMs();
    return left > 0 && testutil::win32::Readable(static_cast<SOCKET>(fd), static_cast<int>(left));
}

SOCKET S(int fd) { return static_cast<SOCKET>(fd); }

}  // namespace

Listener::Listener(int type) {
    testutil::win32::HelperWinsock();
    SOCKET s = socket(AF_INET, type == 1 ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) throw std::runtime_error("socket");
    fd_ = static_cast<int>(s);
    sockaddr_in a = Loopback(0);
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) throw std::runtime_error("bind");
    if (type == 1 && listen(s, 16) != 0) throw std::runtime_error("listen");
    port_ = BoundPort(s);
}

Listener::~Listener() {
    if (fd_ >= 0) closesocket(S(fd_));
}

int Listener::Accept(int timeoutMs) {
    if (!WaitReadable(fd_, NowMs() + timeoutMs)) return -1;
    SOCKET s = accept(S(fd_), nullptr, nullptr);
    return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}

int ClosedPort() {
    testutil::win32::HelperWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    const int port = BoundPort(s);
    closesocket(s);
    return port;
}

int ConnectTo(int port) {
    testutil::win32::HelperWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(port);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        closesocket(s);
        return -1;
    }
    return static_cast<int>(s);
}

bool SendAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        int n = send(S(fd), p, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
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
        int r = recv(S(fd), buf, static_cast<int>(std::min(sizeof buf, n - out.size())), 0);
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
        int r = recv(S(fd), buf, sizeof buf, 0);
        if (r <= 0) break;
        out.append(buf, static_cast<std::size_t>(r));
    }
    return out;
}

void CloseWithReset(int fd) {
    linger l{1, 0};
    setsockopt(S(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    closesocket(S(fd));
}

void Close(int fd) { closesocket(S(fd)); }
void ShutdownSend(int fd) { shutdown(S(fd), SD_SEND); }
void SetReceiveBuffer(int fd, int bytes) {
    setsockopt(S(fd), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}
void ReleasePeerService() { testutil::win32::ReleaseHelperWinsock(); }

std::string ReverseName(const std::string& ip) {
    testutil::win32::HelperWinsock();
    in_addr a{};
    a.s_addr = inet_addr(ip.c_str());
    const hostent* he = gethostbyaddr(reinterpret_cast<const char*>(&a), 4, AF_INET);
    return he && he->h_name ? he->h_name : ip;
}

std::string OfficialName(const std::string& host) {
    testutil::win32::HelperWinsock();
    const hostent* he = gethostbyname(host.c_str());
    return he && he->h_name ? he->h_name : "";
}

}  // namespace testnet
