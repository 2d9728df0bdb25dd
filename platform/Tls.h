// The client side of a TLS session, kept apart from the socket that carries it:
// the owner hands over what arrived from the network, sends what the session has
// to send, and asks for the handshake's progress or the plaintext that is there.
// Nothing here blocks or waits, so the session runs on the same read and write
// notifications as a plain connection.
//
// The peer is always verified: its chain must lead to a root the system trusts
// (or one of the certificates of caFile), its certificate must be for the host
// (a name or a dotted address), and the protocol must be TLS 1.2 or later. A name
// is sent as the server name indication. The cryptography and the certificate
// checks are the system's: OpenSSL's libssl on Linux, SChannel and the chain
// engine on Windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace plat {

class TlsClient {
public:
    enum class Step { Pending, Ready, Failed };

    // The reasons a session is refused, in the words Problem() uses.
    static const char* const kExpired;        // "certificate has expired"
    static const char* const kWrongHost;      // "certificate is for another host"
    static const char* const kSelfSigned;     // "certificate is self-signed"
    static const char* const kUntrusted;      // "certificate is not from a trusted authority"
    static const char* const kOldProtocol;    // "the server offers no TLS 1.2 or later"

    // caFile: empty, or a PEM file of certificates trusted besides the system's.
    // A file that cannot be read fails the first Handshake().
    TlsClient(const std::string& host, const std::string& caFile);
    ~TlsClient();
    TlsClient(const TlsClient&) = delete;
    TlsClient& operator=(const TlsClient&) = delete;

    // Bytes that arrived from the network.
    void Received(const std::uint8_t* data, std::size_t n);
    // Advances the handshake with what has arrived; Ready once the peer has
    // passed every check. What arrived beyond the handshake stays for Open.
    Step Handshake();
    // Encrypts plaintext into Outgoing(); false when the session has failed.
    bool Seal(const std::uint8_t* data, std::size_t n);
    // Appends the plaintext that has arrived whole; false when the session has
    // failed (Problem() says why).
    bool Open(std::vector<std::uint8_t>& plain);
    // Bytes to be sent to the network, in order; the owner removes what it sent.
    std::vector<std::uint8_t>& Outgoing();
    // Why the session failed: one of the reasons above or the system's own words.
    const std::string& Problem() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace plat
