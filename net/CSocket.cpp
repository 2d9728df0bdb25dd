#include "net/CSocket.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <limits>
#include <utility>

#include "net/MSocketSupport.h"
#include "net/NetErrors.h"
#include "platform/Tls.h"
#include "platform/Window.h"
#include "platform/Winsock.h"
#include "support/ErrorReport.h"
#include "support/SupportErrors.h"

namespace nl {
namespace {

namespace ss = MSocketSupport;

const char* const kWrongState = "Wrong protocol or connection state for the requested transaction or request.";
constexpr std::int32_t kFallbackReceiveSize = 8192;
constexpr std::int32_t kFallbackDatagramSize = 65507;

plat::SOCKET ToSocket(std::int32_t handle) { return static_cast<plat::SOCKET>(static_cast<std::uint32_t>(handle)); }

// Calls a copy of the handler: the handler may destroy the object and with it
// the member.
template <typename Event, typename... Args>
void Call(const Event& event, Args&&... args) {
    if (!event) return;
    Event call = event;
    call(std::forward<Args>(args)...);
}

[[noreturn]] void RaiseSocketError(const char* source) {
    int code = plat::WSAGetLastError();
    Raise(code, source, ss::GetErrorDescription(code));
}

// Runs body and re-raises whatever it raises under source.
template <typename F>
void Relabel(const char* source, F&& body) {
    try {
        body();
    } catch (const RaisedError& e) {
        Raise(e.Number(), source, e.Description());
    }
}

// The port in network byte order; a port outside 0..65535 raises an overflow.
std::uint16_t NetPort(std::int32_t port) {
    auto v = static_cast<std::uint16_t>(ss::UnsignedToInteger(port));
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v & 0xFF)};
    std::uint16_t out;
    std::memcpy(&out, bytes, 2);
    return out;
}

std::int32_t HostPort(std::uint16_t netPort) {
    std::uint8_t bytes[2];
    std::memcpy(bytes, &netPort, 2);
    return (bytes[0] << 8) | bytes[1];
}

// Parses a dotted IPv4 address into network byte order.
bool ParseAddress(const std::string& text, std::uint32_t& address) {
    if (text.empty()) return false;
    address = plat::inet_addr(text.c_str());
    return address != plat::WS_INADDR_NONE || text == "255.255.255.255";
}

std::string Dotted(std::uint32_t address) { return plat::inet_ntoa(plat::IN_ADDR{address}); }

// The name a reverse look-up finds for the address, or the dotted address.
std::string NameOf(std::uint32_t address) {
    const plat::HOSTENT* he = plat::gethostbyaddr(reinterpret_cast<const char*>(&address), 4, plat::WS_AF_INET);
    if (he && he->h_name && *he->h_name) return he->h_name;
    return Dotted(address);
}

plat::SOCKADDR_IN MakeAddress(std::uint32_t address, std::int32_t port) {
    plat::SOCKADDR_IN sa{};
    sa.sin_family = plat::WS_AF_INET;
    sa.sin_port = NetPort(port);
    sa.sin_addr.S_addr = address;
    return sa;
}

const plat::SOCKADDR* AsAddr(const plat::SOCKADDR_IN& sa) { return reinterpret_cast<const plat::SOCKADDR*>(&sa); }

template <typename T>
void PutLittleEndian(std::vector<std::uint8_t>& out, T value) {
    using U = std::make_unsigned_t<T>;
    auto v = static_cast<U>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
}

// Parses a port given as text: optional blanks and sign, then digits only.
bool ParseNumber(const std::string& text, std::int64_t& value) {
    std::size_t i = 0, n = text.size();
    while (i < n && text[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == n) return false;
    std::int64_t v = 0;
    for (; i < n && text[i] != ' '; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        if (v > (std::int64_t{1} << 40)) return false;
        v = v * 10 + (text[i] - '0');
    }
    while (i < n && text[i] == ' ') ++i;
    if (i != n) return false;
    value = negative ? -v : v;
    return true;
}

}  // namespace

// ---- creation and destruction ----------------------------------------------------

CSocket::CSocket() { maxDatagramSize_ = ss::InitWinsockService(); }

CSocket::~CSocket() {
    life_.End();
    ss::DetachLookups(this);
    if (socketHandle_ != -1) {
        try {
            DestroySocket();
        } catch (const RaisedError&) {
            // Nothing to report to from here.
        }
    }
    ss::FinalizeWinsockService();
}

// ---- events ---------------------------------------------------------------------

template <typename Event, typename... Args>
bool CSocket::Fire(const Event& event, Args&&... args) {
    return life_.Fire([&] { Call(event, std::forward<Args>(args)...); });
}

template <typename Event, typename... Args>
bool CSocket::FireCurrent(const Event& event, Args&&... args) {
    return life_.FireCurrent([&] { Call(event, std::forward<Args>(args)...); });
}

bool CSocket::RaiseStateChange(std::int32_t state, const std::string& text) { return Fire(OnStateChange, state, text); }

bool CSocket::RaiseError(std::int32_t number, const std::string& description, const std::string& source) {
    std::string text = description;
    bool cancelDisplay = false;
    return Fire(OnError, number, text, std::int32_t{0}, source, std::string(), std::int32_t{0}, cancelDisplay);
}

// ---- properties -----------------------------------------------------------------

void CSocket::SetTimeOut(std::int32_t ms) {
    timeOut_ = ms;
    if (socketHandle_ == -1) return;
    plat::setsockopt(ToSocket(socketHandle_), plat::WS_SOL_SOCKET, plat::WS_SO_RCVTIMEO,
                     reinterpret_cast<const char*>(&ms), 4);
    plat::setsockopt(ToSocket(socketHandle_), plat::WS_SOL_SOCKET, plat::WS_SO_SNDTIMEO,
                     reinterpret_cast<const char*>(&ms), 4);
}

void CSocket::SetProtocol(std::int32_t protocol) {
    if (socketHandle_ == -1) protocol_ = protocol;
}

void CSocket::SetRemoteHost(const std::string& host) {
    Relabel("CSocket.RemoteHost", [&] {
        remoteHost_ = host;
        std::uint32_t address;
        if (!ParseAddress(host, address)) return;
        remoteHostIP_ = host;
        if (protocol_ != sckUDPProtocol || !EnsureSocket()) return;
        bool wantBroadcast = host.size() >= 4 && host.compare(host.size() - 4, 4, ".255") == 0;
        if (wantBroadcast == broadcast_) return;
        std::int32_t on = wantBroadcast ? 1 : 0;
        if (plat::setsockopt(ToSocket(socketHandle_), plat::WS_SOL_SOCKET, plat::WS_SO_BROADCAST,
                             reinterpret_cast<const char*>(&on), 4) != 0)
            RaiseSocketError("CSocket.RemoteHost");
        broadcast_ = wantBroadcast;
    });
}

// ---- handles --------------------------------------------------------------------

std::int32_t CSocket::vbSocket() {
    bool udp = protocol_ == sckUDPProtocol;
    plat::SOCKET s = plat::socket(plat::WS_AF_INET, udp ? plat::WS_SOCK_DGRAM : plat::WS_SOCK_STREAM,
                                  udp ? plat::WS_IPPROTO_UDP : plat::WS_IPPROTO_TCP);
    if (s == plat::WS_INVALID_SOCKET) return -1;
    auto handle = static_cast<std::int32_t>(s);
    if (!ss::RegisterSocket(handle, this)) {
        plat::closesocket(s);
        return -1;
    }
    return handle;
}

bool CSocket::EnsureSocket() {
    if (socketHandle_ != -1) return true;
    socketHandle_ = vbSocket();
    if (socketHandle_ == -1) return false;
    life_.Advance();
    ReadBufferSizes();
    return true;
}

void CSocket::EnsureSocketOrRaise() {
    if (socketHandle_ != -1) return;
    plat::WSASetLastError(0);
    LastError().Clear();
    if (EnsureSocket()) return;
    // The registration's own account comes first (its window could not be made,
    // or the event selection failed); otherwise the socket call's error.
    ErrorReport recorded = LastError();
    if (recorded.IsSet()) Raise(recorded.number, "", recorded.description);
    int code = plat::WSAGetLastError();
    if (code == 0) code = plat::WS_SYSCALLFAILURE;
    Raise(code, "", ss::GetErrorDescription(code));
}

void CSocket::ReadBufferSizes() {
    if (protocol_ == sckUDPProtocol) {
        receiveSize_ = maxDatagramSize_ > 0 ? maxDatagramSize_ : kFallbackDatagramSize;
        return;
    }
    const plat::SOCKET s = ToSocket(socketHandle_);
    auto bufferSize = [s] {
        std::int32_t size = 0;
        int len = 4;
        if (plat::getsockopt(s, plat::WS_SOL_SOCKET, plat::WS_SO_RCVBUF, reinterpret_cast<char*>(&size), &len) != 0)
            return std::int32_t{0};
        return size;
    };
    std::int32_t size = bufferSize();
    // Fewer, larger blocks where the system's buffer is small. Set before the
    // connection is made, so that the peer is offered the whole window; a
    // system that refuses the size keeps its own.
    const std::int32_t wanted = plat::PL_STREAM_RECEIVE_BUFFER;
    if (wanted > size &&
        plat::setsockopt(s, plat::WS_SOL_SOCKET, plat::WS_SO_RCVBUF, reinterpret_cast<const char*>(&wanted), 4) == 0)
        size = bufferSize();
    // A receive of 0 bytes would read as the peer's close.
    receiveSize_ = size > 0 ? size : kFallbackReceiveSize;
}

void CSocket::DestroySocket() {
    receiveBuffer_.length = 0;
    tls_.reset();
    secureReady_ = false;
    if (socketHandle_ == -1) return;
    ss::UnregisterSocket(socketHandle_);
    if (plat::closesocket(ToSocket(socketHandle_)) != 0) RaiseSocketError("CSocket.DestroySocket");
    socketHandle_ = -1;
    bound_ = false;
    broadcast_ = false;
    // A look-up still running for this connection has nothing left to act on.
    resolveTask_ = 0;
    ss::DetachLookups(this);
    life_.Advance();
}

// ---- connection set-up and tear-down -------------------------------------------

void CSocket::Connect(const Variant& host, const Variant& port) {
    Relabel("CSocket.CSocket.Connect", [&] {
        receiveNotified_ = false;
        // A socket that cannot be made is raised: no event would ever follow.
        EnsureSocketOrRaise();
        if (!host.IsEmpty()) {
            std::string text = host.ToText();
            if (!text.empty()) remoteHost_ = text;
        }
        std::int64_t number;
        if (port.IsInteger()) {
            remotePort_ = port.Integer();
        } else if (port.IsText() && ParseNumber(port.Text(), number)) {
            if (number < INT32_MIN || number > INT32_MAX) Raise(err::kOverflow, "", "Overflow");
            remotePort_ = static_cast<std::int32_t>(number);
        }
        if (remoteHost_.empty()) Raise(plat::WS_EADDRNOTAVAIL, "", ss::GetErrorDescription(plat::WS_EADDRNOTAVAIL));

        resolveAction_ = 0;
        // Whatever an earlier look-up of this object brings is stale from here on.
        resolveTask_ = 0;
        ss::DetachLookups(this);
        std::uint32_t address;
        if (!ParseAddress(remoteHost_, address)) {
            state_ = sckResolvingHost;
            if (!FireCurrent(OnStateChange, sckResolvingHost, "Resolving host name")) return;
            LastError().Clear();
            resolveTask_ = ss::ResolveHost(remoteHost_, this);
            if (resolveTask_ == 0) {
                ErrorReport recorded = LastError();
                DestroySocket();
                // Without a recorded cause the block for the result could not be had.
                if (!recorded.IsSet())
                    recorded = ErrorReport{plat::WS_ENOBUFS, "", ss::GetErrorDescription(plat::WS_ENOBUFS)};
                Raise(recorded.number, "", recorded.description);
            }
            return;
        }
        plat::SOCKADDR_IN sa = MakeAddress(address, remotePort_);
        if (plat::connect(ToSocket(socketHandle_), AsAddr(sa), sizeof sa) != 0) {
            int code = plat::WSAGetLastError();
            if (code != plat::WS_EWOULDBLOCK) Raise(code, "", ss::GetErrorDescription(code));
            state_ = sckConnecting;
            RaiseStateChange(sckConnecting, "Connecting to host.");
        }
    });
}

void CSocket::Bind(std::int32_t port, const std::string& address) {
    Relabel("CSocket.Bind", [&] {
        // A socket that cannot be made is raised: nothing would ever arrive.
        EnsureSocketOrRaise();
        if (!address.empty()) localIP_ = address;
        if (port > 0) localPort_ = port;
        std::uint32_t ip = plat::WS_INADDR_ANY;
        if (!localIP_.empty() && !ParseAddress(localIP_, ip))
            Raise(plat::WS_EADDRNOTAVAIL, "", ss::GetErrorDescription(plat::WS_EADDRNOTAVAIL));
        plat::SOCKADDR_IN sa = MakeAddress(ip, localPort_);
        if (plat::bind(ToSocket(socketHandle_), AsAddr(sa), sizeof sa) != 0) RaiseSocketError("");
        bound_ = true;
    });
}

void CSocket::Listen() {
    Relabel("CSocket.Listen", [&] {
        EnsureSocketOrRaise();
        if (!bound_) Bind(0, "");
        if (plat::listen(ToSocket(socketHandle_), 5) != 0) {
            state_ = sckError;
            RaiseSocketError("");
        }
    });
}

void CSocket::Accept(std::int32_t handle) {
    Relabel("CSocket.Accept", [&] {
        // The handle this object held is replaced: close it rather than leak it.
        if (socketHandle_ != -1 && socketHandle_ != handle) DestroySocket();
        socketHandle_ = handle;
        life_.Advance();
        plat::SOCKADDR_IN sa{};
        int len = sizeof sa;
        if (plat::getsockname(ToSocket(handle), reinterpret_cast<plat::SOCKADDR*>(&sa), &len) == 0) {
            localPort_ = HostPort(sa.sin_port);
            localIP_ = Dotted(sa.sin_addr.S_addr);
            localHostName_ = localIP_;
        }
        len = sizeof sa;
        if (plat::getpeername(ToSocket(handle), reinterpret_cast<plat::SOCKADDR*>(&sa), &len) == 0) {
            remotePort_ = HostPort(sa.sin_port);
            remoteHostIP_ = Dotted(sa.sin_addr.S_addr);
            remoteHost_ = remoteHostIP_;
        }
        std::int32_t type = 0;
        len = 4;
        if (plat::getsockopt(ToSocket(handle), plat::WS_SOL_SOCKET, plat::WS_SO_TYPE, reinterpret_cast<char*>(&type),
                             &len) == 0)
            protocol_ = type == plat::WS_SOCK_STREAM ? sckTCPProtocol : sckUDPProtocol;
        ReadBufferSizes();
        if (ss::RegisterSocket(handle, this)) {
            state_ = sckConnected;
            RaiseStateChange(sckConnected, "");
        }
    });
}

void CSocket::CloseSocket() {
    if (socketHandle_ == -1) return;
    try {
        if (state_ <= sckConnected) {
            DestroySocket();
            state_ = sckClosed;
            if (!RaiseStateChange(sckClosed, "Connection is closed")) return;
            Fire(OnClose);
            return;
        }
        state_ = sckClosing;
        if (!FireCurrent(OnStateChange, sckClosing, "Disconnecting the Connection")) return;
        if (plat::shutdown(ToSocket(socketHandle_), plat::WS_SD_SEND) != 0) RaiseSocketError("");
        // The close notification completes the close.
    } catch (const RaisedError& e) {
        if (e.Number() == plat::WS_ENOTSOCK) return;
        Raise(e.Number(), "CSocket.Close", e.Description());
    }
}

// ---- notifications --------------------------------------------------------------

void CSocket::PostSocketEvent(std::int32_t event, std::int32_t error) {
    Relabel("CSocket.PostSocketEvent", [&] {
        if (error > 0) {
            state_ = sckError;
            if (!FireCurrent(OnStateChange, sckError, "Error occured!! Socket Error=" + std::to_string(error)))
                return;
            DestroySocket();
            RaiseError(error, ss::GetErrorDescription(error), "");
            return;
        }
        switch (event) {
            case plat::WS_FD_READ: HandleRead(); break;
            case plat::WS_FD_WRITE: HandleWrite(); break;
            case plat::WS_FD_ACCEPT: HandleAccept(); break;
            case plat::WS_FD_CONNECT: HandleConnect(); break;
            case plat::WS_FD_CLOSE: HandleClose(); break;
            default: break;
        }
    });
}

void CSocket::PostGetHostEvent(std::uintptr_t task, std::uint32_t address, const std::string& name,
                               std::int32_t error) {
    Relabel("CSocket.PostGetHostEvent", [&] {
        if (error > 0 || task == 0) {
            state_ = sckResolveFailed;
            if (!RaiseStateChange(sckResolveFailed, "Cannot resolve host name")) return;
            RaiseError(err::kSocketHostNotResolved, "Cannot resolve host name", "POSTGETHOSTEVENT");
            return;
        }
        if (task != resolveTask_) return;
        state_ = sckHostResolved;
        if (!FireCurrent(OnStateChange, sckHostResolved, "Resolved the host name successfully")) return;
        remoteHost_ = name;
        remoteHostIP_ = Dotted(address);
        if (resolveAction_ == 0) {
            plat::SOCKADDR_IN sa = MakeAddress(address, remotePort_);
            if (plat::connect(ToSocket(socketHandle_), AsAddr(sa), sizeof sa) != 0) {
                int code = plat::WSAGetLastError();
                if (code == plat::WS_EWOULDBLOCK) {
                    state_ = sckConnecting;
                    RaiseStateChange(sckConnecting, "Connecting to the host.");
                } else {
                    RaiseError(code, ss::GetErrorDescription(code), "CSocket.PostGetHostEvent");
                }
            }
        } else if (resolveAction_ == 1) {
            SendBufferedData();
        }
    });
}

bool CSocket::HandleConnect() {
    plat::SOCKADDR_IN sa{};
    int len = sizeof sa;
    if (plat::getsockname(ToSocket(socketHandle_), reinterpret_cast<plat::SOCKADDR*>(&sa), &len) == 0) {
        localPort_ = HostPort(sa.sin_port);
        localIP_ = Dotted(sa.sin_addr.S_addr);
        localHostName_ = NameOf(sa.sin_addr.S_addr);
    }
    state_ = sckConnected;
    if (!FireCurrent(OnStateChange, sckConnected, "")) return false;
    if (!secureHost_.empty()) return BeginHandshake();
    return FireCurrent(OnConnect);
}

// ---- TLS ------------------------------------------------------------------------

void CSocket::Secure(const std::string& host, const std::string& caFile) {
    Relabel("CSocket.Secure", [&] {
        secureHost_ = host;
        secureCaFile_ = caFile;
        if (secureHost_.empty()) secureHost_ = remoteHost_;
        if (socketHandle_ != -1 && state_ == sckConnected) BeginHandshake();
    });
}

bool CSocket::BeginHandshake() {
    tls_ = std::make_unique<plat::TlsClient>(secureHost_, secureCaFile_);
    secureReady_ = false;
    return AdvanceHandshake();
}

bool CSocket::AdvanceHandshake() {
    const plat::TlsClient::Step step = tls_->Handshake();
    if (step == plat::TlsClient::Step::Failed) return FailSecure(tls_->Problem());
    FlushWire();
    if (step == plat::TlsClient::Step::Pending) return true;
    secureReady_ = true;
    return FireCurrent(OnConnect);
}

bool CSocket::FailSecure(std::string reason) {
    // Like a socket error: the handle goes, then the owner hears why.
    state_ = sckError;
    if (!FireCurrent(OnStateChange, sckError, "Error occured!! " + reason)) return false;
    const std::string host = secureHost_;
    DestroySocket();
    RaiseError(err::kSocketSecureRefused, "Secure connection to " + host + " refused: " + reason, "CSocket.Secure");
    return false;
}

void CSocket::FlushWire() {
    std::vector<std::uint8_t>& wire = tls_->Outgoing();
    std::size_t sent = 0;
    while (sent < wire.size()) {
        const std::size_t left = wire.size() - sent;
        const int len = left > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(left);
        const int n = plat::send(ToSocket(socketHandle_), reinterpret_cast<const char*>(wire.data() + sent), len, 0);
        if (n < 0) {
            if (plat::WSAGetLastError() == plat::WS_EWOULDBLOCK) break;  // FD_WRITE resumes
            wire.erase(wire.begin(), wire.begin() + static_cast<std::ptrdiff_t>(sent));
            RaiseSocketError("CSocket.SendData");
        }
        sent += static_cast<std::size_t>(n);
    }
    wire.erase(wire.begin(), wire.begin() + static_cast<std::ptrdiff_t>(sent));
}

bool CSocket::RecvSecure(std::int32_t& raw, std::int32_t& plain) {
    raw = 0;
    plain = 0;
    if (!receiveNotified_) {
        receiveNotified_ = true;
        if (!FireCurrent(OnStateChange, sckReceiving, "Receiving data.")) return false;
    }
    auto size = static_cast<std::size_t>(std::min(receiveSize_ > 0 ? receiveSize_ : kFallbackReceiveSize,
                                                  std::int32_t{plat::PL_SECURE_RECEIVE_SIZE}));
    if (spare_.capacity < size) {
        spare_.data = std::make_unique_for_overwrite<std::uint8_t[]>(size);
        spare_.capacity = size;
    }
    const int n = plat::recv(ToSocket(socketHandle_), reinterpret_cast<char*>(spare_.data.get()), static_cast<int>(size), 0);
    if (n < 0) {
        if (plat::WSAGetLastError() == plat::WS_EWOULDBLOCK) {
            raw = -1;
            return true;
        }
        RaiseSocketError("CSocket.RecvToBuffer");
    }
    raw = n;
    if (n == 0) return true;
    tls_->Received(spare_.data.get(), static_cast<std::size_t>(n));
    if (!secureReady_) return AdvanceHandshake();
    plain_.clear();
    if (!tls_->Open(plain_)) return FailSecure(tls_->Problem());
    FlushWire();
    if (plain_.empty()) return true;
    if (receiveBuffer_.capacity < plain_.size()) {
        receiveBuffer_.data = std::make_unique_for_overwrite<std::uint8_t[]>(plain_.size());
        receiveBuffer_.capacity = plain_.size();
    }
    std::memcpy(receiveBuffer_.data.get(), plain_.data(), plain_.size());
    receiveBuffer_.length = plain_.size();
    plain = static_cast<std::int32_t>(std::min<std::size_t>(plain_.size(), INT32_MAX));
    return true;
}

bool CSocket::HandleAccept() {
    plat::SOCKADDR_IN sa{};
    int len = sizeof sa;
    plat::SOCKET s = plat::accept(ToSocket(socketHandle_), reinterpret_cast<plat::SOCKADDR*>(&sa), &len);
    // A failed accept has no connection to offer; the next FD_ACCEPT brings one.
    if (s == plat::WS_INVALID_SOCKET) return true;
    return FireCurrent(OnConnectionRequest, static_cast<std::int32_t>(s));
}

bool CSocket::HandleClose() {
    // Everything the peer sent before it finished is delivered first.
    while (tls_) {
        std::int32_t raw = 0, plain = 0;
        if (!RecvSecure(raw, plain)) return false;
        if (plain > 0 && !FireCurrent(OnDataArrival, plain - 1)) return false;
        if (raw > 0) continue;
        // A peer that closes in the middle of the handshake has refused it.
        if (!secureReady_) return FailSecure("the server ended the handshake");
        break;
    }
    for (;;) {
        if (tls_) break;
        std::int32_t received = 0;
        if (!RecvToBuffer(received)) return false;
        if (received <= 0) break;
        if (!FireCurrent(OnDataArrival, received - 1)) return false;
    }
    if (state_ != sckClosing) {
        state_ = sckClosing;
        if (!FireCurrent(OnStateChange, sckClosing, "Closing the connection")) return false;
        if (sendOffset_ < sendBuffer_.size() && !SendBufferedData()) return false;
    }
    DestroySocket();
    state_ = sckClosed;
    if (!RaiseStateChange(sckClosed, "Connectin is closed")) return false;
    return Fire(OnClose);
}

// ---- receiving ------------------------------------------------------------------

bool CSocket::RecvToBuffer(std::int32_t& received) {
    received = 0;
    if (!receiveNotified_) {
        receiveNotified_ = true;
        if (!FireCurrent(OnStateChange, sckReceiving, "Receiving data.")) return false;
    }
    auto size = static_cast<std::size_t>(receiveSize_ > 0 ? receiveSize_ : kFallbackReceiveSize);
    int n;
    if (protocol_ == sckUDPProtocol) {
        // A datagram goes to the spare block, which takes the chunk's place only
        // when something arrived.
        if (spare_.capacity < size) {
            spare_.data = std::make_unique_for_overwrite<std::uint8_t[]>(size);
            spare_.capacity = size;
        }
        plat::SOCKADDR_IN from{};
        int len = sizeof from;
        n = plat::recvfrom(ToSocket(socketHandle_), reinterpret_cast<char*>(spare_.data.get()), static_cast<int>(size),
                           0, reinterpret_cast<plat::SOCKADDR*>(&from), &len);
        if (n >= 0) {
            remotePort_ = HostPort(from.sin_port);
            remoteHostIP_ = Dotted(from.sin_addr.S_addr);
            remoteHost_ = NameOf(from.sin_addr.S_addr);
        }
        if (n > 0) {
            spare_.length = static_cast<std::size_t>(n);
            std::swap(receiveBuffer_, spare_);
        }
    } else {
        // A stream receive writes nothing unless it brings data, so it can go
        // straight into the chunk's own block.
        if (receiveBuffer_.capacity < size) {
            auto grown = std::make_unique_for_overwrite<std::uint8_t[]>(size);
            if (receiveBuffer_.length) std::memcpy(grown.get(), receiveBuffer_.data.get(), receiveBuffer_.length);
            receiveBuffer_.data = std::move(grown);
            receiveBuffer_.capacity = size;
        }
        n = plat::recv(ToSocket(socketHandle_), reinterpret_cast<char*>(receiveBuffer_.data.get()),
                       static_cast<int>(size), 0);
        if (n > 0) receiveBuffer_.length = static_cast<std::size_t>(n);
    }
    if (n < 0) {
        // A read notice may find the data already taken (Windows says so of
        // WSAAsyncSelect): nothing to deliver, and the next notice comes with data.
        if (plat::WSAGetLastError() == plat::WS_EWOULDBLOCK) return true;
        RaiseSocketError("CSocket.RecvToBuffer");
    }
    received = n;
    return true;
}

bool CSocket::HandleRead() {
    if (tls_) {
        std::int32_t raw = 0, plain = 0;
        if (!RecvSecure(raw, plain)) return false;
        if (plain <= 0) return true;
        // The reply can overtake the posted completion of the request (Wine
        // delivers the read notice first): the request was all sent by then.
        if (sendPending_ && sendBuffer_.empty() && tls_->Outgoing().empty()) {
            sendPending_ = false;
            if (!FireCurrent(OnSendComplete)) return false;
        }
        std::int64_t total = std::int64_t{bytesReceived_} + (plain - 1);
        bytesReceived_ =
            static_cast<std::int32_t>(std::min<std::int64_t>(total, std::numeric_limits<std::int32_t>::max()));
        return Fire(OnDataArrival, plain - 1);
    }
    std::int32_t received = 0;
    if (!RecvToBuffer(received)) return false;
    if (received <= 0) return true;
    // One less than the chunk's length: the owner adds one. A one-byte chunk is
    // announced with 0 like any other.
    std::int32_t count = received - 1;
    // The running total stops at its largest value; the data keeps flowing.
    std::int64_t total = std::int64_t{bytesReceived_} + count;
    bytesReceived_ = static_cast<std::int32_t>(std::min<std::int64_t>(total, std::numeric_limits<std::int32_t>::max()));
    return Fire(OnDataArrival, count);
}

void CSocket::GetData(ByteArray& destination) const {
    try {
        destination.data.assign(receiveBuffer_.data.get(), receiveBuffer_.data.get() + receiveBuffer_.length);
        destination.lbound = 0;
    } catch (const std::exception& e) {
        Raise(err::kOutOfMemory, "CSocket.GetData", e.what());
    }
}

void CSocket::GetData(std::string& destination) const {
    try {
        destination.assign(reinterpret_cast<const char*>(receiveBuffer_.data.get()), receiveBuffer_.length);
    } catch (const std::exception& e) {
        Raise(err::kOutOfMemory, "CSocket.GetData", e.what());
    }
}

void CSocket::PeekData(Variant& destination) const {
    try {
        ByteArray bytes;
        bytes.data.assign(receiveBuffer_.data.get(), receiveBuffer_.data.get() + receiveBuffer_.length);
        destination = Variant(std::move(bytes));
    } catch (const std::exception& e) {
        Raise(err::kOutOfMemory, "CSocket.PeekData", e.what());
    }
}

// ---- sending --------------------------------------------------------------------

void CSocket::SendData(const Variant& data) {
    std::vector<std::uint8_t> bytes;
    switch (data.kind()) {
        case Variant::Kind::Text: bytes.assign(data.Text().begin(), data.Text().end()); break;
        case Variant::Kind::Bytes: bytes = data.Bytes().data; break;
        case Variant::Kind::Int16: PutLittleEndian(bytes, static_cast<std::int16_t>(data.Integer())); break;
        case Variant::Kind::Int32: PutLittleEndian(bytes, data.Integer()); break;
        case Variant::Kind::Bool: PutLittleEndian(bytes, static_cast<std::int16_t>(data.Bool() ? -1 : 0)); break;
        case Variant::Kind::Empty: break;
    }
    QueueBytes(std::move(bytes));
}

void CSocket::SendData(Byte data) { QueueBytes({data.value}); }

void CSocket::SendData(Single data) {
    std::vector<std::uint8_t> bytes;
    PutLittleEndian(bytes, std::bit_cast<std::uint32_t>(data.value));
    QueueBytes(std::move(bytes));
}

void CSocket::SendData(Double data) {
    std::vector<std::uint8_t> bytes;
    PutLittleEndian(bytes, std::bit_cast<std::uint64_t>(data.value));
    QueueBytes(std::move(bytes));
}

void CSocket::SendData(Currency data) {
    std::vector<std::uint8_t> bytes;
    PutLittleEndian(bytes, data.scaled);
    QueueBytes(std::move(bytes));
}

void CSocket::SendData(Date data) {
    std::vector<std::uint8_t> bytes;
    PutLittleEndian(bytes, std::bit_cast<std::uint64_t>(data.oaDate));
    QueueBytes(std::move(bytes));
}

void CSocket::QueueBytes(std::vector<std::uint8_t> bytes) {
    try {
        if (protocol_ != sckUDPProtocol && socketHandle_ == -1) Raise(err::kSocketWrongState, "", kWrongState);
        // A datagram with no socket to carry it is not dropped without a word.
        if (protocol_ == sckUDPProtocol) EnsureSocketOrRaise();
        // Nothing to send: nothing is queued and nothing is raised.
        if (bytes.empty()) return;
        sendBuffer_ = std::move(bytes);
        sendOffset_ = 0;
        sendPending_ = true;
        SendBufferedData();
    } catch (const RaisedError& e) {
        if (e.Number() == plat::WS_ENOTSOCK) Raise(err::kSocketWrongState, "CSocket.SendData", kWrongState);
        Raise(e.Number(), "CSocket.SendData", e.Description());
    }
}

bool CSocket::SendBufferedData() {
    sendPending_ = true;
    std::size_t waiting = sendBuffer_.size() - sendOffset_;
    if (tls_) {
        // The session takes all of it at once; completion waits until the
        // network has taken the last encrypted byte.
        if (!secureReady_) Raise(err::kSocketWrongState, "CSocket.SendData", kWrongState);
        const bool sealed = tls_->Seal(sendBuffer_.data() + sendOffset_, waiting);
        sendBuffer_.clear();
        sendOffset_ = 0;
        if (!sealed) return FailSecure(tls_->Problem());
        FlushWire();
        if (tls_->Outgoing().empty())
            plat::PostMessageA(ss::WinsockWindow(), ss::WinsockMessage(), static_cast<plat::WPARAM>(socketHandle_),
                               plat::MakeLong(static_cast<std::uint16_t>(plat::WS_FD_WRITE), 0));
        return FireCurrent(OnSendProgress, static_cast<std::int32_t>(std::min<std::size_t>(waiting, INT32_MAX)),
                           std::int32_t{0});
    }
    const char* data = reinterpret_cast<const char*>(sendBuffer_.data()) + sendOffset_;
    int len = waiting > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(waiting);
    int sent;
    if (protocol_ != sckUDPProtocol) {
        sent = plat::send(ToSocket(socketHandle_), data, len, 0);
    } else if (!remoteHostIP_.empty()) {
        std::uint32_t address = plat::inet_addr(remoteHostIP_.c_str());
        plat::SOCKADDR_IN sa = MakeAddress(address, remotePort_);
        sent = plat::sendto(ToSocket(socketHandle_), data, len, 0, AsAddr(sa), sizeof sa);
    } else {
        // The datagram waits for the look-up of its destination.
        resolveAction_ = 1;
        resolveTask_ = ss::ResolveHost(remoteHost_, this);
        sent = 0;
    }
    if (sent < 0) {
        int code = plat::WSAGetLastError();
        if (code == plat::WS_EWOULDBLOCK) return true;  // the next FD_WRITE resumes
        Raise(code, "CSocket.SendData", ss::GetErrorDescription(code));
    }
    auto taken = static_cast<std::size_t>(sent);
    if (taken < waiting) {
        sendOffset_ += taken;
        // The network took part of the data. FD_WRITE follows only a send that
        // would block, not one that took less than offered: the rest is offered
        // again through the message queue, and a send that would block then has
        // the system tell when there is room.
        if (protocol_ != sckUDPProtocol)
            plat::PostMessageA(ss::WinsockWindow(), ss::WinsockMessage(), static_cast<plat::WPARAM>(socketHandle_),
                               plat::MakeLong(static_cast<std::uint16_t>(plat::WS_FD_WRITE), 0));
    } else {
        sendBuffer_.clear();
        sendOffset_ = 0;
        // Completion always comes through the message queue.
        plat::PostMessageA(ss::WinsockWindow(), ss::WinsockMessage(), static_cast<plat::WPARAM>(socketHandle_),
                          plat::MakeLong(static_cast<std::uint16_t>(plat::WS_FD_WRITE), 0));
    }
    return FireCurrent(OnSendProgress, static_cast<std::int32_t>(taken),
                       static_cast<std::int32_t>(sendBuffer_.size() - sendOffset_));
}

bool CSocket::HandleWrite() {
    if (tls_) {
        FlushWire();
        if (!tls_->Outgoing().empty()) return true;
    }
    if (sendOffset_ < sendBuffer_.size()) return SendBufferedData();
    if (!sendPending_) return true;
    sendPending_ = false;
    return Fire(OnSendComplete);
}

}  // namespace nl
