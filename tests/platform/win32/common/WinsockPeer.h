// Windows Sockets for the test helpers themselves (the scripted server, the
// socket peers, the port checks). Windows counts start-ups per process, the
// helpers' with the product's, so the helpers count theirs like any other user:
// a listener or server holds one while it lives, a peer socket handed to a test
// holds one until it is closed, a call that only needs a moment holds one for
// the call. Once the helpers' sockets are gone the service runs for the
// product's users alone, as the tests expect. Internal to
// tests/platform/win32/common.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <windows.h>

namespace testutil::win32 {

// One start-up of the helpers' (throws when Windows Sockets cannot start), and
// its clean-up.
void HelperStartup();
void HelperCleanup();

// A start-up held for a scope.
class HelperWinsock {
public:
    HelperWinsock() { HelperStartup(); }
    ~HelperWinsock() { HelperCleanup(); }
    HelperWinsock(const HelperWinsock&) = delete;
    HelperWinsock& operator=(const HelperWinsock&) = delete;
};

// A socket the helpers hand to a test takes a start-up of its own, given back
// when CloseHelperSocket closes it. Closing any other socket (or one closed
// before) gives nothing back.
void AdoptHelperSocket(SOCKET s);
void CloseHelperSocket(SOCKET s);

inline sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<u_short>(port));
    return a;
}

inline int BoundPort(SOCKET s) {
    sockaddr_in a{};
    int len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

// Waits at most ms for the socket to become readable.
inline bool Readable(SOCKET s, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &tv) > 0;
}

}  // namespace testutil::win32
