#include "tests/common/LoopbackSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

namespace testutil::loopback {
namespace {

sockaddr_in Address(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

}  // namespace

int Bound(bool stream, int backlog) {
    int s = socket(AF_INET, (stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
    if (s < 0) throw std::runtime_error("socket");
    int one = 1;
    if (stream && backlog > 0) setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a = Address(0);
    const char* failed = nullptr;
    if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        failed = "bind";
    else if (stream && backlog > 0 && listen(s, backlog) != 0)
        failed = "listen";
    if (failed) {
        close(s);
        throw std::runtime_error(failed);
    }
    return s;
}

int BoundPort(int s) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

int Accept(int s) { return accept4(s, nullptr, nullptr, SOCK_CLOEXEC); }

int Connect(int port) {
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = Address(port);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(s);
        return -1;
    }
    return s;
}

bool Readable(int s, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd p{s, POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(left));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
    }
}

long Send(int s, const char* data, std::size_t size) {
    for (;;) {
        const ssize_t n = send(s, data, size, MSG_NOSIGNAL);
        if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
}

long Receive(int s, char* buf, std::size_t size) { return static_cast<long>(recv(s, buf, size, 0)); }

void Close(int s) { close(s); }

void CloseWithReset(int s) {
    linger l{1, 0};
    setsockopt(s, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close(s);
}

void ShutdownSend(int s) { shutdown(s, SHUT_WR); }
void Wake(int s) { shutdown(s, SHUT_RDWR); }

void SetNoDelay(int s) {
    int one = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void SetReceiveBuffer(int s, int bytes) { setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes); }

}  // namespace testutil::loopback
