// ICMP echo on Linux: both socket kinds, and, inside a network namespace the test
// makes itself, echoes that get no answer (a route into nothing, a blackhole, an
// unreachable route), ICMP errors and other programs' replies from a scripted
// responder, and a user who may not send echoes at all.
//
// The namespace tests run in a second run of this program under `unshare -n`
// (root only); in the first run they skip and IcmpNamespace starts that run.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Errors.h"
#include "platform/Icmp.h"
#include "platform/Window.h"
#include "platform/posix/IcmpSocket.h"
#include "controls/PingHost.h"
#include "tests/common/TestUtil.h"

using namespace plat;
using plat::posix::IcmpSocketKind;

namespace {

const char kInsideVar[] = "NOVALINK_ICMP_NETNS";
bool Inside() { return std::getenv(kInsideVar) != nullptr; }

const char* KindName(IcmpSocketKind k) { return k == IcmpSocketKind::Raw ? "raw" : "datagram"; }

struct Echo {
    DWORD replies = 0;
    DWORD error = 0;
    ICMP_ECHO_REPLY reply{};
    std::string data;
    std::uint64_t ms = 0;
};

const char kData[] = "0123456789abcdefghijklmnopqrstuv";

Echo Send(HANDLE h, const char* to, DWORD timeout, DWORD bufferSize = 200, const char* data = kData) {
    char request[32];
    std::memcpy(request, data, 32);
    IP_OPTION_INFORMATION options{};
    options.Ttl = 255;
    alignas(ICMP_ECHO_REPLY) unsigned char buffer[512] = {};
    Echo e;
    const auto start = TickCount();
    e.replies = IcmpSendEcho(h, ::inet_addr(to), request, 32, &options, buffer, bufferSize, timeout);
    e.ms = TickCount() - start;
    e.error = e.replies ? 0 : GetLastError();
    std::memcpy(&e.reply, buffer, sizeof e.reply);
    if (e.replies) e.data.assign(static_cast<const char*>(e.reply.Data), e.reply.DataSize);
    return e;
}

// Opens a handle of the kind, or says why it cannot be had here.
struct Handle {
    HANDLE h;
    explicit Handle(IcmpSocketKind k) : h(posix::IcmpCreateFileOfKind(k)) {}
    ~Handle() {
        if (h != PL_INVALID_HANDLE_VALUE) IcmpCloseHandle(h);
    }
    bool Open() const { return h != PL_INVALID_HANDLE_VALUE; }
};

void ExpectLoopbackAnswer(IcmpSocketKind kind) {
    Handle icmp(kind);
    ASSERT_TRUE(icmp.Open()) << KindName(kind);
    EXPECT_EQ(posix::IcmpKindOf(icmp.h), kind);
    for (int i = 0; i < 2; ++i) {  // the handle serves one request after the other
        Echo e = Send(icmp.h, "127.0.0.1", 2000);
        ASSERT_EQ(e.replies, 1u) << KindName(kind) << " error " << e.error;
        EXPECT_EQ(e.reply.Status, PL_IP_SUCCESS);
        EXPECT_EQ(e.reply.Address, ::inet_addr("127.0.0.1"));
        EXPECT_EQ(e.data, "0123456789abcdefghijklmnopqrstuv");
        EXPECT_EQ(e.reply.Options.Ttl, 64) << KindName(kind);  // the loopback reply's own TTL
        EXPECT_LE(e.reply.RoundTripTime, e.ms);
    }
}

}  // namespace

TEST(Icmp, BothSocketKindsWhereThisProcessMayOpenThem) {
    int tried = 0;
    for (IcmpSocketKind kind : {IcmpSocketKind::Datagram, IcmpSocketKind::Raw}) {
        Handle probe(kind);
        if (!probe.Open()) continue;
        ++tried;
        ExpectLoopbackAnswer(kind);
    }
    Handle any(IcmpSocketKind::None);
    if (tried == 0) {
        EXPECT_FALSE(any.Open());
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(PL_ERROR_ACCESS_DENIED));
        GTEST_SKIP() << "neither socket kind may be opened here (ping_group_range, CAP_NET_RAW)";
    }
    ASSERT_TRUE(any.Open());
    // Arguments: no destination, a buffer too small for one reply, a closed handle.
    EXPECT_EQ(Send(any.h, "0.0.0.0", 500).error, PL_IP_BAD_DESTINATION);
    EXPECT_EQ(Send(any.h, "127.0.0.1", 500, sizeof(ICMP_ECHO_REPLY) + 39).error,
              static_cast<DWORD>(PL_ERROR_INSUFFICIENT_BUFFER));
    HANDLE closed = IcmpCreateFile();
    ASSERT_TRUE(IcmpCloseHandle(closed));
    EXPECT_FALSE(IcmpCloseHandle(closed));
    EXPECT_EQ(Send(closed, "127.0.0.1", 500).error, static_cast<DWORD>(PL_ERROR_INVALID_PARAMETER));
}

TEST(IcmpNamespace, RunsTheNamespaceTestsInAFreshNetworkNamespace) {
    if (Inside()) GTEST_SKIP() << "this is the run inside the namespace";
    if (::geteuid() != 0) GTEST_SKIP() << "making a network namespace (unshare -n) needs root";
    testutil::RunResult probe = testutil::Run({"/usr/bin/unshare", "-n", "/usr/sbin/ip", "link", "set", "lo", "up"}, {}, 20);
    if (probe.exitCode != 0) GTEST_SKIP() << "cannot make a network namespace with unshare -n and ip: " << probe.out;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    self[n] = 0;
    testutil::RunResult r = testutil::Run({"/usr/bin/unshare", "-n", self, "--gtest_filter=InNamespace.*"},
                                          {std::string(kInsideVar) + "=1"}, 120);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("[  PASSED  ] 4 tests."), std::string::npos) << r.out;
}

namespace {

void Sh(const std::string& command) {
    testutil::RunResult r = testutil::Run({"/bin/sh", "-c", command}, {}, 20);
    ASSERT_EQ(r.exitCode, 0) << command << ": " << r.out;
}

// Answers the echo requests that reach this namespace's 127.0.0.1 (the kernel's
// own answers are switched off) with what the script says, in order, per request.
class Responder {
public:
    enum Kind { Reply, ForeignReply, Error };
    struct Step {
        Kind kind;
        std::uint8_t type = 0, code = 0;
        int delayMs = 0;
    };

    explicit Responder(std::vector<Step> script) : script_(std::move(script)) {
        fd_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (fd_ < 0 || ::pipe(stop_) != 0) return;
        thread_ = std::thread([this] { Run(); });
    }
    ~Responder() {
        if (thread_.joinable()) {
            (void)!::write(stop_[1], "x", 1);
            thread_.join();
        }
        if (fd_ >= 0) ::close(fd_);
        for (int f : stop_)
            if (f >= 0) ::close(f);
    }
    int Requests() const { return requests_; }

private:
    static std::uint16_t Sum(const std::uint8_t* p, std::size_t n) {
        std::uint32_t s = 0;
        for (std::size_t i = 0; i + 1 < n; i += 2) s += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]);
        if (n & 1) s += static_cast<std::uint32_t>(p[n - 1] << 8);
        while (s >> 16) s = (s & 0xFFFF) + (s >> 16);
        return static_cast<std::uint16_t>(~s);
    }
    void SendTo(std::vector<std::uint8_t> m, std::uint32_t to) {
        m[2] = m[3] = 0;
        const std::uint16_t s = Sum(m.data(), m.size());
        m[2] = static_cast<std::uint8_t>(s >> 8);
        m[3] = static_cast<std::uint8_t>(s);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = to;
        ::sendto(fd_, m.data(), m.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    void Run() {
        for (;;) {
            pollfd p[2] = {{fd_, POLLIN, 0}, {stop_[0], POLLIN, 0}};
            if (::poll(p, 2, 10000) <= 0 || p[1].revents) return;
            std::uint8_t pkt[2048];
            const ssize_t n = ::recv(fd_, pkt, sizeof pkt, 0);
            if (n < 28) continue;
            const std::size_t ihl = (pkt[0] & 0x0F) * 4u;
            const std::uint8_t* icmp = pkt + ihl;
            if (icmp[0] != 8) continue;  // only requests
            ++requests_;
            std::uint32_t from;
            std::memcpy(&from, pkt + 12, 4);
            for (const Step& s : script_) {
                if (s.delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(s.delayMs));
                std::vector<std::uint8_t> m;
                if (s.kind == Error) {
                    m = {s.type, s.code, 0, 0, 0, 0, 0, 0};
                    m.insert(m.end(), pkt, pkt + ihl + 8);  // the request's IP header and 8 bytes
                } else {
                    m.assign(icmp, static_cast<const std::uint8_t*>(pkt + n));
                    m[0] = 0;
                    if (s.kind == ForeignReply) m[4] ^= 0x5A;  // another program's identifier
                }
                SendTo(std::move(m), from);
            }
        }
    }

    std::vector<Step> script_;
    int fd_ = -1;
    int stop_[2] = {-1, -1};
    std::atomic<int> requests_{0};
    std::thread thread_;
};

class InNamespace : public testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!Inside()) return;
        Sh("ip link set lo up && ip route add blackhole 10.55.0.0/24 && ip route add 10.56.0.0/24 dev lo && "
           "ip route add unreachable 10.57.0.0/24 && echo '0 2147483647' > /proc/sys/net/ipv4/ping_group_range");
    }
    void SetUp() override {
        if (!Inside()) GTEST_SKIP() << "runs inside the namespace that IcmpNamespace makes";
        Sh("echo 0 > /proc/sys/net/ipv4/icmp_echo_ignore_all");
    }
    static constexpr IcmpSocketKind kKinds[] = {IcmpSocketKind::Datagram, IcmpSocketKind::Raw};
};

}  // namespace

TEST_F(InNamespace, EchoesWithoutAnAnswer) {
    for (IcmpSocketKind kind : kKinds) {
        ExpectLoopbackAnswer(kind);
        Handle icmp(kind);
        // A route into nothing: the request leaves, nothing comes back in time.
        Echo lost = Send(icmp.h, "10.56.0.2", 300);
        EXPECT_EQ(lost.replies, 0u);
        EXPECT_EQ(lost.error, PL_IP_REQ_TIMED_OUT) << KindName(kind);
        EXPECT_GE(lost.ms, 300u);
        EXPECT_LT(lost.ms, 1500u);
        // Routes that refuse the request at once.
        const struct {
            const char* to;
            DWORD error;
        } refused[] = {{"10.55.0.2", PL_IP_GENERAL_FAILURE}, {"10.57.0.2", PL_IP_DEST_HOST_UNREACHABLE}};
        for (const auto& c : refused) {
            Echo e = Send(icmp.h, c.to, 2000);
            EXPECT_EQ(e.replies, 0u) << c.to;
            EXPECT_EQ(e.error, c.error) << c.to << " " << KindName(kind);
            EXPECT_LT(e.ms, 1000u);
        }
    }
    // The control: no answer within its 2000 ms is an unknown host.
    nl::PingHost ping;
    ping.SetHostname("10.56.0.2");
    const auto start = TickCount();
    ping.Ping();
    ASSERT_TRUE(PumpUntil([&] { return !ping.IsBusy(); }, 10000));
    EXPECT_GE(TickCount() - start, 2000u);
    EXPECT_EQ(ping.StateCode(), 2);
    EXPECT_EQ(ping.StateStr(), "Unknown host");
}

TEST_F(InNamespace, ErrorsAndOtherProgramsRepliesFromAScriptedResponder) {
    Sh("echo 1 > /proc/sys/net/ipv4/icmp_echo_ignore_all");
    using R = Responder;
    const struct {
        std::vector<R::Step> script;
        DWORD replies, status;
    } cases[] = {
        // Another program's reply first; ours 150 ms later is the answer.
        {{{R::ForeignReply}, {R::Reply, 0, 0, 150}}, 1, PL_IP_SUCCESS},
        {{{R::Error, 3, 1}}, 1, PL_IP_DEST_HOST_UNREACHABLE},
        {{{R::Error, 3, 0}}, 1, PL_IP_DEST_NET_UNREACHABLE},
        {{{R::Error, 3, 3}}, 1, PL_IP_DEST_PORT_UNREACHABLE},
        {{{R::Error, 11, 0}}, 1, PL_IP_TTL_EXPIRED_TRANSIT},
        {{{R::Error, 12, 0}}, 1, PL_IP_PARAM_PROBLEM},
        // Nothing but a stranger's reply: no answer.
        {{{R::ForeignReply}}, 0, 0},
    };
    for (IcmpSocketKind kind : kKinds) {
        for (const auto& c : cases) {
            Responder responder(c.script);
            Handle icmp(kind);
            Echo e = Send(icmp.h, "127.0.0.1", 600);
            EXPECT_EQ(responder.Requests(), 1);
            ASSERT_EQ(e.replies, c.replies) << KindName(kind) << " status " << c.status << " error " << e.error;
            if (!c.replies) {
                EXPECT_EQ(e.error, PL_IP_REQ_TIMED_OUT);
                continue;
            }
            EXPECT_EQ(e.reply.Status, c.status) << KindName(kind);
            EXPECT_EQ(e.reply.Address, ::inet_addr("127.0.0.1"));
            if (c.status == PL_IP_SUCCESS) {
                EXPECT_GE(e.reply.RoundTripTime, 140u) << KindName(kind);
            }
        }
    }
    // The control reports an error's status as its state code.
    Responder responder({{R::Error, 3, 1}});
    nl::PingHost ping;
    ping.Ping();
    ASSERT_TRUE(PumpUntil([&] { return !ping.IsBusy(); }, 10000));
    EXPECT_EQ(ping.StateCode(), 11003);
    EXPECT_EQ(ping.StateStr(), "Timeout or unknown error");
}

TEST_F(InNamespace, TheDatagramKindNeedsNoPrivilege) {
    // As nobody: datagram sockets by the group range; without it nothing at all.
    const std::string tool = testutil::BuildDir() + "/novalink-ping";
    const std::vector<std::string> asNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                               tool, "127.0.0.1"};
    testutil::RunResult r = testutil::Run(asNobody, {}, 30);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(std::regex_search(r.out, std::regex("^127\\.0\\.0\\.1: state 1, \" [0-9]+ ms\"\n"))) << r.out;
    Sh("echo '1 0' > /proc/sys/net/ipv4/ping_group_range");
    r = testutil::Run(asNobody, {}, 30);
    Sh("echo '0 2147483647' > /proc/sys/net/ipv4/ping_group_range");
    EXPECT_EQ(r.exitCode, 2) << r.out;
    EXPECT_NE(r.out.find("127.0.0.1: state -1, \"Unable to Create File Handle.\"\n"), std::string::npos) << r.out;
}

TEST_F(InNamespace, RawSocketsPassOverOtherTraffic) {
    // While another program pings this host, each kind still takes only its own answers.
    Handle raw(IcmpSocketKind::Raw), dgram(IcmpSocketKind::Datagram);
    ASSERT_TRUE(raw.Open() && dgram.Open());
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    std::thread noise([&] {
        Handle other(IcmpSocketKind::Raw);
        // A busy pinger, not a flood: every raw socket gets a copy of every reply,
        // and a flood would overrun any receive buffer, ours included.
        for (; !stop; ++sent) {
            Send(other.h, "127.0.0.1", 200, 200, "the other program's echo data...");
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // Both sides pace themselves; the rounds go on until the other program has
    // sent its share, within a bound in time.
    const auto start = TickCount();
    for (int i = 0; i < 20 || sent < 100; ++i) {
        ASSERT_LT(TickCount() - start, 20000u) << "the other program sent " << sent << " echoes";
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        for (const auto& [h, data] : {std::pair{raw.h, "the raw socket's echo data......"},
                                      std::pair{dgram.h, "the datagram socket's echo data."}}) {
            Echo e = Send(h, "127.0.0.1", 2000, 200, data);
            EXPECT_EQ(e.replies, 1u);
            EXPECT_EQ(e.reply.Status, PL_IP_SUCCESS);
            EXPECT_EQ(e.data, data);
        }
    }
    stop = true;
    noise.join();
}
