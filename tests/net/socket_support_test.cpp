// MSocketSupport: the error texts, the routing tables and the hidden window's life.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "net/CSocket.h"
#include "net/MSocketSupport.h"
#include "platform/App.h"
#include "platform/Window.h"
#include "support/ErrorReport.h"
#include "tests/common/Events.h"
#include "tests/common/NetPeer.h"
#include "tests/common/SocketService.h"
#include "tests/common/TestUtil.h"

namespace ss = nl::MSocketSupport;
using nl::CSocket;
using testutil::Pump;
using testutil::Settle;
using testutil::WinsockRunning;

TEST(ErrorTexts, WordingAsShownToTheUser) {
    EXPECT_EQ(ss::GetErrorDescription(10060), "连接试图超时，连接未建立。");
    EXPECT_EQ(ss::GetErrorDescription(10061), "连接被拒绝，无法连接到服务器。");
    EXPECT_EQ(ss::GetErrorDescription(10004), " 阻塞调用被取消了.");
    EXPECT_EQ(ss::GetErrorDescription(10039), "Destination address required.");
    EXPECT_EQ(ss::GetErrorDescription(10035), "本异步操作此时由于Windows Sockets实现的资源或其它限制的制约而无法调度.");
    EXPECT_EQ(ss::GetErrorDescription(10054), "连接由远端重建.");
    EXPECT_EQ(ss::GetErrorDescription(10093), "在使用本API前必须进行一次成功的WSAStartup()调用.");
    EXPECT_EQ(ss::GetErrorDescription(11001), "未找到授权应答主机");
    EXPECT_EQ(ss::GetErrorDescription(11002), " 未找到非授权应答主机,或Server Fail.");
    EXPECT_EQ(ss::GetErrorDescription(11003), "不可恢复性错误");
    EXPECT_EQ(ss::GetErrorDescription(11004), "合法名,无请求类型的数据记录.");
    for (int code : {0, -1, 10059, 10062, 10066, 10068, 11005, 12345, 40006})
        EXPECT_EQ(ss::GetErrorDescription(code), "未知错误") << code;

    EXPECT_EQ(ss::StartupErrorText(10092),
              "The version of Windows Sockets API support requested is not provided by this particular Windows "
              "Sockets implementation.");
    EXPECT_EQ(ss::StartupErrorText(10022),
              "The Windows Sockets version specified by the application is not supported by this DLL.");
    EXPECT_EQ(ss::StartupErrorText(10091),
              "The underlying network subsystem is not ready for network communication.");
    EXPECT_EQ(ss::StartupErrorText(10050), "");
}

TEST(ErrorTexts, PortConversions) {
    EXPECT_EQ(ss::UnsignedToInteger(0), 0);
    EXPECT_EQ(ss::UnsignedToInteger(32767), 32767);
    EXPECT_EQ(ss::UnsignedToInteger(32768), -32768);
    EXPECT_EQ(ss::UnsignedToInteger(65535), -1);
    for (int bad : {-1, 65536}) {
        try {
            ss::UnsignedToInteger(bad);
            ADD_FAILURE() << bad;
        } catch (const nl::RaisedError& e) {
            EXPECT_EQ(e.Number(), 6);
        }
    }
    EXPECT_EQ(ss::IntegerToUnsigned(-1), 65535);
    EXPECT_EQ(ss::IntegerToUnsigned(-32768), 32768);
    EXPECT_EQ(ss::IntegerToUnsigned(80), 80);
}

TEST(SocketTables, WindowLivesWithTheRegisteredSockets) {
    ASSERT_EQ(ss::WinsockWindow(), 0u);
    CSocket a;
    EXPECT_TRUE(WinsockRunning());
    // What the system's Windows Sockets 1.1 start-up reports: the largest UDP payload
    // over IPv4 here; Windows says what it says.
    plat::WSADATA data{};
    ASSERT_EQ(plat::WSAStartup(0x0101, &data), 0);
    plat::WSACleanup();
    EXPECT_EQ(ss::MaxDatagramSize(), data.iMaxUdpDg);
    if (!testutil::kWindows) {
        EXPECT_EQ(ss::MaxDatagramSize(), 65507);
    }
    // The two messages are registered under the program's own name.
    EXPECT_EQ(ss::WinsockMessage(), plat::RegisterWindowMessageA(plat::ExeName() + ".WinsockMessage"));
    EXPECT_EQ(ss::ResolveMessage(), plat::RegisterWindowMessageA(plat::ExeName() + ".ResolveMessage"));
    EXPECT_NE(ss::WinsockMessage(), ss::ResolveMessage());
    CSocket b;  // the service is started once
    EXPECT_EQ(ss::WinsockWindow(), 0u);

    a.Bind(0, "127.0.0.1");
    plat::HWND first = ss::WinsockWindow();
    ASSERT_NE(first, 0u);
    EXPECT_EQ(plat::GetWindowTextA(first), "tarnSOCKET_WINDOW");
    EXPECT_EQ(ss::RegisteredSockets(), 1u);
    b.Bind(0, "127.0.0.1");
    EXPECT_EQ(ss::WinsockWindow(), first);
    EXPECT_EQ(ss::RegisteredSockets(), 2u);

    // A notification for a handle nobody registered is dropped.
    EXPECT_EQ(plat::SendMessageA(first, ss::WinsockMessage(), 0x7FFF0000, plat::MakeLong(1, 0)), 0);
    EXPECT_EQ(plat::SendMessageA(first, ss::ResolveMessage(), 0x7FFF0000, 0), 0);

    a.CloseSocket();
    EXPECT_EQ(ss::WinsockWindow(), first);
    b.CloseSocket();
    EXPECT_EQ(ss::WinsockWindow(), 0u);
    EXPECT_FALSE(plat::IsWindow(first));
    EXPECT_EQ(ss::RegisteredSockets(), 0u);

    // A new registration makes a new window, and events reach the new socket.
    testnet::Listener listener;
    bool connected = false;
    a.OnConnect = [&] { connected = true; };
    a.Connect(nl::Variant("127.0.0.1"), nl::Variant(static_cast<std::int32_t>(listener.port())));
    EXPECT_NE(ss::WinsockWindow(), 0u);
    EXPECT_NE(ss::WinsockWindow(), first);
    int peer = listener.Accept();
    ASSERT_TRUE(Pump([&] { return connected; }));
    testnet::Close(peer);
}

TEST(SocketTables, ServiceLastsWhileAnyObjectLives) {
    ASSERT_FALSE(WinsockRunning());
    auto survivor = std::make_unique<CSocket>();
    {
        CSocket other;
        EXPECT_TRUE(WinsockRunning());
        other.Bind(0, "127.0.0.1");
        other.CloseSocket();
        EXPECT_EQ(other.SocketHandle(), -1);
    }
    // The other object went while nothing was registered: the survivor keeps the
    // service, makes its socket, connects and transfers both ways.
    EXPECT_TRUE(WinsockRunning());
    {
        // The test's own peer is a user of the service too where start-ups are
        // counted per process (Windows): it is gone before the last object goes.
        testnet::Listener listener;
        bool connected = false;
        std::string got;
        survivor->OnConnect = [&] { connected = true; };
        survivor->OnDataArrival = [&](std::int32_t) {
            std::string chunk;
            survivor->GetData(chunk);
            got += chunk;
        };
        survivor->Connect(nl::Variant("127.0.0.1"), nl::Variant(static_cast<std::int32_t>(listener.port())));
        int peer = listener.Accept();
        ASSERT_NE(peer, -1);
        ASSERT_TRUE(Pump([&] { return connected; }));
        survivor->SendData(nl::Variant("ping"));
        EXPECT_EQ(testnet::ReadExactly(peer, 4), "ping");
        ASSERT_TRUE(testnet::SendAll(peer, "pong", 4));
        EXPECT_TRUE(Pump([&] { return got == "pong"; }));
        testnet::Close(peer);
    }

    // The last object takes the service with it, its socket still open or not.
    survivor.reset();
    EXPECT_FALSE(WinsockRunning());
    EXPECT_EQ(ss::WinsockWindow(), 0u);
    // The next object starts it again, and can make a socket; it is the only user,
    // so the service ends with it.
    {
        CSocket fresh;
        EXPECT_TRUE(WinsockRunning());
        fresh.Bind(0, "127.0.0.1");
        EXPECT_NE(fresh.SocketHandle(), -1);
    }
    EXPECT_FALSE(WinsockRunning());
}

TEST(SocketTables, LookUpsAreDeliveredOnceAndOnlyToLiveObjects) {
    testnet::Listener listener;
    // Delivered: the tables are empty again afterwards, and a new look-up works.
    {
        CSocket s;
        int resolved = 0;
        s.OnStateChange = [&](std::int32_t st, const std::string&) { resolved += st == CSocket::sckHostResolved; };
        s.Connect(nl::Variant("localhost"), nl::Variant(static_cast<std::int32_t>(listener.port())));
        EXPECT_EQ(s.State(), CSocket::sckResolvingHost);
        ASSERT_TRUE(Pump([&] { return resolved == 1; }));
        Settle();
        EXPECT_EQ(resolved, 1) << "the answer was delivered twice";
        // A second Connect while the first look-up runs: only the newer one counts.
        s.CloseSocket();
        s.Connect(nl::Variant("localhost"), nl::Variant(static_cast<std::int32_t>(listener.port())));
        s.Connect(nl::Variant("localhost"), nl::Variant(static_cast<std::int32_t>(listener.port())));
        EXPECT_EQ(ss::PendingLookups(), 2u);
        ASSERT_TRUE(Pump([&] { return ss::PendingLookups() == 0; }));
        Settle();
        EXPECT_EQ(resolved, 2);
        s.CloseSocket();
    }
    // The object is destroyed while its look-up runs: nothing reaches it, the block
    // is freed when the look-up ends, and the window goes with it.
    {
        auto s = std::make_unique<CSocket>();
        s->Connect(nl::Variant("localhost"), nl::Variant(static_cast<std::int32_t>(listener.port())));
        plat::HWND w = ss::WinsockWindow();
        s.reset();
        EXPECT_EQ(ss::PendingLookups(), 1u);
        EXPECT_EQ(ss::WinsockWindow(), w);  // kept until the completion arrives
        ASSERT_TRUE(Pump([&] { return ss::PendingLookups() == 0; }));
        EXPECT_EQ(ss::WinsockWindow(), 0u);
    }
    // Closed while its look-up runs: no event after OnClose.
    {
        CSocket s;
        std::vector<std::int32_t> states;
        int errors = 0;
        s.OnStateChange = [&](std::int32_t st, const std::string&) { states.push_back(st); };
        s.OnError = [&](std::int32_t, std::string&, std::int32_t, const std::string&, const std::string&, std::int32_t,
                        bool&) { ++errors; };
        s.Connect(nl::Variant("localhost"), nl::Variant(static_cast<std::int32_t>(listener.port())));
        s.CloseSocket();
        ASSERT_TRUE(Pump([&] { return ss::PendingLookups() == 0; }));
        Settle();
        EXPECT_EQ(states, (std::vector<std::int32_t>{CSocket::sckResolvingHost, CSocket::sckClosed}));
        EXPECT_EQ(errors, 0);
        EXPECT_EQ(s.SocketHandle(), -1);
    }
    // A failed look-up of a closed object is not reported either.
    {
        CSocket s;
        int errors = 0;
        s.OnError = [&](std::int32_t, std::string&, std::int32_t, const std::string&, const std::string&, std::int32_t,
                        bool&) { ++errors; };
        s.Connect(nl::Variant("gone.invalid"), nl::Variant(std::int32_t{80}));
        s.CloseSocket();
        ASSERT_TRUE(Pump([&] { return ss::PendingLookups() == 0; }));
        Settle();
        EXPECT_EQ(errors, 0);
    }
    EXPECT_EQ(ss::WinsockWindow(), 0u);
}

TEST(SocketTables, TheWindowIsSubclassedAndRestored) {
    CSocket s;
    s.Bind(0, "127.0.0.1");
    plat::HWND w = ss::WinsockWindow();
    ASSERT_NE(w, 0u);
    EXPECT_EQ(plat::GetWindowProc(w), &ss::SocketWindowProc);
    // The last socket takes the window with it.
    s.CloseSocket();
    EXPECT_EQ(ss::WinsockWindow(), 0u);
    EXPECT_FALSE(plat::IsWindow(w));
}
