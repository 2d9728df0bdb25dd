// The Windows Sockets layer of the platform against real loopback sockets: the
// notification rules of event selection, host look-ups into a caller's block,
// and the error numbers.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Window.h"
#include "platform/Winsock.h"
#include "tests/common/NetPeer.h"
#include "tests/common/TestUtil.h"

using namespace plat;

namespace {

struct Note {
    WPARAM handle;
    int event;
    int error;
};
std::vector<Note> g_notes;
UINT g_msg = 0;

LRESULT Collect(HWND, UINT msg, WPARAM w, LPARAM l) {
    if (msg == g_msg) g_notes.push_back({w, LoWord(static_cast<std::uintptr_t>(l)), HiWord(static_cast<std::uintptr_t>(l))});
    return 0;
}

class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(0x0101, &data), 0);
        EXPECT_EQ(data.wVersion, 0x0101);
        EXPECT_GT(data.iMaxUdpDg, 0);
        g_msg = RegisterWindowMessageA("winsock-test.WinsockMessage");
        hwnd = CreateMessageWindow("test");
        SetWindowProc(hwnd, Collect);
        g_notes.clear();
    }
    void TearDown() override {
        DestroyWindow(hwnd);
        WSACleanup();
    }

    int Count(SOCKET s, int event) const {
        int n = 0;
        for (const auto& note : g_notes)
            if (note.handle == s && note.event == event) ++n;
        return n;
    }
    // Lets the loop run for a while: whatever is going to be posted is posted.
    static void Settle(int ms = 60) { PumpUntil([] { return false; }, ms); }
    static bool Pump(const std::function<bool()>& done) { return PumpUntil(done, 5000); }

    SOCKET ConnectedClient(testnet::Listener& listener, int& peer) {
        SOCKET s = socket(WS_AF_INET, WS_SOCK_STREAM, WS_IPPROTO_TCP);
        EXPECT_NE(s, WS_INVALID_SOCKET);
        EXPECT_EQ(WSAAsyncSelect(s, hwnd, g_msg, 59), 0);
        SOCKADDR_IN sa = Address("127.0.0.1", listener.port());
        EXPECT_EQ(connect(s, reinterpret_cast<SOCKADDR*>(&sa), sizeof sa), WS_SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WS_EWOULDBLOCK);
        peer = listener.Accept();
        EXPECT_TRUE(Pump([&] { return Count(s, WS_FD_CONNECT) == 1; }));
        return s;
    }

    static SOCKADDR_IN Address(const char* ip, int port) {
        SOCKADDR_IN sa{};
        sa.sin_family = WS_AF_INET;
        sa.sin_port = static_cast<std::uint16_t>(((port & 0xFF) << 8) | ((port >> 8) & 0xFF));
        sa.sin_addr.S_addr = inet_addr(ip);
        return sa;
    }

    HWND hwnd = 0;
};

}  // namespace

TEST_F(WinsockTest, ConnectThenWriteThenReadOnlyAfterEachReceive) {
    testnet::Listener listener;
    int peer = -1;
    SOCKET s = ConnectedClient(listener, peer);
    Settle();
    // The connect brings FD_CONNECT without error, then FD_WRITE, each once.
    ASSERT_GE(g_notes.size(), 2u);
    EXPECT_EQ(g_notes[0].event, WS_FD_CONNECT);
    EXPECT_EQ(g_notes[0].error, 0);
    EXPECT_EQ(g_notes[1].event, WS_FD_WRITE);
    EXPECT_EQ(Count(s, WS_FD_WRITE), 1);

    // Data in two writes: one FD_READ until the socket is read.
    testnet::SendAll(peer, "abcdef", 6);
    Settle();
    testnet::SendAll(peer, "ghij", 4);
    Settle();
    EXPECT_EQ(Count(s, WS_FD_READ), 1);
    char buf[4];
    EXPECT_EQ(recv(s, buf, 4, 0), 4);
    // Data is left: the receive lets the next FD_READ through.
    ASSERT_TRUE(Pump([&] { return Count(s, WS_FD_READ) == 2; }));
    char rest[64];
    EXPECT_EQ(recv(s, rest, sizeof rest, 0), 6);
    Settle();
    EXPECT_EQ(Count(s, WS_FD_READ), 2);
    // Nothing left: a receive would block, and says so.
    EXPECT_EQ(recv(s, rest, sizeof rest, 0), WS_SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WS_EWOULDBLOCK);
    EXPECT_EQ(Count(s, WS_FD_CLOSE), 0);

    // An idle selected socket costs nothing while the loop waits.
    double before = testutil::CpuSeconds();
    Settle(500);
    EXPECT_LT(testutil::CpuSeconds() - before, 0.05);
    EXPECT_EQ(closesocket(s), 0);
    testnet::Close(peer);
}

TEST_F(WinsockTest, CloseIsPostedOnceAroundTheDataStillUnread) {
    testnet::Listener listener;
    int peer = -1;
    SOCKET s = ConnectedClient(listener, peer);
    testnet::SendAll(peer, "last words", 10);
    testnet::Close(peer);
    ASSERT_TRUE(Pump([&] { return Count(s, WS_FD_READ) == 1; }));
    if (testutil::kWindows) {
        // Windows documents FD_CLOSE after a graceful close as held back until the
        // data has been read; an owner must still be ready for it earlier.
        Settle();
        EXPECT_LE(Count(s, WS_FD_CLOSE), 1);
    } else {
        // Here the close is posted at once, with the data still unread.
        ASSERT_TRUE(Pump([&] { return Count(s, WS_FD_CLOSE) == 1; }));
        Settle();
        EXPECT_EQ(Count(s, WS_FD_CLOSE), 1);
    }
    EXPECT_EQ(Count(s, WS_FD_READ), 1);
    // The data is all still there, then the end.
    char buf[64];
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), 10);
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), 0);
    ASSERT_TRUE(Pump([&] { return Count(s, WS_FD_CLOSE) == 1; }));
    Settle();
    EXPECT_EQ(Count(s, WS_FD_CLOSE), 1);
    EXPECT_EQ(Count(s, WS_FD_READ), 1);
    for (const auto& n : g_notes) EXPECT_EQ(n.error, 0);
    closesocket(s);
}

TEST_F(WinsockTest, ConnectFailureAndResetCarryTheirErrors) {
    SOCKET s = socket(WS_AF_INET, WS_SOCK_STREAM, WS_IPPROTO_TCP);
    ASSERT_EQ(WSAAsyncSelect(s, hwnd, g_msg, 59), 0);
    SOCKADDR_IN sa = Address("127.0.0.1", testnet::ClosedPort());
    connect(s, reinterpret_cast<SOCKADDR*>(&sa), sizeof sa);
    ASSERT_TRUE(Pump([&] { return Count(s, WS_FD_CONNECT) == 1; }));
    Settle();
    ASSERT_EQ(g_notes.size(), 1u);
    EXPECT_EQ(g_notes[0].error, WS_ECONNREFUSED);
    closesocket(s);

    testnet::Listener listener;
    int peer = -1;
    g_notes.clear();
    SOCKET c = ConnectedClient(listener, peer);
    testnet::CloseWithReset(peer);
    ASSERT_TRUE(Pump([&] { return Count(c, WS_FD_CLOSE) == 1; }));
    Settle();
    EXPECT_EQ(Count(c, WS_FD_CLOSE), 1);
    const std::string wine = testutil::WineVersion();
    if (!wine.empty() && g_notes.back().error == 0) {
        // Wine's difference: it posts a reset's FD_CLOSE without an error and
        // receives 0 after it, as for a graceful close, where Windows documents
        // FD_CLOSE with WSAECONNRESET.
        char b;
        EXPECT_EQ(recv(c, &b, 1, 0), 0) << "Wine " << wine << " reports a reset otherwise now";
        std::cout << "Wine " << wine << ": a reset is posted as FD_CLOSE without WSAECONNRESET\n";
    } else {
        EXPECT_EQ(g_notes.back().error, WS_ECONNRESET);
    }
    closesocket(c);
}

TEST_F(WinsockTest, WriteComesBackAfterTheBufferFilledUp) {
    testnet::Listener listener;
    int peer = -1;
    SOCKET s = ConnectedClient(listener, peer);
    Settle();
    ASSERT_EQ(Count(s, WS_FD_WRITE), 1);
    std::vector<char> block(1 << 20, 'x');
    long long sent = 0;
    for (;;) {
        int n = send(s, block.data(), static_cast<int>(block.size()), 0);
        if (n == WS_SOCKET_ERROR) {
            EXPECT_EQ(WSAGetLastError(), WS_EWOULDBLOCK);
            break;
        }
        sent += n;
        ASSERT_LT(sent, 1LL << 30);
    }
    Settle();
    EXPECT_EQ(Count(s, WS_FD_WRITE), 1);
    // The peer makes room: FD_WRITE again, once.
    std::string drained = testnet::ReadExactly(peer, static_cast<std::size_t>(sent), 10000);
    EXPECT_EQ(drained.size(), static_cast<std::size_t>(sent));
    ASSERT_TRUE(Pump([&] { return Count(s, WS_FD_WRITE) == 2; }));
    Settle();
    EXPECT_EQ(Count(s, WS_FD_WRITE), 2);
    closesocket(s);
    testnet::Close(peer);
}

TEST_F(WinsockTest, AcceptIsPostedAgainOnlyAfterAnAccept) {
    SOCKET l = socket(WS_AF_INET, WS_SOCK_STREAM, WS_IPPROTO_TCP);
    SOCKADDR_IN sa = Address("127.0.0.1", 0);
    ASSERT_EQ(bind(l, reinterpret_cast<SOCKADDR*>(&sa), sizeof sa), 0);
    int len = sizeof sa;
    ASSERT_EQ(getsockname(l, reinterpret_cast<SOCKADDR*>(&sa), &len), 0);
    int port = ((sa.sin_port & 0xFF) << 8) | (sa.sin_port >> 8);
    ASSERT_EQ(listen(l, 5), 0);
    ASSERT_EQ(WSAAsyncSelect(l, hwnd, g_msg, 59), 0);
    int a = testnet::ConnectTo(port), b = testnet::ConnectTo(port);
    ASSERT_TRUE(Pump([&] { return Count(l, WS_FD_ACCEPT) == 1; }));
    Settle();
    EXPECT_EQ(Count(l, WS_FD_ACCEPT), 1);
    SOCKADDR_IN peer{};
    len = sizeof peer;
    SOCKET first = accept(l, reinterpret_cast<SOCKADDR*>(&peer), &len);
    ASSERT_NE(first, WS_INVALID_SOCKET);
    EXPECT_EQ(std::string(inet_ntoa(peer.sin_addr)), "127.0.0.1");
    ASSERT_TRUE(Pump([&] { return Count(l, WS_FD_ACCEPT) == 2; }));
    SOCKET second = accept(l, nullptr, nullptr);
    ASSERT_NE(second, WS_INVALID_SOCKET);
    Settle();
    EXPECT_EQ(Count(l, WS_FD_ACCEPT), 2);
    // Handles are never reused, even when descriptors are.
    EXPECT_NE(first, second);
    closesocket(first);
    SOCKET third = socket(WS_AF_INET, WS_SOCK_STREAM, WS_IPPROTO_TCP);
    EXPECT_NE(third, first);
    int type = 0;
    len = 4;
    EXPECT_EQ(getsockopt(second, WS_SOL_SOCKET, WS_SO_TYPE, reinterpret_cast<char*>(&type), &len), 0);
    EXPECT_EQ(type, WS_SOCK_STREAM);
    for (SOCKET s : {second, third, l}) closesocket(s);
    testnet::Close(a);
    testnet::Close(b);
}

TEST_F(WinsockTest, HostLookUpsFillTheCallersBlock) {
    UINT resolved = RegisterWindowMessageA("winsock-test.ResolveMessage");
    struct Done {
        std::uintptr_t task;
        int used, error;
    };
    static std::vector<Done> done;
    static UINT s_resolved;
    s_resolved = resolved;
    done.clear();
    SetWindowProc(hwnd, [](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        if (msg == s_resolved)
            done.push_back({w, LoWord(static_cast<std::uintptr_t>(l)), HiWord(static_cast<std::uintptr_t>(l))});
        return 0;
    });
    alignas(HOSTENT) char block[WS_MAXGETHOSTSTRUCT];
    alignas(HOSTENT) char dotted[WS_MAXGETHOSTSTRUCT];
    alignas(HOSTENT) char small[16];
    std::uintptr_t t1 = WSAAsyncGetHostByName(hwnd, resolved, "localhost", block, sizeof block);
    std::uintptr_t t2 = WSAAsyncGetHostByName(hwnd, resolved, "127.0.0.1", dotted, sizeof dotted);
    std::uintptr_t t3 = WSAAsyncGetHostByName(hwnd, resolved, "localhost", small, sizeof small);
    ASSERT_NE(t1, 0u);
    ASSERT_NE(t2, 0u);
    EXPECT_NE(t1, t2);
    ASSERT_TRUE(PumpUntil([] { return done.size() == 3; }, 5000));
    for (const auto& d : done) {
        if (d.task == t3) {
            EXPECT_EQ(d.error, WS_ENOBUFS);
            continue;
        }
        EXPECT_EQ(d.error, 0);
        EXPECT_GT(d.used, static_cast<int>(sizeof(HOSTENT)));
        EXPECT_LE(d.used, WS_MAXGETHOSTSTRUCT);
        const char* base = d.task == t1 ? block : dotted;
        const auto* he = reinterpret_cast<const HOSTENT*>(base);
        EXPECT_EQ(he->h_addrtype, WS_AF_INET);
        EXPECT_EQ(he->h_length, 4);
        ASSERT_NE(he->h_addr_list[0], nullptr);
        // Everything the entry points to lies inside the block.
        EXPECT_GE(he->h_name, base);
        EXPECT_LT(he->h_name, base + d.used);
        EXPECT_GE(he->h_addr_list[0], base);
        std::uint32_t addr;
        std::memcpy(&addr, he->h_addr_list[0], 4);
        EXPECT_EQ(addr, inet_addr("127.0.0.1"));
        EXPECT_EQ(std::string(he->h_name), d.task == t1 ? testnet::OfficialName("localhost") : "127.0.0.1");
    }

    // A name under "invalid" fails at once, without asking the network.
    done.clear();
    auto start = std::chrono::steady_clock::now();
    std::uintptr_t t4 = WSAAsyncGetHostByName(hwnd, resolved, "printer.example.INVALID.", block, sizeof block);
    ASSERT_NE(t4, 0u);
    ASSERT_TRUE(PumpUntil([] { return done.size() == 1; }, 5000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(done[0].error, WS_HOST_NOT_FOUND);

    // The blocking reverse look-up.
    std::uint32_t loop = inet_addr("127.0.0.1");
    const HOSTENT* he = gethostbyaddr(reinterpret_cast<const char*>(&loop), 4, WS_AF_INET);
    ASSERT_NE(he, nullptr);
    EXPECT_EQ(std::string(he->h_name), testnet::ReverseName("127.0.0.1"));
}

TEST_F(WinsockTest, ErrorNumbersAndAddresses) {
    EXPECT_EQ(closesocket(123456), WS_SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WS_ENOTSOCK);

    std::optional<testnet::Listener> listener(std::in_place);
    SOCKET s = socket(WS_AF_INET, WS_SOCK_STREAM, WS_IPPROTO_TCP);
    SOCKADDR_IN sa = Address("127.0.0.1", listener->port());
    EXPECT_EQ(bind(s, reinterpret_cast<SOCKADDR*>(&sa), sizeof sa), WS_SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WS_EADDRINUSE);
    SOCKADDR_IN foreign = Address("192.0.2.1", 0);
    EXPECT_EQ(bind(s, reinterpret_cast<SOCKADDR*>(&foreign), sizeof foreign), WS_SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WS_EADDRNOTAVAIL);
    // A blocking connect to a closed port.
    SOCKADDR_IN closed = Address("127.0.0.1", testnet::ClosedPort());
    EXPECT_EQ(connect(s, reinterpret_cast<SOCKADDR*>(&closed), sizeof closed), WS_SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WS_ECONNREFUSED);
    char buf[4];
    SOCKET fresh = socket(WS_AF_INET, WS_SOCK_STREAM, WS_IPPROTO_TCP);
    EXPECT_EQ(send(fresh, "x", 1, 0), WS_SOCKET_ERROR);
    const std::string wine = testutil::WineVersion();
    if (!wine.empty() && WSAGetLastError() == WS_ECONNRESET) {
        // Wine's difference: a send on a stream socket that was never connected
        // fails with WSAECONNRESET, where Windows documents WSAENOTCONN.
        std::cout << "Wine " << wine << ": send before connect fails with WSAECONNRESET\n";
    } else {
        EXPECT_EQ(WSAGetLastError(), WS_ENOTCONN);
    }
    EXPECT_EQ(recv(fresh, buf, 4, 0), WS_SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WS_ENOTCONN);
    // Options in Windows units: time-outs in milliseconds, sizes in bytes.
    std::int32_t ms = 2500, out = 0;
    int len = 4;
    EXPECT_EQ(setsockopt(fresh, WS_SOL_SOCKET, WS_SO_RCVTIMEO, reinterpret_cast<char*>(&ms), 4), 0);
    EXPECT_EQ(getsockopt(fresh, WS_SOL_SOCKET, WS_SO_RCVTIMEO, reinterpret_cast<char*>(&out), &len), 0);
    EXPECT_EQ(out, 2500);
    EXPECT_EQ(getsockopt(fresh, WS_SOL_SOCKET, 0x7777, reinterpret_cast<char*>(&out), &len), WS_SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WS_ENOPROTOOPT);
    closesocket(s);
    closesocket(fresh);

    EXPECT_EQ(inet_addr("10.1.2.3"), 0x0302010Au);
    EXPECT_EQ(inet_addr("not.an.address"), WS_INADDR_NONE);
    EXPECT_EQ(inet_addr(""), WS_INADDR_NONE);
    EXPECT_EQ(std::string(inet_ntoa(IN_ADDR{0x0302010Au})), "10.1.2.3");

    // After the last clean-up, no new sockets and no look-ups. The peers' own use
    // of the service (Windows counts start-ups per process) ends with their
    // sockets.
    listener.reset();
    WSACleanup();
    EXPECT_EQ(socket(WS_AF_INET, WS_SOCK_STREAM, WS_IPPROTO_TCP), WS_INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WS_NOTINITIALISED);
    alignas(HOSTENT) char block[WS_MAXGETHOSTSTRUCT];
    static bool lookedUp;
    lookedUp = false;
    SetWindowProc(hwnd, [](HWND, UINT msg, WPARAM, LPARAM) -> LRESULT {
        if (msg == 0xC123) lookedUp = true;
        return 0;
    });
    const std::uintptr_t task = WSAAsyncGetHostByName(hwnd, 0xC123, "localhost", block, sizeof block);
    if (!wine.empty() && task != 0) {
        // Wine's difference: it starts a look-up after the last clean-up, where
        // Windows documents WSANOTINITIALISED. The block is written until the
        // look-up's message arrives.
        EXPECT_TRUE(PumpUntil([] { return lookedUp; }, 5000));
        std::cout << "Wine " << wine << ": WSAAsyncGetHostByName works after the last WSACleanup\n";
    } else {
        EXPECT_EQ(task, 0u);
        EXPECT_EQ(WSAGetLastError(), WS_NOTINITIALISED);
    }
    WSADATA data;
    WSAStartup(0x0101, &data);  // for TearDown
    EXPECT_EQ(WSAStartup(0x0000, &data), WS_VERNOTSUPPORTED);
}

TEST_F(WinsockTest, DatagramsKeepTheirBoundaries) {
    SOCKET a = socket(WS_AF_INET, WS_SOCK_DGRAM, WS_IPPROTO_UDP);
    SOCKET b = socket(WS_AF_INET, WS_SOCK_DGRAM, WS_IPPROTO_UDP);
    SOCKADDR_IN any = Address("127.0.0.1", 0);
    ASSERT_EQ(bind(b, reinterpret_cast<SOCKADDR*>(&any), sizeof any), 0);
    SOCKADDR_IN to{};
    int len = sizeof to;
    ASSERT_EQ(getsockname(b, reinterpret_cast<SOCKADDR*>(&to), &len), 0);
    ASSERT_EQ(WSAAsyncSelect(b, hwnd, g_msg, 59), 0);
    EXPECT_EQ(sendto(a, "one", 3, 0, reinterpret_cast<SOCKADDR*>(&to), sizeof to), 3);
    EXPECT_EQ(sendto(a, "two!", 4, 0, reinterpret_cast<SOCKADDR*>(&to), sizeof to), 4);
    ASSERT_TRUE(Pump([&] { return Count(b, WS_FD_READ) == 1; }));
    char buf[16];
    SOCKADDR_IN from{};
    len = sizeof from;
    EXPECT_EQ(recvfrom(b, buf, sizeof buf, 0, reinterpret_cast<SOCKADDR*>(&from), &len), 3);
    EXPECT_EQ(std::string(inet_ntoa(from.sin_addr)), "127.0.0.1");
    ASSERT_TRUE(Pump([&] { return Count(b, WS_FD_READ) == 2; }));
    // A datagram larger than the buffer is cut, and the call says so.
    EXPECT_EQ(recvfrom(b, buf, 2, 0, nullptr, nullptr), WS_SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WS_EMSGSIZE);
    std::int32_t on = 1;
    EXPECT_EQ(setsockopt(a, WS_SOL_SOCKET, WS_SO_BROADCAST, reinterpret_cast<char*>(&on), 4), 0);
    closesocket(a);
    closesocket(b);
}
