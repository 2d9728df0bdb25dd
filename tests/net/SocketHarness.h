// What the CSocket tests share: a recorder of one socket's events, a client
// connected to a plain peer, a peer thread that is always joined, and test data.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/CSocket.h"
#include "net/MSocketSupport.h"
#include "platform/Window.h"
#include "support/ErrorReport.h"
#include "tests/common/Events.h"
#include "tests/common/NetPeer.h"

namespace testnet {

// Records every event of one socket as a line of text.
struct Recorder {
    std::vector<std::string> log;
    std::string received;  // every chunk, fetched with GetData
    int closes = 0, connects = 0, completes = 0, errors = 0;
    std::int32_t handleInError = 0;
    std::int32_t lastErrorNumber = 0;
    std::string lastErrorText, lastErrorSource;

    void Attach(nl::CSocket& s) {
        s.OnStateChange = [this](std::int32_t st, const std::string& text) {
            log.push_back("state " + std::to_string(st) + " " + text);
        };
        s.OnConnect = [this] {
            ++connects;
            log.push_back("connect");
        };
        s.OnClose = [this] {
            ++closes;
            log.push_back("close");
        };
        s.OnSendComplete = [this] {
            ++completes;
            log.push_back("complete");
        };
        s.OnSendProgress = [this](std::int32_t sent, std::int32_t waiting) {
            log.push_back("progress " + std::to_string(sent) + " " + std::to_string(waiting));
        };
        s.OnDataArrival = [this, &s](std::int32_t count) {
            std::string chunk;
            s.GetData(chunk);
            EXPECT_EQ(chunk.size(), static_cast<std::size_t>(count) + 1);
            received += chunk;
            log.push_back("data " + std::to_string(count));
        };
        s.OnError = [this, &s](std::int32_t number, std::string& description, std::int32_t scode,
                               const std::string& source, const std::string& helpFile, std::int32_t helpContext,
                               bool& cancel) {
            ++errors;
            lastErrorNumber = number;
            lastErrorText = description;
            lastErrorSource = source;
            handleInError = s.SocketHandle();
            EXPECT_EQ(scode, 0);
            EXPECT_TRUE(helpFile.empty());
            EXPECT_EQ(helpContext, 0);
            EXPECT_FALSE(cancel);
            log.push_back("error " + std::to_string(number));
        };
    }
    bool Has(const std::string& line) const {
        for (const auto& l : log)
            if (l == line) return true;
        return false;
    }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& l : log)
            if (l.rfind(prefix, 0) == 0) ++n;
        return n;
    }
};

// Joins a peer thread however the test ends.
struct Joined {
    std::thread t;
    template <typename F>
    explicit Joined(F&& f) : t(std::forward<F>(f)) {}
    ~Joined() { join(); }
    void join() {
        if (t.joinable()) t.join();
    }
};

// A client CSocket connected to a plain peer socket.
struct Connected {
    testnet::Listener listener;
    std::unique_ptr<nl::CSocket> sock = std::make_unique<nl::CSocket>();
    Recorder rec;
    int peer = -1;

    Connected() {
        rec.Attach(*sock);
        sock->Connect(nl::Variant("127.0.0.1"), nl::Variant(static_cast<std::int32_t>(listener.port())));
        peer = listener.Accept();
        EXPECT_GE(peer, 0);
        EXPECT_TRUE(testutil::Pump([&] { return rec.connects == 1; }));
        rec.log.clear();
    }
    ~Connected() {
        if (peer >= 0) testnet::Close(peer);
    }
};

inline std::string Pattern(std::size_t n, unsigned seed) {
    std::string s(n, '\0');
    unsigned x = seed;
    for (auto& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return s;
}

}  // namespace testnet

// The names the socket tests share.
using nl::CSocket;
using testnet::Connected;
using testnet::Joined;
using testnet::Pattern;
using testnet::Recorder;
using testutil::ExpectRaised;
using testutil::Pump;
using testutil::Settle;
