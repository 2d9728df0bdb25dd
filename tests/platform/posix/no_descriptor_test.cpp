// Calls that find no socket to be had: the process's descriptor limit (a POSIX
// one; Windows has no such limit) is lowered while a socket or a connection
// attempt is made. CSocket raises WS_EMFILE from the method that needed the
// socket, and a transfer reports the error rather than waiting.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "http/DownloadFile.h"
#include "net/CSocket.h"
#include "net/MSocketSupport.h"
#include "platform/Window.h"
#include "platform/Winsock.h"
#include "support/ErrorReport.h"
#include "tests/common/Events.h"
#include "tests/common/NetPeer.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/TestUtil.h"
#include "tests/common/TransferHarness.h"
#include "tests/net/SocketHarness.h"
#include "tests/platform/posix/common/DescriptorLimit.h"

using namespace nl;
using namespace testutil;
using testnet::Recorder;
using S = ScriptedServer;

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

TEST(Transfer, NoSocketToBeHadIsAnErrorNotAWait) {
    TempDir dir;
    S server({S::Send(Ok("later"))});
    DownloadFile d;
    Aim(d, server, dir / "out");
    std::unique_ptr<NoFreeDescriptors> none;
    {
        Transfer t(d);
        // Descriptors run out just as the connection attempt starts, and come back
        // once the control has reported.
        auto before = d.OnBeforeConnect;
        d.OnBeforeConnect = [&] {
            before();
            none = std::make_unique<NoFreeDescriptors>();
        };
        auto error = d.OnError;
        d.OnError = [&](std::int32_t n, const std::string& text) {
            none.reset();
            error(n, text);
        };
        ASSERT_TRUE(t.Run());
        none.reset();
        EXPECT_EQ(t.errorNumber, 10024);
        EXPECT_EQ(t.errorText, "没有可用的文件描述符.");
        // Like a refused connection: the socket never had a handle to close.
        EXPECT_EQ(t.Events(), Seq({"BeforeConnect", "Error"}));
        EXPECT_FALSE(d.IsBusy());
        EXPECT_EQ(server.Connections(), 0);
    }
    // The control is ready for the next transfer.
    Transfer t(d);
    ASSERT_TRUE(t.Run());
    EXPECT_EQ(t.Events(), kSuccess);
    EXPECT_EQ(ReadFile(dir / "out"), "later");
}
