// CSocket's raised errors: the methods' sources and texts, and calls that find
// no socket to be had.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/CSocket.h"
#include "net/MSocketSupport.h"
#include "platform/Window.h"
#include "platform/Winsock.h"
#include "support/ErrorReport.h"
#include "tests/common/DescriptorLimit.h"
#include "tests/common/Events.h"
#include "tests/common/NetPeer.h"
#include "tests/net/SocketHarness.h"

using nl::CSocket;
using testnet::Connected;
using testnet::Joined;
using testnet::Pattern;
using testnet::Recorder;
using testutil::ExpectRaised;
using testutil::Pump;

TEST(CSocketClient, ConnectRaisesWhenNoSocketCanBeMade) {
    testnet::Listener listener;
    const nl::Variant host("127.0.0.1"), port(static_cast<std::int32_t>(listener.port()));
    CSocket s;
    Recorder rec;
    rec.Attach(s);
    {
        testutil::NoFreeDescriptors none;
        ASSERT_TRUE(none.Active());
        ExpectRaised([&] { s.Connect(host, port); }, plat::WS_EMFILE, "CSocket.CSocket.Connect", "没有可用的文件描述符.", "Connect");
    }
    EXPECT_EQ(s.SocketHandle(), -1);
    EXPECT_EQ(s.State(), CSocket::sckClosed);
    EXPECT_TRUE(rec.log.empty());
    EXPECT_EQ(nl::MSocketSupport::RegisteredSockets(), 0u);

    // With descriptors to be had again the same object connects.
    s.Connect(host, port);
    int peer = listener.Accept();
    ASSERT_NE(peer, -1);
    EXPECT_TRUE(Pump([&] { return rec.connects == 1; }));
    testnet::Close(peer);
}

TEST(CSocketClient, BindListenAndDatagramsRaiseWhenNoSocketCanBeMade) {
    // A server that thinks it listens, or a datagram that silently goes nowhere,
    // would wait for ever: each says why instead.
    CSocket server, datagrams;
    // The address first: for a datagram object it would make the socket at once.
    datagrams.SetRemoteHost("127.0.0.1");
    datagrams.SetRemotePort(testnet::ClosedPort());
    datagrams.SetProtocol(CSocket::sckUDPProtocol);
    Recorder rec;
    rec.Attach(datagrams);
    {
        testutil::NoFreeDescriptors none;
        ASSERT_TRUE(none.Active());
        const std::string noDescriptor = "没有可用的文件描述符.";
        ExpectRaised([&] { server.Bind(0, "127.0.0.1"); }, plat::WS_EMFILE, "CSocket.Bind", noDescriptor, "Bind");
        ExpectRaised([&] { server.Listen(); }, plat::WS_EMFILE, "CSocket.Listen", noDescriptor, "Listen");
        ExpectRaised([&] { datagrams.SendData(nl::Variant("lost")); }, plat::WS_EMFILE, "CSocket.SendData", noDescriptor,
                     "SendData");
    }
    EXPECT_EQ(server.SocketHandle(), -1);
    EXPECT_EQ(server.State(), CSocket::sckClosed);
    EXPECT_EQ(datagrams.SocketHandle(), -1);
    EXPECT_TRUE(rec.log.empty());
    EXPECT_EQ(nl::MSocketSupport::RegisteredSockets(), 0u);

    // Descriptors again: the same objects listen and send.
    server.Bind(0, "127.0.0.1");
    server.Listen();
    EXPECT_NE(server.SocketHandle(), -1);
    datagrams.SendData(nl::Variant("sent"));
    EXPECT_EQ(rec.log, std::vector<std::string>{"progress 4 0"});
}

TEST(CSocketClient, RaisedErrorsCarryTheMethodsSource) {
    CSocket s;
    ExpectRaised([&] { s.Connect(); }, 10049, "CSocket.CSocket.Connect", "在本地机器上找不到所指的地址。");
    ExpectRaised([&] { s.Connect(nl::Variant("127.0.0.1"), nl::Variant(std::int32_t{70000})); }, 6,
                 "CSocket.CSocket.Connect");
    // The protocol cannot change under an existing handle.
    ASSERT_NE(s.SocketHandle(), -1);
    s.SetProtocol(CSocket::sckUDPProtocol);
    EXPECT_EQ(s.Protocol(), CSocket::sckTCPProtocol);

    CSocket t;
    ExpectRaised([&] { t.SendData(nl::Variant("x")); }, 40006, "CSocket.SendData",
                 "Wrong protocol or connection state for the requested transaction or request.");
    ExpectRaised([&] { t.Bind(0, "not an address"); }, 10049, "CSocket.Bind");
    // A time-out without a handle has nothing to apply to.
    CSocket u;
    u.SetTimeOut(1500);
    EXPECT_EQ(u.TimeOut(), 1500);
    EXPECT_EQ(u.SocketHandle(), -1);
}
