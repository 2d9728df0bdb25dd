// Windows Sockets straight through to ws2_32: the shapes and numbers of the
// platform interface are the system's own, so nothing is translated. The
// asynchronous calls post to the real window behind the product's handle, and
// the look-ups are Windows' own (no thread of ours).
#include "platform/Winsock.h"

#include <cstring>
#include <string>

#include "platform/win32/MessageLoop.h"

// After the platform header: winsock2.h defines S_addr as a macro.
#include <winsock2.h>
#undef S_addr

namespace plat {

static_assert(sizeof(::SOCKET) == sizeof(SOCKET));
static_assert(sizeof(::sockaddr_in) == sizeof(SOCKADDR_IN));
static_assert(sizeof(::hostent) == sizeof(HOSTENT));
static_assert(WS_MAXGETHOSTSTRUCT == MAXGETHOSTSTRUCT);
static_assert(WS_EWOULDBLOCK == WSAEWOULDBLOCK && WS_HOST_NOT_FOUND == WSAHOST_NOT_FOUND);
static_assert(WS_FD_READ == FD_READ && WS_FD_CLOSE == FD_CLOSE && WS_FD_CONNECT == FD_CONNECT);
static_assert(WS_SOL_SOCKET == SOL_SOCKET && WS_SO_RCVTIMEO == SO_RCVTIMEO);

namespace {

const ::sockaddr* Sa(const SOCKADDR* a) { return reinterpret_cast<const ::sockaddr*>(a); }
::sockaddr* Sa(SOCKADDR* a) { return reinterpret_cast<::sockaddr*>(a); }

}  // namespace

int WSAStartup(WORD versionRequested, WSADATA* data) {
    ::WSADATA real{};
    int r = ::WSAStartup(versionRequested, &real);
    if (data) {
        *data = WSADATA{};
        data->wVersion = real.wVersion;
        data->wHighVersion = real.wHighVersion;
        static_assert(sizeof data->szDescription == sizeof real.szDescription);
        static_assert(sizeof data->szSystemStatus == sizeof real.szSystemStatus);
        for (size_t i = 0; i < sizeof real.szDescription; ++i) data->szDescription[i] = real.szDescription[i];
        for (size_t i = 0; i < sizeof real.szSystemStatus; ++i) data->szSystemStatus[i] = real.szSystemStatus[i];
        data->iMaxSockets = real.iMaxSockets;
        data->iMaxUdpDg = real.iMaxUdpDg;
        data->lpVendorInfo = real.lpVendorInfo;
    }
    return r;
}

int WSACleanup() { return ::WSACleanup(); }
int WSAGetLastError() { return ::WSAGetLastError(); }
void WSASetLastError(int error) { ::WSASetLastError(error); }

SOCKET socket(int af, int type, int protocol) { return ::socket(af, type, protocol); }
int closesocket(SOCKET s) { return ::closesocket(s); }
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
    return ::setsockopt(s, level, optname, optval, optlen);
}
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
    return ::getsockopt(s, level, optname, optval, optlen);
}
int bind(SOCKET s, const SOCKADDR* name, int namelen) { return ::bind(s, Sa(name), namelen); }
int listen(SOCKET s, int backlog) { return ::listen(s, backlog); }
SOCKET accept(SOCKET s, SOCKADDR* addr, int* addrlen) { return ::accept(s, Sa(addr), addrlen); }
int connect(SOCKET s, const SOCKADDR* name, int namelen) { return ::connect(s, Sa(name), namelen); }
int send(SOCKET s, const char* buf, int len, int flags) { return ::send(s, buf, len, flags); }
int recv(SOCKET s, char* buf, int len, int flags) { return ::recv(s, buf, len, flags); }
int sendto(SOCKET s, const char* buf, int len, int flags, const SOCKADDR* to, int tolen) {
    return ::sendto(s, buf, len, flags, Sa(to), tolen);
}
int recvfrom(SOCKET s, char* buf, int len, int flags, SOCKADDR* from, int* fromlen) {
    return ::recvfrom(s, buf, len, flags, Sa(from), fromlen);
}
int shutdown(SOCKET s, int how) { return ::shutdown(s, how); }
int getsockname(SOCKET s, SOCKADDR* name, int* namelen) { return ::getsockname(s, Sa(name), namelen); }
int getpeername(SOCKET s, SOCKADDR* name, int* namelen) { return ::getpeername(s, Sa(name), namelen); }

std::uint32_t inet_addr(const char* cp) { return cp ? static_cast<std::uint32_t>(::inet_addr(cp)) : WS_INADDR_NONE; }

char* inet_ntoa(IN_ADDR in) {
    ::in_addr a{};
    a.S_un.S_addr = in.S_addr;
    return ::inet_ntoa(a);
}

namespace {

// Copies a system host entry into `block`, laid out as the look-up messages lay
// theirs: the entry, the two pointer lists, the addresses, then the texts. Aliases
// and further addresses that do not fit are left out; false when not even the
// name and one address fit.
bool CopyHostEntry(const ::hostent& he, char* block, std::size_t size) {
    if (he.h_addrtype != AF_INET || he.h_length != 4 || !he.h_addr_list || !he.h_addr_list[0]) return false;
    const std::string name = he.h_name ? he.h_name : "";
    std::size_t nAlias = 0, nAddr = 0;
    while (he.h_aliases && he.h_aliases[nAlias]) ++nAlias;
    while (he.h_addr_list[nAddr]) ++nAddr;
    auto need = [&](std::size_t aliases, std::size_t addrs) {
        std::size_t n = sizeof(HOSTENT) + (aliases + 1 + addrs + 1) * sizeof(char*) + addrs * 4 + name.size() + 1;
        for (std::size_t i = 0; i < aliases; ++i) n += std::strlen(he.h_aliases[i]) + 1;
        return n;
    };
    while (nAlias > 0 && need(nAlias, nAddr) > size) --nAlias;
    while (nAddr > 1 && need(nAlias, nAddr) > size) --nAddr;
    if (need(nAlias, nAddr) > size) return false;

    auto* entry = reinterpret_cast<HOSTENT*>(block);
    auto** aliases = reinterpret_cast<char**>(block + sizeof(HOSTENT));
    char** addrs = aliases + nAlias + 1;
    char* p = reinterpret_cast<char*>(addrs + nAddr + 1);
    for (std::size_t i = 0; i < nAddr; ++i, p += 4) {
        std::memcpy(p, he.h_addr_list[i], 4);
        addrs[i] = p;
    }
    addrs[nAddr] = nullptr;
    auto text = [&p](const char* t) {
        char* at = p;
        const std::size_t n = std::strlen(t) + 1;
        std::memcpy(p, t, n);
        p += n;
        return at;
    };
    entry->h_name = text(name.c_str());
    for (std::size_t i = 0; i < nAlias; ++i) aliases[i] = text(he.h_aliases[i]);
    aliases[nAlias] = nullptr;
    entry->h_aliases = aliases;
    entry->h_addrtype = WS_AF_INET;
    entry->h_length = 4;
    entry->h_addr_list = addrs;
    return true;
}

}  // namespace

const HOSTENT* gethostbyname(const char* name) {
    if (!name) {
        ::WSASetLastError(WSAEFAULT);
        return nullptr;
    }
    // No host name holds a colon; "host:port" would only go to the resolver to fail.
    // An empty name is no host either (Windows would answer with this machine).
    if (!*name || std::strchr(name, ':')) {
        ::WSASetLastError(WSAHOST_NOT_FOUND);
        return nullptr;
    }
    const ::hostent* he = ::gethostbyname(name);
    if (!he) return nullptr;  // the system's error stays set
    // The system's entry is shared by the thread's look-ups of every kind; the
    // caller gets a copy of its own, valid until this thread's next call.
    alignas(HOSTENT) thread_local char block[WS_MAXGETHOSTSTRUCT];
    if (!CopyHostEntry(*he, block, sizeof block)) {
        ::WSASetLastError(he->h_addrtype != AF_INET || he->h_length != 4 ? WSANO_DATA : WSAENOBUFS);
        return nullptr;
    }
    return reinterpret_cast<const HOSTENT*>(block);
}

const HOSTENT* gethostbyaddr(const char* addr, int len, int type) {
    return reinterpret_cast<const HOSTENT*>(::gethostbyaddr(addr, len, type));
}

int WSAAsyncSelect(SOCKET s, HWND hwnd, UINT msg, long events) {
    return ::WSAAsyncSelect(s, win32::MessageLoop::Instance().Real(hwnd), msg, events);
}

std::uintptr_t WSAAsyncGetHostByName(HWND hwnd, UINT msg, const char* name, char* buf, int buflen) {
    HANDLE task = reinterpret_cast<HANDLE>(
        ::WSAAsyncGetHostByName(win32::MessageLoop::Instance().Real(hwnd), msg, name, buf, buflen));
    return task;
}

}  // namespace plat
