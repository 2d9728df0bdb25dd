// ICMP echo on Linux sockets.
//
// A handle stands on a datagram ICMP socket where the system lets this process's
// groups open one (net.ipv4.ping_group_range), otherwise on a raw ICMP socket
// (root or CAP_NET_RAW). The two differ in what they deliver:
//   - the datagram socket receives only echo replies, without the IP header, and
//     the kernel puts its own identifier (the socket's "port") into each request;
//     ICMP errors about the requests arrive on the socket's error queue;
//   - the raw socket receives every ICMP message with its IP header: other
//     programs' echoes and their errors as well, which are told apart by the
//     identifier, the sequence number and the addresses.
// The wait is one poll per arriving packet, bounded by the time-out.
#include "platform/Icmp.h"

#include <time.h>

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/Errors.h"
#include "platform/posix/ErrorMap.h"
#include "platform/posix/IcmpSocket.h"

namespace plat {
namespace {

using posix::IcmpSocketKind;

// ICMP message types and the raw socket's type filter (linux/icmp.h).
constexpr std::uint8_t kEchoReply = 0;
constexpr std::uint8_t kDestUnreachable = 3;
constexpr std::uint8_t kSourceQuench = 4;
constexpr std::uint8_t kEchoRequest = 8;
constexpr std::uint8_t kTimeExceeded = 11;
constexpr std::uint8_t kParameterProblem = 12;
constexpr int kIcmpFilter = 1;

constexpr std::size_t kIcmpHeader = 8;

struct Entry {
    int fd = -1;
    IcmpSocketKind kind = IcmpSocketKind::None;
    std::uint16_t id = 0;   // raw sockets: ours; datagram sockets: read back after the send
    std::uint16_t seq = 0;  // of the last request
};

std::mutex g_mu;
std::map<HANDLE, Entry> g_handles;
HANDLE g_next = 1;

std::uint16_t Checksum(const std::uint8_t* p, std::size_t n) {
    std::uint32_t sum = 0;
    for (; n > 1; p += 2, n -= 2) sum += static_cast<std::uint32_t>(p[0] << 8 | p[1]);
    if (n) sum += static_cast<std::uint32_t>(p[0] << 8);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] << 8 | p[1]); }

// The IP status Windows reports for an ICMP error (type, code).
DWORD StatusOf(std::uint8_t type, std::uint8_t code) {
    switch (type) {
        case kDestUnreachable:
            switch (code) {
                case 0: case 6: case 9: case 11: return PL_IP_DEST_NET_UNREACHABLE;
                case 2: case 13: return PL_IP_DEST_PROT_UNREACHABLE;
                case 3: return PL_IP_DEST_PORT_UNREACHABLE;
                case 4: return PL_IP_PACKET_TOO_BIG;
                case 5: return PL_IP_BAD_ROUTE;
                default: return PL_IP_DEST_HOST_UNREACHABLE;
            }
        case kTimeExceeded: return code == 1 ? PL_IP_TTL_EXPIRED_REASSEM : PL_IP_TTL_EXPIRED_TRANSIT;
        case kParameterProblem: return PL_IP_PARAM_PROBLEM;
        case kSourceQuench: return PL_IP_SOURCE_QUENCH;
        default: return PL_IP_GENERAL_FAILURE;
    }
}

// A request that could not leave: the status Windows gives such a send.
DWORD SendFailure(int err) {
    switch (err) {
        case ENETUNREACH: return PL_IP_DEST_NET_UNREACHABLE;
        case EHOSTUNREACH: return PL_IP_DEST_HOST_UNREACHABLE;
        case EACCES:
        case EPERM: return PL_IP_BAD_DESTINATION;
        case EMSGSIZE: return PL_IP_PACKET_TOO_BIG;
        case ENOBUFS:
        case ENOMEM: return PL_IP_NO_RESOURCES;
        default: return PL_IP_GENERAL_FAILURE;  // a blackhole route gives EINVAL
    }
}

int OpenSocket(IcmpSocketKind kind) {
    if (kind == IcmpSocketKind::Datagram) {
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd < 0) return -1;
        const int on = 1;
        // Errors about our requests come to the error queue; the reply's TTL with it.
        ::setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        ::setsockopt(fd, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
        return fd;
    }
    int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0) return -1;
    // Only the messages that can answer an echo request wake the wait.
    std::uint32_t blocked = ~((1u << kEchoReply) | (1u << kDestUnreachable) | (1u << kSourceQuench) |
                              (1u << kTimeExceeded) | (1u << kParameterProblem));
    ::setsockopt(fd, SOL_RAW, kIcmpFilter, &blocked, sizeof blocked);
    return fd;
}

void ApplyOptions(int fd, const IP_OPTION_INFORMATION* o) {
    const int ttl = o && o->Ttl ? o->Ttl : -1;  // -1: the system's default
    const int tos = o ? o->Tos : 0;
    const int pmtu = o && (o->Flags & PL_IP_FLAG_DF) ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
    ::setsockopt(fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
    ::setsockopt(fd, IPPROTO_IP, IP_TOS, &tos, sizeof tos);
    ::setsockopt(fd, IPPROTO_IP, IP_MTU_DISCOVER, &pmtu, sizeof pmtu);
    if (o && o->OptionsSize && o->OptionsData)
        ::setsockopt(fd, IPPROTO_IP, IP_OPTIONS, o->OptionsData, o->OptionsSize);
    else
        ::setsockopt(fd, IPPROTO_IP, IP_OPTIONS, nullptr, 0);
}

// What one request is waiting for, and where its answer goes.
struct Wait {
    const Entry& e;
    IPAddr dest;
    std::chrono::steady_clock::time_point start;
    std::uint8_t* buf;
    DWORD size;

    DWORD Elapsed() const {
        return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - start)
                                      .count());
    }

    // Writes the one reply record, with `data` behind it.
    void Answer(IPAddr from, DWORD status, int ttl, int tos, const std::uint8_t* data, std::size_t n) const {
        ICMP_ECHO_REPLY r{};
        r.Address = from;
        r.Status = status;
        r.RoundTripTime = Elapsed();
        std::uint8_t* room = buf + sizeof r;
        const std::size_t fit = size - sizeof r;
        if (n > fit) n = fit;
        if (n) std::memcpy(room, data, n);
        r.DataSize = static_cast<std::uint16_t>(n);
        r.Data = room;
        r.Options.Ttl = static_cast<std::uint8_t>(ttl);
        r.Options.Tos = static_cast<std::uint8_t>(tos);
        std::memcpy(buf, &r, sizeof r);
    }

    // Is this ICMP echo header (ours as sent, or quoted back in an error) our request's?
    bool Ours(const std::uint8_t* icmp) const {
        return icmp[0] == kEchoRequest && Get16(icmp + 4) == e.id && Get16(icmp + 6) == e.seq;
    }

    // A raw socket's packet: IP header, then ICMP. True when it answered us.
    bool TakeRaw(const std::uint8_t* p, std::size_t n) const {
        if (n < 20 || (p[0] >> 4) != 4) return false;
        const std::size_t ihl = (p[0] & 0x0F) * 4u;
        if (ihl < 20 || n < ihl + kIcmpHeader) return false;
        IPAddr src;
        std::memcpy(&src, p + 12, 4);
        const std::uint8_t* icmp = p + ihl;
        const std::size_t len = n - ihl;
        if (icmp[0] == kEchoReply) {
            if (src != dest || Get16(icmp + 4) != e.id || Get16(icmp + 6) != e.seq) return false;
            Answer(src, PL_IP_SUCCESS, p[8], p[1], icmp + kIcmpHeader, len - kIcmpHeader);
            return true;
        }
        if (icmp[0] != kDestUnreachable && icmp[0] != kSourceQuench && icmp[0] != kTimeExceeded &&
            icmp[0] != kParameterProblem)
            return false;
        // An error quotes the request's IP header and the first 8 bytes of its ICMP part.
        const std::uint8_t* quoted = icmp + kIcmpHeader;
        const std::size_t qlen = len - kIcmpHeader;
        if (qlen < 20 || (quoted[0] >> 4) != 4) return false;
        const std::size_t qihl = (quoted[0] & 0x0F) * 4u;
        if (qihl < 20 || qlen < qihl + kIcmpHeader || quoted[9] != IPPROTO_ICMP) return false;
        IPAddr qdst;
        std::memcpy(&qdst, quoted + 16, 4);
        if (qdst != dest || !Ours(quoted + qihl)) return false;
        Answer(src, StatusOf(icmp[0], icmp[1]), p[8], p[1], nullptr, 0);
        return true;
    }

    // A datagram socket's echo reply (ICMP without the IP header).
    bool TakeDatagram(const std::uint8_t* p, std::size_t n, IPAddr from, int ttl) const {
        if (n < kIcmpHeader || p[0] != kEchoReply || from != dest) return false;
        if (Get16(p + 4) != e.id || Get16(p + 6) != e.seq) return false;
        Answer(from, PL_IP_SUCCESS, ttl, 0, p + kIcmpHeader, n - kIcmpHeader);
        return true;
    }

    // One entry of a datagram socket's error queue; false when there is none left
    // or it is not about our request.
    bool TakeError(bool* more) const {
        std::uint8_t data[576];
        alignas(cmsghdr) char control[512];
        sockaddr_in from{};
        iovec iov{data, sizeof data};
        msghdr m{};
        m.msg_name = &from;
        m.msg_namelen = sizeof from;
        m.msg_iov = &iov;
        m.msg_iovlen = 1;
        m.msg_control = control;
        m.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(e.fd, &m, MSG_ERRQUEUE | MSG_DONTWAIT);
        if (got < 0) {
            *more = false;
            // Nothing queued: clear a pending socket error so the wait does not spin.
            int err = 0;
            socklen_t len = sizeof err;
            ::getsockopt(e.fd, SOL_SOCKET, SO_ERROR, &err, &len);
            return false;
        }
        *more = true;
        for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR) continue;
            sock_extended_err ee;
            std::memcpy(&ee, CMSG_DATA(c), sizeof ee);
            if (ee.ee_origin != SO_EE_ORIGIN_ICMP) continue;
            // The queued data is the request's ICMP part as quoted by the error.
            if (static_cast<std::size_t>(got) < kIcmpHeader || from.sin_addr.s_addr != dest || !Ours(data)) continue;
            sockaddr_in offender;
            std::memcpy(&offender, reinterpret_cast<const char*>(CMSG_DATA(c)) + sizeof ee, sizeof offender);
            Answer(offender.sin_addr.s_addr, StatusOf(ee.ee_type, ee.ee_code), 0, 0, nullptr, 0);
            return true;
        }
        return false;
    }

    // Reads what has arrived; true when it answered us.
    bool TakeArrived() const {
        for (;;) {
            std::uint8_t data[65536];
            alignas(cmsghdr) char control[256];
            sockaddr_in from{};
            iovec iov{data, sizeof data};
            msghdr m{};
            m.msg_name = &from;
            m.msg_namelen = sizeof from;
            m.msg_iov = &iov;
            m.msg_iovlen = 1;
            m.msg_control = control;
            m.msg_controllen = sizeof control;
            const ssize_t got = ::recvmsg(e.fd, &m, MSG_DONTWAIT);
            if (got < 0) {
                // EAGAIN: all read. A pending error shows itself on the error queue.
                return false;
            }
            if (e.kind == IcmpSocketKind::Raw) {
                if (TakeRaw(data, static_cast<std::size_t>(got))) return true;
                continue;
            }
            int ttl = 0;
            for (cmsghdr* c = CMSG_FIRSTHDR(&m); c; c = CMSG_NXTHDR(&m, c))
                if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL) std::memcpy(&ttl, CMSG_DATA(c), sizeof ttl);
            if (TakeDatagram(data, static_cast<std::size_t>(got), from.sin_addr.s_addr, ttl)) return true;
        }
    }
};

}  // namespace

namespace posix {

HANDLE IcmpCreateFileOfKind(IcmpSocketKind kind) {
    IcmpSocketKind kinds[2] = {kind, IcmpSocketKind::None};
    if (kind == IcmpSocketKind::None) {
        kinds[0] = IcmpSocketKind::Datagram;
        kinds[1] = IcmpSocketKind::Raw;
    }
    int fd = -1;
    int err = EACCES;
    IcmpSocketKind got = IcmpSocketKind::None;
    for (IcmpSocketKind k : kinds) {
        if (k == IcmpSocketKind::None) continue;
        fd = OpenSocket(k);
        if (fd >= 0) {
            got = k;
            break;
        }
        // Not allowed (EACCES, EPERM) or not built in: try the next kind.
        err = errno;
    }
    if (fd < 0) {
        SetLastError(err == EMFILE || err == ENFILE || err == ENOMEM || err == ENOBUFS
                         ? static_cast<DWORD>(PL_ERROR_NOT_ENOUGH_MEMORY)
                         : static_cast<DWORD>(PL_ERROR_ACCESS_DENIED));
        return PL_INVALID_HANDLE_VALUE;
    }
    std::lock_guard<std::mutex> lk(g_mu);
    const HANDLE h = g_next++;
    Entry e;
    e.fd = fd;
    e.kind = got;
    // Raw sockets share every echo on the host: a number of our own, different for
    // each handle of the process and, as far as 16 bits allow, from other processes.
    e.id = static_cast<std::uint16_t>(static_cast<std::uint32_t>(::getpid()) * 2654435761u + h * 40503u);
    e.seq = static_cast<std::uint16_t>(h * 7919u);
    g_handles[h] = e;
    return h;
}

IcmpSocketKind IcmpKindOf(HANDLE icmpHandle) {
    std::lock_guard<std::mutex> lk(g_mu);
    auto it = g_handles.find(icmpHandle);
    return it == g_handles.end() ? IcmpSocketKind::None : it->second.kind;
}

}  // namespace posix

HANDLE IcmpCreateFile() { return posix::IcmpCreateFileOfKind(IcmpSocketKind::None); }

bool IcmpCloseHandle(HANDLE icmpHandle) {
    int fd = -1;
    {
        std::lock_guard<std::mutex> lk(g_mu);
        auto it = g_handles.find(icmpHandle);
        if (it == g_handles.end()) {
            SetLastError(static_cast<DWORD>(PL_ERROR_INVALID_HANDLE));
            return false;
        }
        fd = it->second.fd;
        g_handles.erase(it);
    }
    ::close(fd);
    return true;
}

DWORD IcmpSendEcho(HANDLE icmpHandle, IPAddr destinationAddress, void* requestData, std::uint16_t requestSize,
                   IP_OPTION_INFORMATION* requestOptions, void* replyBuffer, DWORD replySize, DWORD timeout) {
    Entry e;
    {
        std::lock_guard<std::mutex> lk(g_mu);
        auto it = g_handles.find(icmpHandle);
        if (it == g_handles.end()) {
            SetLastError(static_cast<DWORD>(PL_ERROR_INVALID_PARAMETER));
            return 0;
        }
        e = it->second;
        e.seq = ++it->second.seq;
    }
    if ((requestSize && !requestData) || !replyBuffer) {
        SetLastError(static_cast<DWORD>(PL_ERROR_INVALID_PARAMETER));
        return 0;
    }
    if (replySize < sizeof(ICMP_ECHO_REPLY) + requestSize + kIcmpHeader) {
        SetLastError(static_cast<DWORD>(PL_ERROR_INSUFFICIENT_BUFFER));
        return 0;
    }
    // 0.0.0.0 would reach this host under Linux; it is no destination.
    if (destinationAddress == 0 || destinationAddress == 0xFFFFFFFFu) {
        SetLastError(PL_IP_BAD_DESTINATION);
        return 0;
    }

    ApplyOptions(e.fd, requestOptions);
    std::uint8_t packet[kIcmpHeader + 65535];
    std::memset(packet, 0, kIcmpHeader);
    packet[0] = kEchoRequest;
    packet[4] = static_cast<std::uint8_t>(e.id >> 8);
    packet[5] = static_cast<std::uint8_t>(e.id);
    packet[6] = static_cast<std::uint8_t>(e.seq >> 8);
    packet[7] = static_cast<std::uint8_t>(e.seq);
    if (requestSize) std::memcpy(packet + kIcmpHeader, requestData, requestSize);
    const std::size_t len = kIcmpHeader + requestSize;
    const std::uint16_t sum = Checksum(packet, len);  // the datagram socket computes its own
    packet[2] = static_cast<std::uint8_t>(sum >> 8);
    packet[3] = static_cast<std::uint8_t>(sum);

    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = destinationAddress;
    const auto start = std::chrono::steady_clock::now();
    if (::sendto(e.fd, packet, len, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) < 0) {
        SetLastError(SendFailure(errno));
        return 0;
    }
    if (e.kind == IcmpSocketKind::Datagram) {
        // The kernel has put the socket's own number into the request.
        sockaddr_in self{};
        socklen_t slen = sizeof self;
        if (::getsockname(e.fd, reinterpret_cast<sockaddr*>(&self), &slen) == 0) e.id = ntohs(self.sin_port);
    }

    const Wait w{e, destinationAddress, start, static_cast<std::uint8_t*>(replyBuffer), replySize};
    const auto deadline = start + std::chrono::milliseconds(timeout);
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) break;
        // Rounded up, so that the wait never ends a little early and spins.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd p{e.fd, POLLIN, 0};
        const int rc = ::poll(&p, 1, static_cast<int>(left));
        if (rc < 0) {
            if (errno == EINTR) continue;
            SetLastError(PL_IP_GENERAL_FAILURE);
            return 0;
        }
        if (rc == 0) break;
        if (p.revents & POLLERR) {
            bool more = true;
            while (more)
                if (w.TakeError(&more)) return 1;
        }
        if ((p.revents & POLLIN) && w.TakeArrived()) return 1;
        if (p.revents & POLLNVAL) {
            SetLastError(PL_IP_GENERAL_FAILURE);
            return 0;
        }
    }
    SetLastError(PL_IP_REQ_TIMED_OUT);
    return 0;
}

}  // namespace plat
