// Whether Windows Sockets is running in this process, seen the way any other part
// of the program would see it: a socket can be made, or the call fails with
// WS_NOTINITIALISED.
#pragma once

#include <gtest/gtest.h>

#include "platform/Winsock.h"

namespace testutil {

inline bool WinsockRunning() {
    plat::SOCKET s = plat::socket(plat::WS_AF_INET, plat::WS_SOCK_STREAM, 0);
    if (s == plat::WS_INVALID_SOCKET) {
        EXPECT_EQ(plat::WSAGetLastError(), plat::WS_NOTINITIALISED) << "no socket for another reason";
        return false;
    }
    plat::closesocket(s);
    return true;
}

}  // namespace testutil
