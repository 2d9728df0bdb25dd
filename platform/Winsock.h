// Windows Sockets 1.1 as the socket layer uses it: start-up, sockets and their
// options, stream and datagram transfer, address conversion, a blocking reverse
// look-up, and the asynchronous model (event selection onto a window, host-name
// look-ups completed by a posted message).
//
// The calls and structures have the shapes of their ws2_32 namesakes so that the
// Windows build can pass them straight through. Constants carry a WS_ prefix
// because the system headers define the unprefixed names as macros with other
// values. Errors are Windows Sockets numbers (WS_EWOULDBLOCK = 10035, ...),
// read with WSAGetLastError() after a call returned WS_SOCKET_ERROR,
// WS_INVALID_SOCKET, 0 or nullptr.
//
// Everything except WSAGetLastError (per thread) is meant for the user-interface
// thread; the blocking calls may also be used from other threads.
#pragma once

#include <cstdint>

#include "platform/Types.h"

namespace plat {

using SOCKET = std::uintptr_t;
using WORD = std::uint16_t;

constexpr SOCKET WS_INVALID_SOCKET = ~SOCKET{0};
constexpr int WS_SOCKET_ERROR = -1;

// Address family, socket types, protocols.
constexpr int WS_AF_INET = 2;
constexpr int WS_SOCK_STREAM = 1;
constexpr int WS_SOCK_DGRAM = 2;
constexpr int WS_IPPROTO_TCP = 6;
constexpr int WS_IPPROTO_UDP = 17;

// Socket-level options (level WS_SOL_SOCKET). All values are 4-byte integers;
// the time-outs are in milliseconds.
constexpr int WS_SOL_SOCKET = 0xFFFF;
constexpr int WS_SO_BROADCAST = 0x0020;
constexpr int WS_SO_SNDBUF = 0x1001;
constexpr int WS_SO_RCVBUF = 0x1002;
constexpr int WS_SO_SNDTIMEO = 0x1005;
constexpr int WS_SO_RCVTIMEO = 0x1006;
constexpr int WS_SO_TYPE = 0x1008;

// The receive buffer a stream socket is given when the system's own is smaller,
// or 0 to keep the system's. The socket layer receives once per read notice, as
// much as the buffer holds, so this is also its receive size. Under Wine every
// notice and every receive is a round trip to the wineserver, and a buffer of
// 4 MiB takes a download in a thirtieth of the notices of the default 128 KiB.
// Linux sizes a socket's buffer by itself only as long as no size is set, and
// does so well: it keeps its own.
#ifdef _WIN32
constexpr int PL_STREAM_RECEIVE_BUFFER = 4 << 20;
#else
constexpr int PL_STREAM_RECEIVE_BUFFER = 0;
#endif
// The most a secure stream reads at once. Each read is copied through the
// session's buffers, which keep the size of the largest one: on Linux four
// records at a time keep them small. On Windows a read costs the same round
// trips as a plain one, so it stays as large.
#ifdef _WIN32
constexpr int PL_SECURE_RECEIVE_SIZE = PL_STREAM_RECEIVE_BUFFER;
#else
constexpr int PL_SECURE_RECEIVE_SIZE = 64 << 10;
#endif

// shutdown() directions.
constexpr int WS_SD_RECEIVE = 0;
constexpr int WS_SD_SEND = 1;
constexpr int WS_SD_BOTH = 2;

constexpr std::uint32_t WS_INADDR_ANY = 0;
constexpr std::uint32_t WS_INADDR_NONE = 0xFFFFFFFFu;

// Network events for WSAAsyncSelect.
constexpr long WS_FD_READ = 0x01;
constexpr long WS_FD_WRITE = 0x02;
constexpr long WS_FD_OOB = 0x04;
constexpr long WS_FD_ACCEPT = 0x08;
constexpr long WS_FD_CONNECT = 0x10;
constexpr long WS_FD_CLOSE = 0x20;

// The largest host entry WSAAsyncGetHostByName writes.
constexpr int WS_MAXGETHOSTSTRUCT = 1024;

// Error numbers.
constexpr int WS_EINTR = 10004;
constexpr int WS_EBADF = 10009;
constexpr int WS_EACCES = 10013;
constexpr int WS_EFAULT = 10014;
constexpr int WS_EINVAL = 10022;
constexpr int WS_EMFILE = 10024;
constexpr int WS_EWOULDBLOCK = 10035;
constexpr int WS_EINPROGRESS = 10036;
constexpr int WS_EALREADY = 10037;
constexpr int WS_ENOTSOCK = 10038;
constexpr int WS_EDESTADDRREQ = 10039;
constexpr int WS_EMSGSIZE = 10040;
constexpr int WS_EPROTOTYPE = 10041;
constexpr int WS_ENOPROTOOPT = 10042;
constexpr int WS_EPROTONOSUPPORT = 10043;
constexpr int WS_ESOCKTNOSUPPORT = 10044;
constexpr int WS_EOPNOTSUPP = 10045;
constexpr int WS_EPFNOSUPPORT = 10046;
constexpr int WS_EAFNOSUPPORT = 10047;
constexpr int WS_EADDRINUSE = 10048;
constexpr int WS_EADDRNOTAVAIL = 10049;
constexpr int WS_ENETDOWN = 10050;
constexpr int WS_ENETUNREACH = 10051;
constexpr int WS_ENETRESET = 10052;
constexpr int WS_ECONNABORTED = 10053;
constexpr int WS_ECONNRESET = 10054;
constexpr int WS_ENOBUFS = 10055;
constexpr int WS_EISCONN = 10056;
constexpr int WS_ENOTCONN = 10057;
constexpr int WS_ESHUTDOWN = 10058;
constexpr int WS_ETIMEDOUT = 10060;
constexpr int WS_ECONNREFUSED = 10061;
constexpr int WS_EHOSTDOWN = 10064;
constexpr int WS_EHOSTUNREACH = 10065;
constexpr int WS_EPROCLIM = 10067;
constexpr int WS_SYSNOTREADY = 10091;
constexpr int WS_VERNOTSUPPORTED = 10092;
constexpr int WS_NOTINITIALISED = 10093;
constexpr int WS_EDISCON = 10101;
constexpr int WS_SYSCALLFAILURE = 10107;
constexpr int WS_TYPE_NOT_FOUND = 10109;
constexpr int WS_HOST_NOT_FOUND = 11001;
constexpr int WS_TRY_AGAIN = 11002;
constexpr int WS_NO_RECOVERY = 11003;
constexpr int WS_NO_DATA = 11004;

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};

struct IN_ADDR {
    std::uint32_t S_addr;  // network byte order
};

struct SOCKADDR {
    std::uint16_t sa_family;
    char sa_data[14];
};

struct SOCKADDR_IN {
    short sin_family;
    std::uint16_t sin_port;  // network byte order
    IN_ADDR sin_addr;
    char sin_zero[8];
};
static_assert(sizeof(SOCKADDR_IN) == 16 && sizeof(SOCKADDR) == 16);

// A host entry. The pointers point into the same block as the entry (the caller's
// buffer for WSAAsyncGetHostByName); lists end with a null pointer. Addresses are
// h_length bytes in network byte order. On 32-bit Windows this is the 16-byte
// hostent; on 64-bit builds the pointers are 8 bytes wide and the entry 32 bytes,
// so readers always go through this structure, never through fixed offsets.
struct HOSTENT {
    char* h_name;
    char** h_aliases;
    short h_addrtype;
    short h_length;
    char** h_addr_list;
};

// Start-up and clean-up. WSAStartup returns 0 or an error number; iMaxUdpDg is the
// largest datagram payload. Start-ups are counted; the last clean-up ends service,
// after which socket() and WSAAsyncGetHostByName fail with WS_NOTINITIALISED.
int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);

SOCKET socket(int af, int type, int protocol);
int closesocket(SOCKET s);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
int bind(SOCKET s, const SOCKADDR* name, int namelen);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, SOCKADDR* addr, int* addrlen);
int connect(SOCKET s, const SOCKADDR* name, int namelen);
int send(SOCKET s, const char* buf, int len, int flags);
int recv(SOCKET s, char* buf, int len, int flags);
int sendto(SOCKET s, const char* buf, int len, int flags, const SOCKADDR* to, int tolen);
int recvfrom(SOCKET s, char* buf, int len, int flags, SOCKADDR* from, int* fromlen);
int shutdown(SOCKET s, int how);
int getsockname(SOCKET s, SOCKADDR* name, int* namelen);
int getpeername(SOCKET s, SOCKADDR* name, int* namelen);

// Dotted-address conversion. inet_addr returns WS_INADDR_NONE for text that is not
// a dotted IPv4 address; inet_ntoa returns a per-thread buffer.
std::uint32_t inet_addr(const char* cp);
char* inet_ntoa(IN_ADDR in);

// Blocking look-up of a host name (or a dotted address) to its IPv4 addresses.
// The entry lives in per-thread storage until the thread's next call; nullptr
// (WS_HOST_NOT_FOUND .. WS_NO_DATA, or WS_NOTINITIALISED) when the name does not
// resolve. A name with a port ("host:80") is not a host name and does not resolve.
const HOSTENT* gethostbyname(const char* name);

// Blocking reverse look-up of a 4-byte address (type WS_AF_INET). The entry lives in
// per-thread storage until the thread's next call; nullptr when no name is known.
const HOSTENT* gethostbyaddr(const char* addr, int len, int type);

// Selects network events for a socket: notifications are posted to hwnd as msg with
// wParam = the socket and lParam = MakeLong(event, error). Makes the socket
// non-blocking. events = 0 cancels the selection (the socket stays non-blocking).
// The usual re-enabling rules apply: FD_READ is posted again only after recv or
// recvfrom; FD_WRITE when a connect completes and after a send that reported
// WS_EWOULDBLOCK, once room has freed up (a send that took only part of the data
// re-enables nothing: the caller sends again until one would block); FD_CONNECT
// once, with the connect's error; FD_CLOSE once when the peer has finished or the
// connection failed (a reset with WS_ECONNRESET). Windows documents FD_CLOSE
// after a graceful close as coming once the data has been read, but it may also
// come while data is unread (the POSIX side posts it at once): the owner reads
// what is left when it arrives. FD_ACCEPT again after accept.
int WSAAsyncSelect(SOCKET s, HWND hwnd, UINT msg, long events);

// Starts a host-name look-up. Returns a non-zero task handle, or 0 with the error
// in WSAGetLastError. When it finishes, msg is posted to hwnd with wParam = the task
// and lParam = MakeLong(bytes used, error); on success a HOSTENT with everything it
// points to has been written into buf first (buflen should be WS_MAXGETHOSTSTRUCT).
// Look-up errors are WS_HOST_NOT_FOUND .. WS_NO_DATA, or WS_ENOBUFS when the entry
// does not fit. buf must stay valid until the message has been posted; the platform
// does not touch it afterwards.
std::uintptr_t WSAAsyncGetHostByName(HWND hwnd, UINT msg, const char* name, char* buf, int buflen);

}  // namespace plat
