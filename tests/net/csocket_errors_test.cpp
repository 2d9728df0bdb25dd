// CSocket's raised errors: the methods' sources and texts. Calls that find no
// socket to be had are in tests/platform/posix/no_descriptor_test.cpp.
#include "platform/Winsock.h"
#include "tests/net/SocketHarness.h"

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
