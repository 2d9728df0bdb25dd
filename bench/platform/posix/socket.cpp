// Receive throughput of CSocket against a plain blocking recv loop, both reading
// the same amount from a loopback sender, in alternating rounds. Then the cost of
// an idle connection: CPU time spent while a CSocket waits 5 seconds for data.
//
//   socket [MiB per run (1024)] [rounds (7)]
//
// The last line is "csocket/plain throughput ratio: X", X being the median of the
// rounds' ratios.
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "net/CSocket.h"
#include "platform/App.h"
#include "platform/Window.h"

namespace {

using Clock = std::chrono::steady_clock;

int Listen(int& port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0) {
        std::perror("listen");
        std::exit(1);
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// Accepts one connection and sends `total` bytes, then closes.
std::thread Sender(int listenFd, long long total) {
    return std::thread([listenFd, total] {
        int fd = accept(listenFd, nullptr, nullptr);
        if (fd < 0) return;
        std::vector<char> block(1 << 18);
        for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 31);
        long long left = total;
        while (left > 0) {
            ssize_t n = send(fd, block.data(), static_cast<size_t>(std::min<long long>(left, block.size())), MSG_NOSIGNAL);
            if (n <= 0) break;
            left -= n;
        }
        close(fd);
    });
}

double CpuSeconds(int who);

// Receives through CSocket: every chunk is fetched with GetData, as an owner does.
double RunCSocket(long long total, long long& received, double& cpu) {
    int port = 0;
    int lfd = Listen(port);
    std::thread sender = Sender(lfd, total);
    nl::CSocket s;
    nl::ByteArray chunk;
    received = 0;
    bool closed = false;
    s.OnDataArrival = [&](std::int32_t) {
        s.GetData(chunk);
        received += static_cast<long long>(chunk.data.size());
    };
    s.OnClose = [&] { closed = true; };
    s.OnError = [&](std::int32_t n, std::string& d, std::int32_t, const std::string&, const std::string&, std::int32_t,
                    bool&) {
        std::fprintf(stderr, "socket error %d: %s\n", n, d.c_str());
        closed = true;
    };
    double cpu0 = CpuSeconds(RUSAGE_THREAD);
    auto start = Clock::now();
    s.Connect(nl::Variant("127.0.0.1"), nl::Variant(static_cast<std::int32_t>(port)));
    plat::PumpUntil([&] { return closed; }, 120000);
    double secs = std::chrono::duration<double>(Clock::now() - start).count();
    cpu = CpuSeconds(RUSAGE_THREAD) - cpu0;
    sender.join();
    close(lfd);
    return secs;
}

// The same with a plain blocking loop, asking for as much per call as CSocket does.
double RunPlain(long long total, long long& received, double& cpu) {
    int port = 0;
    int lfd = Listen(port);
    std::thread sender = Sender(lfd, total);
    double cpu0 = CpuSeconds(RUSAGE_THREAD);
    auto start = Clock::now();
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    received = 0;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        int size = 0;
        socklen_t len = sizeof size;
        getsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, &len);
        std::vector<char> buf(static_cast<std::size_t>(size > 0 ? size : 65536));
        for (;;) {
            ssize_t n = recv(fd, buf.data(), buf.size(), 0);
            if (n <= 0) break;
            received += n;
        }
    }
    double secs = std::chrono::duration<double>(Clock::now() - start).count();
    cpu = CpuSeconds(RUSAGE_THREAD) - cpu0;
    close(fd);
    sender.join();
    close(lfd);
    return secs;
}

double CpuSeconds(int who = RUSAGE_SELF) {
    rusage ru{};
    getrusage(who, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// A connected CSocket whose peer says nothing for five seconds.
double IdleCpu() {
    int port = 0;
    int lfd = Listen(port);
    nl::CSocket s;
    bool connected = false;
    s.OnConnect = [&] { connected = true; };
    s.Connect(nl::Variant("127.0.0.1"), nl::Variant(static_cast<std::int32_t>(port)));
    int peer = accept(lfd, nullptr, nullptr);
    plat::PumpUntil([&] { return connected; }, 5000);
    double before = CpuSeconds();
    plat::PumpUntil([] { return false; }, 5000);
    double used = CpuSeconds() - before;
    s.CloseSocket();
    close(peer);
    close(lfd);
    return used;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    plat::InitApp(argc, argv);
    long long mib = argc > 1 ? std::atoll(argv[1]) : 1024;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 7;
    long long total = mib << 20;
    std::vector<double> ratios;
    std::printf("moving %lld MiB over loopback per run, %d rounds\n", mib, rounds);
    {
        // Warm up both paths (first-touch page faults, lazily set-up state).
        long long got = 0;
        double cpu = 0;
        RunCSocket(64 << 20, got, cpu);
        RunPlain(64 << 20, got, cpu);
    }
    for (int r = 0; r < rounds; ++r) {
        long long gotC = 0, gotP = 0;
        double cpuC = 0, cpuP = 0;
        // Alternate which side goes first so that neither always gets the warm cache.
        double tc, tp;
        if (r % 2 == 0) {
            tc = RunCSocket(total, gotC, cpuC);
            tp = RunPlain(total, gotP, cpuP);
        } else {
            tp = RunPlain(total, gotP, cpuP);
            tc = RunCSocket(total, gotC, cpuC);
        }
        if (gotC != total || gotP != total) {
            std::printf("round %d: short transfer (csocket %lld, plain %lld of %lld bytes)\n", r + 1, gotC, gotP, total);
            return 1;
        }
        double mc = static_cast<double>(mib) / tc, mp = static_cast<double>(mib) / tp;
        ratios.push_back(mc / mp);
        std::printf("round %d: csocket %.0f MiB/s, plain %.0f MiB/s, ratio %.3f (receiving thread's CPU: %.2f s vs %.2f s)\n",
                    r + 1, mc, mp, mc / mp, cpuC, cpuP);
        std::fflush(stdout);
    }
    double idle = IdleCpu();
    std::printf("idle connection waiting 5 s: %.4f s of CPU (target < 0.01)\n", idle);
    std::printf("csocket/plain throughput ratio: %.3f\n", Median(ratios));
    return 0;
}
