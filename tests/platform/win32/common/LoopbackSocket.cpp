// The helpers' sockets on Windows Sockets. Windows counts start-ups per process,
// the helpers' with the product's, so the helpers count theirs like any other
// user: each socket of theirs holds one until it is closed, a call that only
// needs a moment holds one for the call.
#include "tests/common/LoopbackSocket.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <stdexcept>

namespace testutil::loopback {
namespace {

std::mutex g_mu;
std::set<SOCKET> g_held;

void Startup() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("no Windows Sockets for the test helpers");
}

// A start-up held for a scope.
struct Scoped {
    Scoped() { Startup(); }
    ~Scoped() { WSACleanup(); }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
};

// A socket handed out takes a start-up of its own, given back when Close closes
// it. A handle already known was closed some other way and handed out again: it
// keeps the one start-up it holds.
int Hold(SOCKET s) {
    std::lock_guard<std::mutex> lock(g_mu);
    if (g_held.insert(s).second) Startup();
    return static_cast<int>(s);
}

SOCKET S(int s) { return static_cast<SOCKET>(s); }

sockaddr_in Address(int port) {
    sockaddr_in a{AF_INET, htons(static_cast<u_short>(port)), {}, {}};
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

int Bound(bool stream, int backlog) {
    Scoped winsock;
    const SOCKET s = socket(AF_INET, stream ? SOCK_STREAM : SOCK_DGRAM, 0);
    if (s == INVALID_SOCKET) throw std::runtime_error("socket");
    const sockaddr_in a = Address(0);
    const char* failed = bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0       ? "bind"
                         : stream && backlog > 0 && listen(s, backlog) != 0 ? "listen"
                                                                            : nullptr;
    if (!failed) return Hold(s);
    closesocket(s);
    throw std::runtime_error(failed);
}

int BoundPort(int s) {
    sockaddr_in a{};
    int len = sizeof a;
    getsockname(S(s), reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

int Accept(int s) {
    SOCKET a = accept(S(s), nullptr, nullptr);
    return a == INVALID_SOCKET ? -1 : Hold(a);
}

int Connect(int port) {
    Scoped winsock;
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Address(port);
    if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        closesocket(s);
        return -1;
    }
    return Hold(s);
}

bool Readable(int s, int ms) {
    if (ms <= 0) return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(S(s), &set);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &tv) > 0;
}

long Send(int s, const char* data, std::size_t size) {
    return send(S(s), data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
}

long Receive(int s, char* buf, std::size_t size) {
    return recv(S(s), buf, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
}

void Close(int s) {
    bool held;
    {
        std::lock_guard<std::mutex> lock(g_mu);
        held = g_held.erase(S(s)) > 0;
    }
    closesocket(S(s));
    if (held) WSACleanup();
}

void CloseWithReset(int s) {
    linger l{1, 0};
    setsockopt(S(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l);
    Close(s);
}

void ShutdownSend(int s) { shutdown(S(s), SD_SEND); }

// select() on a listener is not woken by its closing; the waiting thread looks
// again within its own short wait.
void Wake(int) {}

void SetNoDelay(int s) {
    BOOL one = TRUE;
    setsockopt(S(s), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
}

void SetReceiveBuffer(int s, int bytes) {
    setsockopt(S(s), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

}  // namespace testutil::loopback
