// What the resolver says, for the socket peers (tests/common/NetPeer.h).
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include "tests/common/NetPeer.h"

namespace testnet {

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
