// The socket layer's own error numbers. Everything else it reports is a Windows
// Sockets number passed through unchanged (plat::WS_* in platform/Winsock.h).
// Two of these share a number with something else: 10004 is also WS_EINTR, and
// 10008 is also the download control's idle time-out; a caller that must tell
// them apart looks at who reported the error, not at the number alone.
#pragma once

#include <cstdint>

namespace nl::err {

// "Wrong protocol or connection state for the requested transaction or request.":
// a stream send without a connection.
constexpr std::int32_t kSocketWrongState = 40006;
// "Cannot resolve host name": a host-name look-up failed (raised through OnError
// with the source "POSTGETHOSTEVENT"; the platform's own code is not passed on).
constexpr std::int32_t kSocketHostNotResolved = 10008;
// "The operation was canceled.": the hidden message window could not be made, so
// a socket cannot be registered.
constexpr std::int32_t kSocketNoWindow = 10004;
// "Secure connection to HOST refused: REASON": the TLS peer failed a check (its
// chain, its host name, its protocol version) or broke the protocol.
constexpr std::int32_t kSocketSecureRefused = 40020;

}  // namespace nl::err
