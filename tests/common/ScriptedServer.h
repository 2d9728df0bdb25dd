// A loopback TCP server on its own thread that answers every connection with the
// same script: read the request through its blank line, then send blocks, pause,
// hold the connection open, or close. For replies real servers do not produce.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testutil {

// A loopback port that nothing listened on a moment ago.
int FreeLoopbackPort();

class ScriptedServer {
public:
    struct Step {
        enum Kind { Send, Pause, Hold, Close } kind;
        std::string data;
        int ms = 0;
        int times = 1;  // Send: how often `data` goes out
    };
    static Step Send(std::string bytes) { return {Step::Send, std::move(bytes), 0}; }
    // Sends `bytes` `times` times over, for bodies longer than any test would hold.
    static Step Repeat(std::string bytes, int times) { return {Step::Send, std::move(bytes), 0, times}; }
    static Step Pause(int ms) { return {Step::Pause, "", ms}; }
    // Keeps the connection open until the client closes it or the server stops.
    static Step Hold() { return {Step::Hold, "", 0}; }
    // Sends each byte of `bytes` as its own segment, with a short pause between.
    static std::vector<Step> Trickle(const std::string& bytes, int ms = 2);

    explicit ScriptedServer(std::vector<Step> script, bool readRequest = true);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int Port() const { return port_; }
    std::vector<std::string> Requests() const;
    int Connections() const { return connections_; }
    // True once a client closed a held connection.
    bool ClientClosed() const { return clientClosed_; }

private:
    void Serve();
    void Handle(int fd);

    std::vector<Step> script_;
    bool readRequest_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::atomic<bool> clientClosed_{false};
    mutable std::mutex mu_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace testutil
