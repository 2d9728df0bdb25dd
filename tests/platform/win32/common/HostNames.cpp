// What the resolver says, for the socket peers (tests/common/NetPeer.h), each
// look-up under a start-up of Windows Sockets of its own.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <windows.h>

#include "tests/common/NetPeer.h"

namespace testnet {
namespace {

std::string Name(const hostent* he, const std::string& otherwise) { return he && he->h_name ? he->h_name : otherwise; }

}  // namespace

std::string ReverseName(const std::string& ip) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return ip;
    in_addr a{};
    a.s_addr = inet_addr(ip.c_str());
    const std::string name = Name(gethostbyaddr(reinterpret_cast<const char*>(&a), 4, AF_INET), ip);
    WSACleanup();
    return name;
}

std::string OfficialName(const std::string& host) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return "";
    const std::string name = Name(gethostbyname(host.c_str()), "");
    WSACleanup();
    return name;
}

}  // namespace testnet
