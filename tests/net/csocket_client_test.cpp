// CSocket as a client against real loopback peers: connecting by address and by
// name, look-ups that arrive late, and refused or unresolvable peers.
#include "tests/net/SocketHarness.h"

namespace {

// A client socket with its recorder, and a loopback peer to aim it at.
class CSocketClient : public ::testing::Test {
protected:
    CSocketClient() { rec.Attach(s); }
    testnet::Listener listener;
    CSocket s;
    Recorder rec;
};

}  // namespace

TEST_F(CSocketClient, ConnectSendReceiveAndCloseByOwner) {
    s.SetRemoteHost("127.0.0.1");
    s.SetRemotePort(listener.port());
    s.Connect();
    // No look-up for a dotted address (no "resolving" state, now or later); the
    // connecting state comes before Connect returns.
    ASSERT_EQ(rec.log, std::vector<std::string>{"state 4 Connecting to host."});
    EXPECT_EQ(s.State(), CSocket::sckConnecting);

    int peer = listener.Accept();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(Pump([&] { return rec.connects == 1; }));
    EXPECT_EQ(rec.log, (std::vector<std::string>{"state 4 Connecting to host.", "state 5 ", "connect"}));
    EXPECT_EQ(s.State(), CSocket::sckConnected);
    EXPECT_EQ(s.LocalIP(), "127.0.0.1");
    EXPECT_GT(s.LocalPort(), 0);
    EXPECT_EQ(s.LocalHostName(), testnet::ReverseName("127.0.0.1"));
    EXPECT_EQ(s.RemoteHostIP(), "127.0.0.1");

    // Sending: the first progress event comes from inside SendData, completion
    // only from the message loop, once.
    rec.log.clear();
    s.SendData(nl::Variant("abc"));
    EXPECT_EQ(rec.log, std::vector<std::string>{"progress 3 0"});
    ASSERT_TRUE(Pump([&] { return rec.completes == 1; }));
    EXPECT_EQ(testnet::ReadExactly(peer, 3), "abc");
    plat::PumpUntil([] { return false; }, 50);
    EXPECT_EQ(rec.completes, 1);

    // Receiving: "Receiving data." once per connection, the count is one less
    // than the chunk, and the chunk stays readable until the next one.
    rec.log.clear();
    ASSERT_TRUE(testnet::SendAll(peer, "hello", 5));
    ASSERT_TRUE(Pump([&] { return rec.received.size() == 5; }));
    EXPECT_EQ(rec.log, (std::vector<std::string>{"state 6 Receiving data.", "data 4"}));
    EXPECT_EQ(s.State(), CSocket::sckConnected);
    EXPECT_EQ(s.BytesReceived(), 4);
    nl::ByteArray a, b;
    s.GetData(a);
    s.GetData(b);
    EXPECT_EQ(std::string(a.data.begin(), a.data.end()), "hello");
    EXPECT_EQ(a, b);
    nl::Variant peek;
    s.PeekData(peek);
    ASSERT_TRUE(peek.IsBytes());
    EXPECT_EQ(peek.Bytes(), a);

    // A chunk of one byte is delivered too, with the count 0.
    ASSERT_TRUE(testnet::SendAll(peer, "x", 1));
    ASSERT_TRUE(Pump([&] { return rec.received.size() == 6; }));
    EXPECT_EQ(rec.log.back(), "data 0");
    EXPECT_EQ(rec.Count("state 6"), 1);
    EXPECT_EQ(s.BytesReceived(), 4);

    // The owner's close is complete when CloseSocket returns.
    rec.log.clear();
    s.CloseSocket();
    EXPECT_EQ(rec.log, (std::vector<std::string>{"state 0 Connection is closed", "close"}));
    EXPECT_EQ(s.SocketHandle(), -1);
    EXPECT_EQ(testnet::ReadToEnd(peer, 2000), "");
    s.CloseSocket();
    EXPECT_EQ(rec.closes, 1);
    testnet::Close(peer);
}

TEST_F(CSocketClient, ConnectByNameGoesThroughTheLookup) {
    s.Connect(nl::Variant("localhost"), nl::Variant(std::to_string(listener.port())));
    EXPECT_EQ(rec.log, std::vector<std::string>{"state 1 Resolving host name"});
    // The answer and the connection attempt's end may come in one turn of the
    // loop, so the wait is for the attempt's event rather than its passing state.
    ASSERT_TRUE(Pump([&] { return rec.Count("state 4") == 1; }));
    int peer = listener.Accept();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(Pump([&] { return rec.connects == 1; }));
    EXPECT_EQ(rec.log, (std::vector<std::string>{"state 1 Resolving host name", "state 2 Resolved the host name successfully",
                                                 "state 4 Connecting to the host.", "state 5 ", "connect"}));
    EXPECT_FALSE(s.RemoteHost().empty());
    EXPECT_EQ(s.RemoteHost(), testnet::OfficialName("localhost"));
    EXPECT_EQ(s.RemoteHostIP(), "127.0.0.1");
    EXPECT_EQ(s.RemotePort(), listener.port());
    // The answer is delivered once.
    Settle();
    EXPECT_EQ(rec.Count("state 2"), 1);
    // A finished look-up for a task this object is not waiting for changes nothing.
    rec.log.clear();
    s.PostGetHostEvent(987654, 0x0100007F, "elsewhere", 0);
    EXPECT_TRUE(rec.log.empty());
    EXPECT_EQ(s.RemoteHost(), testnet::OfficialName("localhost"));
    testnet::Close(peer);
}

TEST_F(CSocketClient, ALookUpOvertakenByADottedConnectIsStale) {
    const nl::Variant port(static_cast<std::int32_t>(listener.port()));
    s.Connect(nl::Variant("localhost"), port);
    s.Connect(nl::Variant("127.0.0.1"), port);
    int peer = listener.Accept();
    ASSERT_GE(peer, 0);
    ASSERT_TRUE(Pump([&] { return rec.connects == 1 && nl::MSocketSupport::PendingLookups() == 0; }));
    plat::PumpUntil([] { return false; }, 50);
    // The name's answer comes after the connection stands: it must not take the
    // object back to "resolved", re-aim it or report a second connect's refusal.
    EXPECT_EQ(rec.log, (std::vector<std::string>{"state 1 Resolving host name", "state 4 Connecting to host.",
                                                 "state 5 ", "connect"}));
    EXPECT_EQ(s.State(), CSocket::sckConnected);
    EXPECT_EQ(s.RemoteHost(), "127.0.0.1");
    EXPECT_EQ(rec.errors, 0);
    testnet::Close(peer);
}

TEST_F(CSocketClient, UnresolvableNameFailsFastWithItsOwnError) {
    auto start = std::chrono::steady_clock::now();
    s.Connect(nl::Variant("no-such-host.invalid"), nl::Variant(static_cast<std::int32_t>(listener.port())));
    ASSERT_TRUE(Pump([&] { return rec.errors == 1; }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(rec.log, (std::vector<std::string>{"state 1 Resolving host name", "state 3 Cannot resolve host name",
                                                 "error 10008"}));
    EXPECT_EQ(rec.lastErrorText, "Cannot resolve host name");
    EXPECT_EQ(rec.lastErrorSource, "POSTGETHOSTEVENT");
    // The handle stays open; closing it is immediate.
    EXPECT_NE(s.SocketHandle(), -1);
    s.CloseSocket();
    EXPECT_EQ(rec.closes, 1);
    EXPECT_EQ(s.SocketHandle(), -1);
}

TEST_F(CSocketClient, RefusedConnectionReportsTheErrorWithTheHandleGone) {
    s.Connect(nl::Variant("127.0.0.1"), nl::Variant(static_cast<std::int32_t>(testnet::ClosedPort())));
    ASSERT_TRUE(Pump([&] { return rec.errors == 1; }));
    EXPECT_EQ(rec.log, (std::vector<std::string>{"state 4 Connecting to host.", "state 8 Error occured!! Socket Error=10061",
                                                 "error 10061"}));
    EXPECT_EQ(rec.lastErrorText, "连接被拒绝，无法连接到服务器。");
    EXPECT_EQ(rec.lastErrorSource, "");
    EXPECT_EQ(rec.handleInError, -1);
    EXPECT_EQ(s.State(), CSocket::sckError);
    EXPECT_EQ(rec.closes, 0);
}
