// Plain blocking loopback peers for the socket tests: a listener on an ephemeral
// port of 127.0.0.1, connecting, sending and receiving with the system calls
// themselves, so that the layer under test talks to the real network stack.
#pragma once

#include <cstddef>
#include <string>

namespace testnet {

class Listener {
public:
    explicit Listener(int type = 1 /* stream */);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    int port() const { return port_; }
    int fd() const { return fd_; }
    // Waits at most timeoutMs for a connection; -1 on time-out.
    int Accept(int timeoutMs = 5000);

private:
    int fd_ = -1;
    int port_ = 0;
};

// A port on 127.0.0.1 where nothing listens (connections are refused).
int ClosedPort();
int ConnectTo(int port);
bool SendAll(int fd, const void* data, std::size_t size);
// Reads until the peer closes or timeoutMs passes.
std::string ReadToEnd(int fd, int timeoutMs = 5000);
// Reads exactly n bytes (less on close or time-out).
std::string ReadExactly(int fd, std::size_t n, int timeoutMs = 5000);
// Closes with a reset instead of an orderly close.
void CloseWithReset(int fd);
void Close(int fd);
void ShutdownSend(int fd);
void SetReceiveBuffer(int fd, int bytes);
// Ends the peers' own use of the socket service where the system counts its
// start-ups per process (Windows), so that a test's last clean-up ends the
// service as it would in a program without peers; the next peer call starts it
// again. No peer socket may be open. Nothing to do on POSIX.
void ReleasePeerService();
// What this machine's resolver says: the name of a dotted address (the address
// itself when it has none), and the official name of a host.
std::string ReverseName(const std::string& ip);
std::string OfficialName(const std::string& host);

}  // namespace testnet
