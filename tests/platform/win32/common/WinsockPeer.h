// Windows Sockets for the test helpers themselves (the scripted server, the
// socket peers, the port checks), started once for the process, apart from the
// product's start-ups. Internal to tests/platform/win32/common.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <windows.h>

namespace testutil::win32 {

// Starts Windows Sockets for the helpers (once, until released).
void HelperWinsock();
// Ends the helpers' start-up, when there is one; the next HelperWinsock starts
// the service again.
void ReleaseHelperWinsock();

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
