// Windows Sockets on Linux sockets.
//
// Handles are not descriptors: each socket gets a fresh number that is never
// reused within the process, so a notification still queued for a closed socket
// can never reach a later socket that happens to get the same descriptor.
//
// Event selection watches the descriptor in the event loop (level-triggered epoll)
// for exactly the conditions whose notification is currently enabled, so an idle
// or throttled socket costs nothing: a posted FD_READ drops the read interest
// until the next recv, FD_WRITE drops the write interest until a send would block,
// and so on.
#include "platform/Winsock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/posix/AsciiCase.h"
#include "platform/posix/EventLoop.h"

namespace plat {
namespace {

thread_local int t_lastError = 0;

// errno -> Windows Sockets error number. The one place where the two meet.
struct ErrnoMap {
    int err;
    int wsa;
};
constexpr ErrnoMap kErrnoTable[] = {
    {EINTR, WS_EINTR},
    {EBADF, WS_ENOTSOCK},
    {EACCES, WS_EACCES},
    {EPERM, WS_EACCES},
    {EFAULT, WS_EFAULT},
    {EINVAL, WS_EINVAL},
    {EMFILE, WS_EMFILE},
    {ENFILE, WS_EMFILE},
    {EAGAIN, WS_EWOULDBLOCK},
#if EWOULDBLOCK != EAGAIN
    {EWOULDBLOCK, WS_EWOULDBLOCK},
#endif
    {EINPROGRESS, WS_EWOULDBLOCK},
    {EALREADY, WS_EALREADY},
    {ENOTSOCK, WS_ENOTSOCK},
    {EDESTADDRREQ, WS_EDESTADDRREQ},
    {EMSGSIZE, WS_EMSGSIZE},
    {EPROTOTYPE, WS_EPROTOTYPE},
    {ENOPROTOOPT, WS_ENOPROTOOPT},
    {EPROTONOSUPPORT, WS_EPROTONOSUPPORT},
    {ESOCKTNOSUPPORT, WS_ESOCKTNOSUPPORT},
    {EOPNOTSUPP, WS_EOPNOTSUPP},
    {EPFNOSUPPORT, WS_EPFNOSUPPORT},
    {EAFNOSUPPORT, WS_EAFNOSUPPORT},
    {EADDRINUSE, WS_EADDRINUSE},
    {EADDRNOTAVAIL, WS_EADDRNOTAVAIL},
    {ENETDOWN, WS_ENETDOWN},
    {ENETUNREACH, WS_ENETUNREACH},
    {ENETRESET, WS_ENETRESET},
    {ECONNABORTED, WS_ECONNABORTED},
    {ECONNRESET, WS_ECONNRESET},
    {EPIPE, WS_ESHUTDOWN},
    {ENOBUFS, WS_ENOBUFS},
    {ENOMEM, WS_ENOBUFS},
    {EISCONN, WS_EISCONN},
    {ENOTCONN, WS_ENOTCONN},
    {ESHUTDOWN, WS_ESHUTDOWN},
    {ETIMEDOUT, WS_ETIMEDOUT},
    {ECONNREFUSED, WS_ECONNREFUSED},
    {EHOSTDOWN, WS_EHOSTDOWN},
    {EHOSTUNREACH, WS_EHOSTUNREACH},
};

int MapErrno(int e) {
    for (const auto& m : kErrnoTable)
        if (m.err == e) return m.wsa;
    return WS_SYSCALLFAILURE;
}

int Fail(int wsaError) {
    t_lastError = wsaError;
    return WS_SOCKET_ERROR;
}

int FailErrno() { return Fail(MapErrno(errno)); }

enum class Phase { Fresh, Connecting, Connected, Listening, Failed };

struct Sock {
    SOCKET handle = 0;
    int fd = -1;
    int type = 0;
    Phase phase = Phase::Fresh;
    // Event selection.
    HWND hwnd = 0;
    UINT msg = 0;
    long events = 0;
    std::uint32_t armed = 0;  // epoll interest currently registered; 0 = not watched
    // Which notifications may be posted now (the re-enabling rules).
    bool readEnabled = true;
    bool writeEnabled = true;
    bool acceptEnabled = true;
    bool closePosted = false;
    bool eof = false;      // the peer finished and nothing is left to read
    int resetError = 0;    // a reset a call saw first; reported with FD_CLOSE
};

// The socket table. Sockets with a selection belong to the user-interface thread;
// unselected (blocking) sockets may be used from any thread.
std::mutex g_mu;
std::unordered_map<SOCKET, std::shared_ptr<Sock>> g_socks;
SOCKET g_nextHandle = 0x100;
int g_started = 0;

std::shared_ptr<Sock> Find(SOCKET s) {
    std::lock_guard<std::mutex> lk(g_mu);
    auto it = g_socks.find(s);
    return it == g_socks.end() ? nullptr : it->second;
}

SOCKET Insert(int fd, int type, Phase phase) {
    auto sock = std::make_shared<Sock>();
    sock->fd = fd;
    sock->type = type;
    sock->phase = phase;
    std::lock_guard<std::mutex> lk(g_mu);
    sock->handle = g_nextHandle;
    g_nextHandle += 4;
    g_socks[sock->handle] = sock;
    return sock->handle;
}

void Notify(const Sock& s, long event, int error) {
    if (!(s.events & event) || s.hwnd == 0) return;
    posix::EventLoop::Instance().PostMessageA(s.hwnd, s.msg, s.handle,
                                             MakeLong(static_cast<std::uint16_t>(event),
                                                      static_cast<std::uint16_t>(error)));
}

void OnReady(SOCKET handle, std::uint32_t ev);

// Interest that may stay registered after its notification went out: the owner
// normally re-enables it (recv after FD_READ) before the loop waits again, and
// leaving it saves two epoll_ctl calls a round trip. Should it fire while still
// disabled, OnReady drops it.
constexpr std::uint32_t kLazy = EPOLLIN | EPOLLOUT;

// Registers the interest that could lead to a notification now, plus those bits of
// `keep` that are registered already.
void Rearm(Sock& s, std::uint32_t keep = kLazy) {
    std::uint32_t want = 0;
    if (s.events != 0 && s.hwnd != 0) {
        switch (s.phase) {
            case Phase::Connecting:
                want = EPOLLOUT;
                break;
            case Phase::Listening:
                if ((s.events & WS_FD_ACCEPT) && s.acceptEnabled) want = EPOLLIN;
                break;
            case Phase::Connected:
                if ((s.events & WS_FD_READ) && s.readEnabled && !s.eof) want |= EPOLLIN;
                if ((s.events & WS_FD_WRITE) && s.writeEnabled) want |= EPOLLOUT;
                if (s.type == SOCK_STREAM && (s.events & WS_FD_CLOSE) && !s.closePosted) want |= EPOLLRDHUP;
                break;
            case Phase::Fresh:
            case Phase::Failed:
                break;
        }
        if (s.phase == Phase::Connected || s.phase == Phase::Listening) want |= s.armed & keep & kLazy;
        if (s.eof) want &= ~static_cast<std::uint32_t>(EPOLLIN);
    }
    if (want == s.armed) return;
    auto& loop = posix::EventLoop::Instance();
    if (want == 0) {
        loop.Unwatch(s.fd);
    } else if (s.armed == 0) {
        SOCKET h = s.handle;
        if (!loop.Watch(s.fd, want, [h](std::uint32_t ev) { OnReady(h, ev); })) want = 0;
    } else if (!loop.Modify(s.fd, want)) {
        loop.Unwatch(s.fd);
        want = 0;
    }
    s.armed = want;
}

int TakeSocketError(int fd) {
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return 0;
    return err;
}

// The event loop saw the descriptor ready: post what the rules allow. Interest
// that fired while its notification was disabled is dropped; interest whose
// notification just went out is kept (see kLazy).
void OnReady(SOCKET handle, std::uint32_t ev) {
    auto sp = Find(handle);
    if (!sp) return;
    Sock& s = *sp;
    std::uint32_t keep = 0;
    auto postRead = [&] {
        s.readEnabled = false;
        keep |= EPOLLIN;
        Notify(s, WS_FD_READ, 0);
    };
    auto postWrite = [&] {
        s.writeEnabled = false;
        keep |= EPOLLOUT;
        Notify(s, WS_FD_WRITE, 0);
    };

    if (s.phase == Phase::Connecting) {
        int err = TakeSocketError(s.fd);
        if (err == 0 && (ev & (EPOLLERR | EPOLLHUP))) err = ECONNREFUSED;
        if (err != 0) {
            s.phase = Phase::Failed;
            Notify(s, WS_FD_CONNECT, MapErrno(err));
        } else {
            s.phase = Phase::Connected;
            Notify(s, WS_FD_CONNECT, 0);
            if (s.writeEnabled && (s.events & WS_FD_WRITE)) postWrite();
        }
        Rearm(s, keep);
        return;
    }

    if (s.phase == Phase::Listening) {
        if (ev & EPOLLERR) TakeSocketError(s.fd);
        if ((ev & EPOLLIN) && s.acceptEnabled) {
            s.acceptEnabled = false;
            keep |= EPOLLIN;
            Notify(s, WS_FD_ACCEPT, 0);
        }
        Rearm(s, keep);
        return;
    }

    if (s.phase != Phase::Connected) {
        Rearm(s, keep);
        return;
    }

    if (s.type != SOCK_STREAM) {
        // Datagram errors (an ICMP answer to an earlier datagram) are not events.
        if (ev & EPOLLERR) TakeSocketError(s.fd);
        if ((ev & EPOLLIN) && s.readEnabled) postRead();
        if ((ev & EPOLLOUT) && s.writeEnabled) postWrite();
        Rearm(s, keep);
        return;
    }

    if (ev & EPOLLERR) {
        int err = TakeSocketError(s.fd);
        if (err == 0) err = s.resetError ? s.resetError : ECONNRESET;
        if (!s.closePosted) {
            s.closePosted = true;
            Notify(s, WS_FD_CLOSE, MapErrno(err));
        }
        s.phase = Phase::Failed;
        Rearm(s, keep);
        return;
    }

    bool finished = (ev & (EPOLLRDHUP | EPOLLHUP)) != 0;
    if ((ev & EPOLLIN) || finished) {
        // While the close is watched, readable without EPOLLRDHUP means data; only
        // otherwise can it mean the end, and the count tells which.
        bool closeWatched = (s.armed & EPOLLRDHUP) != 0;
        int avail = 1;
        if (finished || !closeWatched) {
            if (ioctl(s.fd, FIONREAD, &avail) != 0) avail = 0;
        }
        if (avail > 0) {
            if (s.readEnabled && (ev & EPOLLIN)) postRead();
        } else {
            // Readable with nothing to read: the peer has finished.
            s.eof = true;
        }
        if ((finished || s.eof) && !s.closePosted && (s.events & WS_FD_CLOSE)) {
            s.closePosted = true;
            Notify(s, WS_FD_CLOSE, s.resetError ? MapErrno(s.resetError) : 0);
        }
    }
    if ((ev & EPOLLOUT) && s.writeEnabled) postWrite();
    Rearm(s, keep);
}

bool ToSockaddr(const SOCKADDR* name, int namelen, sockaddr_in& out) {
    if (!name || namelen < static_cast<int>(sizeof(SOCKADDR_IN))) return false;
    SOCKADDR_IN in;
    std::memcpy(&in, name, sizeof in);
    std::memset(&out, 0, sizeof out);
    out.sin_family = static_cast<sa_family_t>(in.sin_family);
    out.sin_port = in.sin_port;
    out.sin_addr.s_addr = in.sin_addr.S_addr;
    return true;
}

// Writes a peer address back in the Windows layout. False when the room is short.
bool FromSockaddr(const sockaddr_storage& ss, SOCKADDR* name, int* namelen) {
    if (!name || !namelen || *namelen < static_cast<int>(sizeof(SOCKADDR_IN))) return false;
    SOCKADDR_IN out{};
    if (ss.ss_family == AF_INET) {
        const auto& in = reinterpret_cast<const sockaddr_in&>(ss);
        out.sin_family = WS_AF_INET;
        out.sin_port = in.sin_port;
        out.sin_addr.S_addr = in.sin_addr.s_addr;
    } else {
        out.sin_family = static_cast<short>(ss.ss_family);
    }
    std::memcpy(name, &out, sizeof out);
    *namelen = sizeof out;
    return true;
}

void NoteReset(Sock& s, int err) {
    if ((err == ECONNRESET || err == ECONNABORTED || err == ETIMEDOUT) && s.resetError == 0) s.resetError = err;
}

// ---- host look-ups -------------------------------------------------------------

struct HostResult {
    int error = 0;
    std::string name;
    std::vector<std::string> aliases;
    std::vector<std::uint32_t> addrs;  // network byte order
};

HostResult LookUp(const std::string& name) {
    HostResult r;
    hostent he{};
    hostent* res = nullptr;
    int herr = 0;
    std::vector<char> work(8192);
    for (;;) {
        int rc = gethostbyname_r(name.c_str(), &he, work.data(), work.size(), &res, &herr);
        if (rc == ERANGE && work.size() < (1u << 20)) {
            work.resize(work.size() * 2);
            continue;
        }
        break;
    }
    if (!res || res->h_addrtype != AF_INET || res->h_length != 4 || !res->h_addr_list || !res->h_addr_list[0]) {
        switch (herr) {
            case TRY_AGAIN: r.error = WS_TRY_AGAIN; break;
            case NO_RECOVERY: r.error = WS_NO_RECOVERY; break;
            case NO_DATA: r.error = WS_NO_DATA; break;
            default: r.error = WS_HOST_NOT_FOUND; break;
        }
        return r;
    }
    r.name = res->h_name ? res->h_name : name;
    for (char** a = res->h_aliases; a && *a; ++a) r.aliases.emplace_back(*a);
    for (char** a = res->h_addr_list; *a; ++a) {
        std::uint32_t v;
        std::memcpy(&v, *a, 4);
        r.addrs.push_back(v);
    }
    return r;
}

// Lays the entry out in buf: the HOSTENT, the two pointer lists, the addresses,
// then the texts. Aliases and further addresses that do not fit are left out.
// Returns the bytes used, or -1 when not even the name and one address fit.
int WriteHostEntry(char* buf, int buflen, const HostResult& r) {
    auto size = static_cast<std::size_t>(buflen);
    auto fits = [&](std::size_t aliases, std::size_t addrs) {
        std::size_t need = sizeof(HOSTENT) + (aliases + 1 + addrs + 1) * sizeof(char*) + addrs * 4 + r.name.size() + 1;
        for (std::size_t i = 0; i < aliases; ++i) need += r.aliases[i].size() + 1;
        return need <= size;
    };
    std::size_t nAddr = r.addrs.size(), nAlias = r.aliases.size();
    while (nAlias > 0 && !fits(nAlias, nAddr)) --nAlias;
    while (nAddr > 1 && !fits(nAlias, nAddr)) --nAddr;
    if (!buf || nAddr == 0 || !fits(nAlias, nAddr)) return -1;

    auto* he = reinterpret_cast<HOSTENT*>(buf);
    auto** aliasList = reinterpret_cast<char**>(buf + sizeof(HOSTENT));
    char** addrList = aliasList + nAlias + 1;
    char* addrBytes = reinterpret_cast<char*>(addrList + nAddr + 1);
    char* text = addrBytes + nAddr * 4;

    auto putText = [&](const std::string& s) {
        char* at = text;
        std::memcpy(at, s.c_str(), s.size() + 1);
        text += s.size() + 1;
        return at;
    };
    he->h_name = putText(r.name);
    for (std::size_t i = 0; i < nAlias; ++i) aliasList[i] = putText(r.aliases[i]);
    aliasList[nAlias] = nullptr;
    for (std::size_t i = 0; i < nAddr; ++i) {
        std::memcpy(addrBytes + i * 4, &r.addrs[i], 4);
        addrList[i] = addrBytes + i * 4;
    }
    addrList[nAddr] = nullptr;
    he->h_aliases = aliasList;
    he->h_addrtype = WS_AF_INET;
    he->h_length = 4;
    he->h_addr_list = addrList;
    return static_cast<int>(text - buf);
}

// Names under the reserved top-level domain "invalid" never resolve; answering
// them here keeps them off the network.
bool IsReservedInvalid(std::string name) {
    if (!name.empty() && name.back() == '.') name.pop_back();
    name = posix::AsciiLower(name);
    const std::string tld = "invalid";
    if (name == tld) return true;
    return name.size() > tld.size() + 1 && name.compare(name.size() - tld.size() - 1, std::string::npos, ".invalid") == 0;
}

// Runs on the user-interface thread: fills the caller's block and posts the message.
void CompleteLookUp(HWND hwnd, UINT msg, std::uintptr_t task, char* buf, int buflen, const HostResult& r) {
    int error = r.error;
    int used = 0;
    if (error == 0) {
        used = WriteHostEntry(buf, buflen, r);
        if (used < 0) {
            error = WS_ENOBUFS;
            used = 0;
        }
    }
    posix::EventLoop::Instance().PostMessageA(
        hwnd, msg, task, MakeLong(static_cast<std::uint16_t>(used), static_cast<std::uint16_t>(error)));
}

std::atomic<std::uint32_t> g_nextTask{1};

// Look-up threads are detached and may still be resolving when the process exits.
// They hand their result to the event loop through this gate, which closes before
// the loop is destroyed (the exit handler is registered after the loop exists, so
// it runs before the loop's destructor). The gate itself is never destroyed.
struct ResultGate {
    std::mutex mu;
    bool closed = false;
};
ResultGate* g_gate = nullptr;

ResultGate& Gate() {
    static std::once_flag once;
    std::call_once(once, [] {
        posix::EventLoop::Instance();
        g_gate = new ResultGate;
        std::atexit([] {
            std::lock_guard<std::mutex> lk(g_gate->mu);
            g_gate->closed = true;
        });
    });
    return *g_gate;
}

}  // namespace

// ---- start-up ------------------------------------------------------------------

int WSAStartup(WORD versionRequested, WSADATA* data) {
    int major = versionRequested & 0xFF, minor = (versionRequested >> 8) & 0xFF;
    if (!data) return WS_EFAULT;
    std::memset(data, 0, sizeof *data);
    if (major < 1) {
        data->wHighVersion = 0x0202;
        return WS_VERNOTSUPPORTED;
    }
    if (major > 2 || (major == 2 && minor > 2)) {
        major = 2;
        minor = 2;
    }
    data->wVersion = static_cast<WORD>(major | (minor << 8));
    data->wHighVersion = 0x0202;
    std::strcpy(data->szDescription, "WinSock 2.0");
    std::strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = 32767;
    data->iMaxUdpDg = 65507;  // largest UDP payload over IPv4
    std::lock_guard<std::mutex> lk(g_mu);
    ++g_started;
    return 0;
}

int WSACleanup() {
    std::lock_guard<std::mutex> lk(g_mu);
    if (g_started == 0) {
        t_lastError = WS_NOTINITIALISED;
        return WS_SOCKET_ERROR;
    }
    --g_started;
    return 0;
}

int WSAGetLastError() { return t_lastError; }
void WSASetLastError(int error) { t_lastError = error; }

// ---- sockets -------------------------------------------------------------------

SOCKET socket(int af, int type, int protocol) {
    {
        std::lock_guard<std::mutex> lk(g_mu);
        if (g_started == 0) {
            Fail(WS_NOTINITIALISED);
            return WS_INVALID_SOCKET;
        }
    }
    if (af != WS_AF_INET) {
        Fail(WS_EAFNOSUPPORT);
        return WS_INVALID_SOCKET;
    }
    int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, protocol);
    if (fd < 0) {
        FailErrno();
        return WS_INVALID_SOCKET;
    }
    // Datagram sockets are ready for transfer from the start.
    return Insert(fd, type, type == SOCK_STREAM ? Phase::Fresh : Phase::Connected);
}

int closesocket(SOCKET s) {
    std::shared_ptr<Sock> sp;
    {
        std::lock_guard<std::mutex> lk(g_mu);
        auto it = g_socks.find(s);
        if (it == g_socks.end()) return Fail(WS_ENOTSOCK);
        sp = it->second;
        g_socks.erase(it);
    }
    if (sp->armed) posix::EventLoop::Instance().Unwatch(sp->fd);
    sp->armed = 0;
    if (::close(sp->fd) != 0 && errno != EINTR) return FailErrno();
    return 0;
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    if (level != WS_SOL_SOCKET) return Fail(WS_ENOPROTOOPT);
    if (!optval || optlen < 4) return Fail(WS_EFAULT);
    std::int32_t v;
    std::memcpy(&v, optval, 4);
    int rc;
    switch (optname) {
        case WS_SO_BROADCAST:
        case WS_SO_SNDBUF:
        case WS_SO_RCVBUF: {
            int name = optname == WS_SO_BROADCAST ? SO_BROADCAST : optname == WS_SO_SNDBUF ? SO_SNDBUF : SO_RCVBUF;
            int iv = v;
            rc = ::setsockopt(sp->fd, SOL_SOCKET, name, &iv, sizeof iv);
            break;
        }
        case WS_SO_SNDTIMEO:
        case WS_SO_RCVTIMEO: {
            auto ms = static_cast<std::uint32_t>(v);
            timeval tv{static_cast<time_t>(ms / 1000), static_cast<suseconds_t>((ms % 1000) * 1000)};
            rc = ::setsockopt(sp->fd, SOL_SOCKET, optname == WS_SO_SNDTIMEO ? SO_SNDTIMEO : SO_RCVTIMEO, &tv,
                              sizeof tv);
            break;
        }
        default:
            return Fail(WS_ENOPROTOOPT);
    }
    return rc == 0 ? 0 : FailErrno();
}

int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    if (level != WS_SOL_SOCKET) return Fail(WS_ENOPROTOOPT);
    if (!optval || !optlen || *optlen < 4) return Fail(WS_EFAULT);
    std::int32_t out = 0;
    switch (optname) {
        case WS_SO_BROADCAST:
        case WS_SO_SNDBUF:
        case WS_SO_RCVBUF:
        case WS_SO_TYPE: {
            int name = optname == WS_SO_BROADCAST ? SO_BROADCAST
                       : optname == WS_SO_SNDBUF  ? SO_SNDBUF
                       : optname == WS_SO_RCVBUF  ? SO_RCVBUF
                                                  : SO_TYPE;
            int iv = 0;
            socklen_t len = sizeof iv;
            if (::getsockopt(sp->fd, SOL_SOCKET, name, &iv, &len) != 0) return FailErrno();
            out = iv;
            break;
        }
        case WS_SO_SNDTIMEO:
        case WS_SO_RCVTIMEO: {
            timeval tv{};
            socklen_t len = sizeof tv;
            if (::getsockopt(sp->fd, SOL_SOCKET, optname == WS_SO_SNDTIMEO ? SO_SNDTIMEO : SO_RCVTIMEO, &tv, &len) != 0)
                return FailErrno();
            out = static_cast<std::int32_t>(tv.tv_sec * 1000 + tv.tv_usec / 1000);
            break;
        }
        default:
            return Fail(WS_ENOPROTOOPT);
    }
    std::memcpy(optval, &out, 4);
    *optlen = 4;
    return 0;
}

int bind(SOCKET s, const SOCKADDR* name, int namelen) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    sockaddr_in in;
    if (!ToSockaddr(name, namelen, in)) return Fail(WS_EFAULT);
    if (::bind(sp->fd, reinterpret_cast<sockaddr*>(&in), sizeof in) != 0) return FailErrno();
    return 0;
}

int listen(SOCKET s, int backlog) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    if (::listen(sp->fd, backlog) != 0) return FailErrno();
    sp->phase = Phase::Listening;
    sp->acceptEnabled = true;
    Rearm(*sp);
    return 0;
}

SOCKET accept(SOCKET s, SOCKADDR* addr, int* addrlen) {
    auto sp = Find(s);
    if (!sp) {
        Fail(WS_ENOTSOCK);
        return WS_INVALID_SOCKET;
    }
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    int fd = ::accept4(sp->fd, reinterpret_cast<sockaddr*>(&ss), &len, SOCK_CLOEXEC);
    int err = errno;
    sp->acceptEnabled = true;
    Rearm(*sp);
    if (fd < 0) {
        Fail(MapErrno(err));
        return WS_INVALID_SOCKET;
    }
    if (addr && !FromSockaddr(ss, addr, addrlen)) {
        ::close(fd);
        Fail(WS_EFAULT);
        return WS_INVALID_SOCKET;
    }
    return Insert(fd, SOCK_STREAM, Phase::Connected);
}

int connect(SOCKET s, const SOCKADDR* name, int namelen) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    sockaddr_in in;
    if (!ToSockaddr(name, namelen, in)) return Fail(WS_EFAULT);
    if (sp->type == SOCK_STREAM && sp->phase != Phase::Fresh) {
        if (sp->phase == Phase::Connecting) return Fail(WS_EALREADY);
        if (sp->phase == Phase::Connected) return Fail(WS_EISCONN);
        return Fail(WS_EINVAL);
    }
    int rc = ::connect(sp->fd, reinterpret_cast<sockaddr*>(&in), sizeof in);
    int err = errno;
    if (sp->type != SOCK_STREAM) return rc == 0 ? 0 : Fail(MapErrno(err));
    if (rc == 0) {
        // Even a connection made at once is announced by FD_CONNECT when selected.
        sp->phase = sp->events ? Phase::Connecting : Phase::Connected;
        Rearm(*sp);
        return 0;
    }
    if (err == EINPROGRESS) {
        sp->phase = Phase::Connecting;
        Rearm(*sp);
    }
    return Fail(MapErrno(err));
}

int send(SOCKET s, const char* buf, int len, int flags) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    if (len < 0) return Fail(WS_EINVAL);
    // Linux answers a stream that was never connected with EPIPE.
    if (sp->type == SOCK_STREAM && (sp->phase == Phase::Fresh || sp->phase == Phase::Listening))
        return Fail(WS_ENOTCONN);
    ssize_t n = ::send(sp->fd, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL);
    // A send the buffers took only in part re-enables nothing: as on Windows,
    // FD_WRITE follows only a send that would block.
    if (n >= 0) return static_cast<int>(n);
    int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK) {
        sp->writeEnabled = true;
        Rearm(*sp);
    }
    NoteReset(*sp, err);
    return Fail(MapErrno(err));
}

int sendto(SOCKET s, const char* buf, int len, int flags, const SOCKADDR* to, int tolen) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    if (len < 0) return Fail(WS_EINVAL);
    sockaddr_in in;
    ssize_t n;
    if (to) {
        if (!ToSockaddr(to, tolen, in)) return Fail(WS_EFAULT);
        n = ::sendto(sp->fd, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&in),
                     sizeof in);
    } else {
        n = ::send(sp->fd, buf, static_cast<size_t>(len), flags | MSG_NOSIGNAL);
    }
    if (n >= 0) return static_cast<int>(n);
    int err = errno;
    if (err == EAGAIN || err == EWOULDBLOCK) {
        sp->writeEnabled = true;
        Rearm(*sp);
    }
    return Fail(MapErrno(err));
}

int recv(SOCKET s, char* buf, int len, int flags) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    if (len < 0) return Fail(WS_EINVAL);
    ssize_t n = ::recv(sp->fd, buf, static_cast<size_t>(len), flags);
    int err = errno;
    // Any receive, even a failed one, lets FD_READ be posted again.
    sp->readEnabled = true;
    if (n < 0) NoteReset(*sp, err);
    Rearm(*sp);
    if (n >= 0) return static_cast<int>(n);
    return Fail(MapErrno(err));
}

int recvfrom(SOCKET s, char* buf, int len, int flags, SOCKADDR* from, int* fromlen) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    if (len < 0) return Fail(WS_EINVAL);
    if (from && (!fromlen || *fromlen < static_cast<int>(sizeof(SOCKADDR_IN)))) return Fail(WS_EFAULT);
    sockaddr_storage ss{};
    socklen_t sl = sizeof ss;
    ssize_t n = ::recvfrom(sp->fd, buf, static_cast<size_t>(len), flags | MSG_TRUNC, reinterpret_cast<sockaddr*>(&ss),
                           &sl);
    int err = errno;
    sp->readEnabled = true;
    if (n < 0) NoteReset(*sp, err);
    Rearm(*sp);
    if (n < 0) return Fail(MapErrno(err));
    if (from) FromSockaddr(ss, from, fromlen);
    // A datagram larger than the buffer is cut, and the call says so.
    if (sp->type != SOCK_STREAM && n > len) return Fail(WS_EMSGSIZE);
    return static_cast<int>(n);
}

int shutdown(SOCKET s, int how) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    int h = how == WS_SD_RECEIVE ? SHUT_RD : how == WS_SD_SEND ? SHUT_WR : how == WS_SD_BOTH ? SHUT_RDWR : -1;
    if (h < 0) return Fail(WS_EINVAL);
    if (::shutdown(sp->fd, h) != 0) return FailErrno();
    return 0;
}

int getsockname(SOCKET s, SOCKADDR* name, int* namelen) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (::getsockname(sp->fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return FailErrno();
    if (!FromSockaddr(ss, name, namelen)) return Fail(WS_EFAULT);
    return 0;
}

int getpeername(SOCKET s, SOCKADDR* name, int* namelen) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (::getpeername(sp->fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) return FailErrno();
    if (!FromSockaddr(ss, name, namelen)) return Fail(WS_EFAULT);
    return 0;
}

std::uint32_t inet_addr(const char* cp) {
    if (!cp) return WS_INADDR_NONE;
    in_addr a{};
    if (::inet_aton(cp, &a) == 0) return WS_INADDR_NONE;
    return a.s_addr;
}

char* inet_ntoa(IN_ADDR in) {
    thread_local char buf[16];
    const auto* b = reinterpret_cast<const unsigned char*>(&in.S_addr);
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return buf;
}

const HOSTENT* gethostbyname(const char* name) {
    {
        std::lock_guard<std::mutex> lk(g_mu);
        if (g_started == 0) {
            Fail(WS_NOTINITIALISED);
            return nullptr;
        }
    }
    if (!name) {
        Fail(WS_EFAULT);
        return nullptr;
    }
    const std::string host = name;
    HostResult r;
    // No host name holds a colon; "host:port" would only go to the resolver to fail.
    if (host.empty() || host.find(':') != std::string::npos || IsReservedInvalid(host))
        r.error = WS_HOST_NOT_FOUND;
    else
        r = LookUp(host);
    if (r.error != 0) {
        Fail(r.error);
        return nullptr;
    }
    alignas(HOSTENT) thread_local char block[WS_MAXGETHOSTSTRUCT];
    if (WriteHostEntry(block, sizeof block, r) < 0) {
        Fail(WS_ENOBUFS);
        return nullptr;
    }
    return reinterpret_cast<const HOSTENT*>(block);
}

const HOSTENT* gethostbyaddr(const char* addr, int len, int type) {
    if (!addr || len != 4 || type != WS_AF_INET) {
        Fail(WS_EFAULT);
        return nullptr;
    }
    sockaddr_in in{};
    in.sin_family = AF_INET;
    std::memcpy(&in.sin_addr.s_addr, addr, 4);
    char host[NI_MAXHOST];
    int rc = getnameinfo(reinterpret_cast<sockaddr*>(&in), sizeof in, host, sizeof host, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) {
        Fail(rc == EAI_AGAIN ? WS_TRY_AGAIN : rc == EAI_FAIL ? WS_NO_RECOVERY : WS_HOST_NOT_FOUND);
        return nullptr;
    }
    HostResult r;
    r.name = host;
    std::uint32_t v;
    std::memcpy(&v, addr, 4);
    r.addrs.push_back(v);
    alignas(HOSTENT) thread_local char block[WS_MAXGETHOSTSTRUCT];
    if (WriteHostEntry(block, sizeof block, r) < 0) {
        Fail(WS_ENOBUFS);
        return nullptr;
    }
    return reinterpret_cast<const HOSTENT*>(block);
}

int WSAAsyncSelect(SOCKET s, HWND hwnd, UINT msg, long events) {
    auto sp = Find(s);
    if (!sp) return Fail(WS_ENOTSOCK);
    if (events != 0 && hwnd == 0) return Fail(WS_EINVAL);
    int flags = fcntl(sp->fd, F_GETFL);
    if (flags < 0 || fcntl(sp->fd, F_SETFL, flags | O_NONBLOCK) != 0) return FailErrno();
    sp->hwnd = events ? hwnd : 0;
    sp->msg = events ? msg : 0;
    sp->events = events;
    Rearm(*sp);
    return 0;
}

std::uintptr_t WSAAsyncGetHostByName(HWND hwnd, UINT msg, const char* name, char* buf, int buflen) {
    {
        std::lock_guard<std::mutex> lk(g_mu);
        if (g_started == 0) {
            Fail(WS_NOTINITIALISED);
            return 0;
        }
    }
    if (!name || !buf || buflen <= 0) {
        Fail(WS_EFAULT);
        return 0;
    }
    if (hwnd == 0) {
        Fail(WS_EINVAL);
        return 0;
    }
    std::uint32_t task = g_nextTask.fetch_add(1);
    if (task == 0) task = g_nextTask.fetch_add(1);
    std::string host = name;
    auto& loop = posix::EventLoop::Instance();
    if (IsReservedInvalid(host)) {
        HostResult r;
        r.error = WS_HOST_NOT_FOUND;
        loop.Post([=] { CompleteLookUp(hwnd, msg, task, buf, buflen, r); });
        return task;
    }
    try {
        ResultGate& gate = Gate();
        std::thread([=, &loop, &gate] {
            HostResult r = LookUp(host);
            std::lock_guard<std::mutex> lk(gate.mu);
            if (!gate.closed) loop.Post([=] { CompleteLookUp(hwnd, msg, task, buf, buflen, r); });
        }).detach();
    } catch (const std::system_error&) {
        Fail(WS_ENOBUFS);
        return 0;
    }
    return task;
}

}  // namespace plat
