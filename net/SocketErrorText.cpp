#include "net/SocketErrorText.h"

#include "platform/Winsock.h"

namespace nl {

std::string SocketErrorText(std::int32_t number) {
    switch (number) {
        case plat::WS_EACCES: return "permission denied";
        case plat::WS_EMFILE: return "too many open files";
        case plat::WS_EADDRINUSE: return "the local address is in use";
        case plat::WS_EADDRNOTAVAIL: return "the address is not available";
        case plat::WS_ENETDOWN: return "the network is down";
        case plat::WS_ENETUNREACH: return "the network is unreachable";
        case plat::WS_ENETRESET: return "the connection was dropped by a network reset";
        case plat::WS_ECONNABORTED: return "the connection was aborted";
        case plat::WS_ECONNRESET: return "connection reset by the server";
        case plat::WS_ENOBUFS: return "no buffer space left";
        case plat::WS_ENOTCONN: return "not connected";
        case plat::WS_ESHUTDOWN: return "the connection was shut down";
        case plat::WS_ETIMEDOUT: return "the connection attempt timed out";
        case plat::WS_ECONNREFUSED: return "connection refused";
        case plat::WS_EHOSTDOWN: return "the host is down";
        case plat::WS_EHOSTUNREACH: return "no route to the host";
        case plat::WS_EDISCON: return "the server ended the connection";
        default: return "";
    }
}

}  // namespace nl
