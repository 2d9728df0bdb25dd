// A server that accepts connections on a loopback port and never answers: prints
// its port on one line, then holds every connection open until it is ended.
// Used by bench/update.sh to measure a window that waits for an answer.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

int main() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 16) != 0) {
        std::perror("silent_server");
        return 1;
    }
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    std::printf("%d\n", ntohs(a.sin_port));
    std::fflush(stdout);
    std::vector<int> held;
    for (;;) {
        const int c = accept(fd, nullptr, nullptr);
        if (c >= 0) held.push_back(c);
    }
}
