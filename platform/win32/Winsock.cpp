// Windows Sockets straight through to ws2_32: the shapes and numbers of the
// platform interface are the system's own, so nothing is translated. The
// asynchronous calls post to the real window behind the product's handle, and
// the look-ups are Windows' own (no thread of ours).
#include "platform/Winsock.h"

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
