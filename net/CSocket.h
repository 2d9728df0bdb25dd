// One TCP or UDP endpoint driven by window messages: the owner sets the remote host
// and port, calls Connect, sends with SendData, hears of arriving data through
// OnDataArrival and reads it with GetData, and learns of every change through
// OnStateChange, OnError and OnClose. Nothing blocks and nothing polls; the
// platform's notifications reach the object through MSocketSupport as calls of
// PostSocketEvent and PostGetHostEvent.
//
// Events are raised synchronously on the user-interface thread. A handler may call
// any method, including CloseSocket, and may destroy the object; the object then
// stops at once and touches nothing of itself afterwards.
//
// Errors are raised as nl::RaisedError with the number, source and description of
// the failure; failures that happen asynchronously reach the owner through OnError.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/Liveness.h"
#include "support/Variant.h"

namespace plat {
class TlsClient;
}

namespace nl {

class CSocket {
public:
    // State codes (State() and the first argument of OnStateChange).
    enum : std::int32_t {
        sckClosed = 0,
        sckResolvingHost = 1,
        sckHostResolved = 2,
        sckResolveFailed = 3,
        sckConnecting = 4,
        sckConnected = 5,
        sckReceiving = 6,  // raised once per connection attempt; State() stays 5
        sckClosing = 7,
        sckError = 8,
    };
    enum : std::int32_t { sckTCPProtocol = 0, sckUDPProtocol = 1 };

    // Kinds of data SendData takes besides what a Variant holds (text, byte array,
    // 16- and 32-bit integers, Boolean).
    struct Byte { std::uint8_t value; };
    struct Single { float value; };
    struct Double { double value; };
    struct Currency { std::int64_t scaled; };  // the amount times 10000
    struct Date { double oaDate; };             // days since 30 December 1899

    // Starts the socket service; a start-up failure is raised.
    CSocket();
    ~CSocket();
    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    // ---- properties -------------------------------------------------------
    // Receive and send time-out in milliseconds, applied at once to the current
    // handle (a handle created later does not get it).
    std::int32_t TimeOut() const { return timeOut_; }
    void SetTimeOut(std::int32_t ms);
    std::int32_t State() const { return state_; }
    std::int32_t SocketHandle() const { return socketHandle_; }
    std::int32_t RemotePort() const { return remotePort_; }
    void SetRemotePort(std::int32_t port) { remotePort_ = port; }
    const std::string& RemoteHostIP() const { return remoteHostIP_; }
    const std::string& RemoteHost() const { return remoteHost_; }
    void SetRemoteHost(const std::string& host);
    std::int32_t Protocol() const { return protocol_; }
    void SetProtocol(std::int32_t protocol);  // ignored while a handle exists
    std::int32_t LocalPort() const { return localPort_; }
    void SetLocalPort(std::int32_t port) { localPort_ = port; }
    const std::string& LocalIP() const { return localIP_; }
    const std::string& LocalHostName() const { return localHostName_; }
    // Running total of receive counts (each one less than its chunk's length); it
    // stays at 2147483647 once it gets there.
    std::int32_t BytesReceived() const { return bytesReceived_; }

    // ---- methods ----------------------------------------------------------
    // Queues data (replacing whatever of an earlier SendData is still unsent) and
    // starts sending. Text goes out as its bytes; integers, Booleans and floating
    // values little-endian. Empty data queues nothing and raises nothing. A
    // datagram object makes its socket first; one that cannot be made is raised.
    void SendData(const Variant& data);
    void SendData(Byte data);
    void SendData(Single data);
    void SendData(Double data);
    void SendData(Currency data);
    void SendData(Date data);

    // Copies the most recent chunk; the chunk stays until the next receive.
    void GetData(ByteArray& destination) const;
    void GetData(std::string& destination) const;
    // The same chunk as a byte-array value.
    void PeekData(Variant& destination) const;

    // Binds first when not bound. A socket that cannot be made is raised, here
    // and in Bind.
    void Listen();
    // Host (used when present and not empty) and port (used when present and
    // numeric, as an integer or a text of digits) are optional. A socket that
    // cannot be made (no descriptors left, the service down) is raised.
    void Connect(const Variant& host = Variant(), const Variant& port = Variant());
    void CloseSocket();
    void Bind(std::int32_t port, const std::string& address);
    // Takes over an incoming connection announced by OnConnectionRequest. A handle
    // the object held before is closed first.
    void Accept(std::int32_t handle);

    // Secures the stream with TLS for host (the name or address its certificate
    // must be for), trusting caFile's certificates besides the system's. Asked
    // before Connect, the handshake follows the connection; asked on a connected
    // socket (a proxy's tunnel), it starts at once. Either way OnConnect is raised
    // once the peer has passed its checks, and from then on SendData, GetData and
    // OnDataArrival carry plaintext. A refused peer ends the connection with
    // OnError(kSocketSecureRefused) naming the host and the reason.
    void Secure(const std::string& host, const std::string& caFile);
    bool Secured() const { return secureHost_.size() > 0; }

    // Creates and registers a new socket of the current protocol; -1 on failure.
    std::int32_t vbSocket();

    // ---- called by MSocketSupport ----------------------------------------------
    void PostSocketEvent(std::int32_t event, std::int32_t error);
    void PostGetHostEvent(std::uintptr_t task, std::uint32_t address, const std::string& name,
                          std::int32_t error);

    // ---- events -----------------------------------------------------------
    std::function<void(std::int32_t state, const std::string& text)> OnStateChange;
    std::function<void()> OnClose;
    std::function<void()> OnConnect;
    std::function<void(std::int32_t handle)> OnConnectionRequest;
    // count = bytes in the chunk minus one; GetData returns the chunk.
    std::function<void(std::int32_t count)> OnDataArrival;
    std::function<void(std::int32_t number, std::string& description, std::int32_t scode,
                       const std::string& source, const std::string& helpFile, std::int32_t helpContext,
                       bool& cancelDisplay)>
        OnError;
    std::function<void()> OnSendComplete;
    std::function<void(std::int32_t sent, std::int32_t waiting)> OnSendProgress;

private:
    // One received chunk; the storage is kept between receives and never cleared
    // byte by byte.
    struct Chunk {
        std::unique_ptr<std::uint8_t[]> data;
        std::size_t capacity = 0;
        std::size_t length = 0;
    };

    // The private steps return false when the object was destroyed, or its handle
    // closed or replaced, by an event handler: the caller then stops at once.
    bool EnsureSocket();
    // EnsureSocket for a caller that waits for events: a failure is raised.
    void EnsureSocketOrRaise();
    void ReadBufferSizes();
    bool RecvToBuffer(std::int32_t& received);  // bytes received, 0 = peer closed
    void DestroySocket();
    bool SendBufferedData();

    void QueueBytes(std::vector<std::uint8_t> bytes);
    bool HandleRead();
    bool HandleWrite();
    bool HandleAccept();
    bool HandleConnect();
    bool HandleClose();

    // TLS: receives once into the session (raw: bytes from the network, 0 when
    // the peer closed) and puts what it decrypts into the chunk (plain, 0 none).
    bool RecvSecure(std::int32_t& raw, std::int32_t& plain);
    bool BeginHandshake();
    bool AdvanceHandshake();
    // Sends what the session has to send until the network would block.
    void FlushWire();
    bool FailSecure(std::string reason);  // a copy: the session that says why goes first

    // Raisers: Fire returns whether the object still exists, FireCurrent whether
    // it also still holds the handle it held before the event.
    bool RaiseStateChange(std::int32_t state, const std::string& text);
    bool RaiseError(std::int32_t number, const std::string& description, const std::string& source);
    template <typename Event, typename... Args>
    bool Fire(const Event& event, Args&&... args);
    template <typename Event, typename... Args>
    bool FireCurrent(const Event& event, Args&&... args);

    std::int32_t resolveAction_ = 0;
    bool receiveNotified_ = false;
    std::int32_t protocol_ = sckTCPProtocol;
    std::int32_t state_ = sckClosed;
    std::int32_t bytesReceived_ = 0;
    std::string localHostName_;
    std::string localIP_;
    std::int32_t localPort_ = 0;
    std::string remoteHost_;
    std::string remoteHostIP_;
    std::int32_t remotePort_ = 0;
    std::int32_t socketHandle_ = -1;
    std::uintptr_t resolveTask_ = 0;
    std::vector<std::uint8_t> sendBuffer_;
    std::size_t sendOffset_ = 0;  // bytes of sendBuffer_ already taken
    Chunk receiveBuffer_;
    Chunk spare_;  // a datagram is received here and swapped in when it brings data
    std::int32_t receiveSize_ = 0;
    std::int32_t maxDatagramSize_ = 0;
    bool bound_ = false;
    bool sendPending_ = false;
    bool broadcast_ = false;
    std::int32_t timeOut_ = 0;

    std::string secureHost_;
    std::string secureCaFile_;
    std::unique_ptr<plat::TlsClient> tls_;  // the session of the current connection
    bool secureReady_ = false;
    std::vector<std::uint8_t> plain_;

    // Ends when the object is destroyed. Its epoch advances with every handle
    // change, so that a loop can tell that a handler closed the connection (or
    // opened another) under it.
    Liveness life_;
};

}  // namespace nl
