#include "tests/common/NetPeer.h"

#include <algorithm>
#include <chrono>

#include "tests/common/LoopbackSocket.h"

namespace testnet {

namespace loopback = testutil::loopback;

namespace {

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool WaitReadable(int fd, long long deadline) {
    const long long left = deadline - NowMs();
    return left > 0 && loopback::Readable(fd, static_cast<int>(left));
}

// Reads until n bytes came, the peer closed or the deadline passed.
std::string Read(int fd, std::size_t n, int timeoutMs) {
    std::string out;
    const long long deadline = NowMs() + timeoutMs;
    char buf[65536];
    while (out.size() < n && WaitReadable(fd, deadline)) {
        long r = loopback::Receive(fd, buf, std::min(sizeof buf, n - out.size()));
        if (r <= 0) break;
        out.append(buf, static_cast<std::size_t>(r));
    }
    return out;
}

}  // namespace

Listener::Listener(int type) : fd_(loopback::Bound(type == 1, 16)), port_(loopback::BoundPort(fd_)) {}

Listener::~Listener() {
    if (fd_ >= 0) loopback::Close(fd_);
}

int Listener::Accept(int timeoutMs) {
    if (!WaitReadable(fd_, NowMs() + timeoutMs)) return -1;
    return loopback::Accept(fd_);
}

int ClosedPort() {
    const int s = loopback::Bound(true);
    const int port = loopback::BoundPort(s);
    loopback::Close(s);
    return port;
}

int ConnectTo(int port) { return loopback::Connect(port); }

bool SendAll(int fd, const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        long n = loopback::Send(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string ReadExactly(int fd, std::size_t n, int timeoutMs) { return Read(fd, n, timeoutMs); }
std::string ReadToEnd(int fd, int timeoutMs) { return Read(fd, std::string::npos, timeoutMs); }

void CloseWithReset(int fd) { loopback::CloseWithReset(fd); }
void Close(int fd) { loopback::Close(fd); }
void ShutdownSend(int fd) { loopback::ShutdownSend(fd); }
void SetReceiveBuffer(int fd, int bytes) { loopback::SetReceiveBuffer(fd, bytes); }

}  // namespace testnet
