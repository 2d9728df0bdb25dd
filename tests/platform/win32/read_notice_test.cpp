// FD_READ as WSAAsyncSelect defines it, on a loopback pair made of the platform's
// own sockets: once FD_READ has been posted no other one follows, however much
// more data arrives, until the program calls recv; that call re-enables it, and
// when data is still waiting a new FD_READ is posted at once. Selecting again
// posts FD_READ for data already waiting.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Window.h"
#include "platform/Winsock.h"

using namespace plat;

namespace {

UINT g_msg = 0;
SOCKET g_watched = WS_INVALID_SOCKET;
int g_reads = 0;
int g_others = 0;

LRESULT Collect(HWND, UINT msg, WPARAM w, LPARAM l) {
    if (msg != g_msg || w != g_watched) return 0;
    const int event = LoWord(static_cast<std::uintptr_t>(l));
    EXPECT_EQ(HiWord(static_cast<std::uintptr_t>(l)), 0) << "event " << event;
    (event == WS_FD_READ ? g_reads : g_others)++;
    return 0;
}

// What the program does next, and how many FD_READ notices it has seen after it.
struct Step {
    enum Op { Send, Recv, Select } op;
    int bytes;  // Send: how many the peer sends; Recv: the size of the buffer
    int reads;
};

class ReadNotice : public ::testing::Test {
protected:
    void SetUp() override {
        WSADATA data;
        ASSERT_EQ(WSAStartup(0x0101, &data), 0);
        g_msg = RegisterWindowMessageA("read-notice-test.WinsockMessage");
        hwnd_ = CreateMessageWindow("read notices");
        SetWindowProc(hwnd_, Collect);
        g_reads = g_others = 0;

        // A connected pair on loopback, both ends blocking until the selection.
        SOCKET listener = socket(WS_AF_INET, WS_SOCK_STREAM, WS_IPPROTO_TCP);
        ASSERT_NE(listener, WS_INVALID_SOCKET);
        SOCKADDR_IN sa{};
        sa.sin_family = WS_AF_INET;
        sa.sin_addr.S_addr = inet_addr("127.0.0.1");
        ASSERT_EQ(bind(listener, reinterpret_cast<SOCKADDR*>(&sa), sizeof sa), 0);
        int len = sizeof sa;
        ASSERT_EQ(getsockname(listener, reinterpret_cast<SOCKADDR*>(&sa), &len), 0);
        ASSERT_EQ(listen(listener, 1), 0);
        peer_ = socket(WS_AF_INET, WS_SOCK_STREAM, WS_IPPROTO_TCP);
        ASSERT_EQ(connect(peer_, reinterpret_cast<SOCKADDR*>(&sa), sizeof sa), 0) << WSAGetLastError();
        own_ = accept(listener, nullptr, nullptr);
        closesocket(listener);
        ASSERT_NE(own_, WS_INVALID_SOCKET);
        g_watched = own_;
    }
    void TearDown() override {
        closesocket(own_);
        closesocket(peer_);
        DestroyWindow(hwnd_);
        WSACleanup();
    }

    void Run(const std::vector<Step>& steps) {
        ASSERT_EQ(WSAAsyncSelect(own_, hwnd_, g_msg, WS_FD_READ | WS_FD_CLOSE), 0);
        int sent = 0, received = 0, n = 0;
        for (const Step& s : steps) {
            SCOPED_TRACE("step " + std::to_string(++n));
            if (s.op == Step::Send) {
                const std::string data(static_cast<size_t>(s.bytes), static_cast<char>('a' + n));
                ASSERT_EQ(send(peer_, data.data(), s.bytes, 0), s.bytes);
                sent += s.bytes;
            } else if (s.op == Step::Recv) {
                std::vector<char> buf(static_cast<size_t>(s.bytes));
                const int got = recv(own_, buf.data(), s.bytes, 0);
                ASSERT_EQ(got, std::min(s.bytes, sent - received)) << WSAGetLastError();
                received += got;
            } else {
                ASSERT_EQ(WSAAsyncSelect(own_, hwnd_, g_msg, WS_FD_READ | WS_FD_CLOSE), 0);
            }
            // The expected notices arrive, and no more follow while the loop runs on.
            PumpUntil([&] { return g_reads >= s.reads; }, 3000);
            PumpUntil([] { return false; }, 80);
            EXPECT_EQ(g_reads, s.reads);
        }
        EXPECT_EQ(g_others, 0);
    }

    HWND hwnd_ = 0;
    SOCKET own_ = WS_INVALID_SOCKET;
    SOCKET peer_ = WS_INVALID_SOCKET;
};

}  // namespace

TEST_F(ReadNotice, OneNoticeUntilRecvThenAnotherWhileDataRemains) {
    Run({{Step::Send, 6, 1},
         {Step::Send, 4, 1},   // more data, but no recv since the notice
         {Step::Send, 50, 1},
         {Step::Recv, 4, 2},   // data remains: posted again
         {Step::Recv, 100, 2}, // takes the rest: re-enabled, nothing to post
         {Step::Send, 3, 3},   // new data after a recv: posted
         {Step::Recv, 10, 3},
         {Step::Send, 2, 4}});
}

TEST_F(ReadNotice, RecvThatEmptiesTheSocketPostsNothing) {
    Run({{Step::Send, 5, 1}, {Step::Recv, 5, 1}, {Step::Send, 1, 2}, {Step::Recv, 64, 2}});
}

TEST_F(ReadNotice, EveryRecvLeavingDataPostsOneMore) {
    Run({{Step::Send, 10, 1}, {Step::Recv, 2, 2}, {Step::Recv, 2, 3}, {Step::Recv, 2, 4}, {Step::Recv, 4, 4}});
}

TEST_F(ReadNotice, SelectingAgainPostsForDataAlreadyWaiting) {
    Run({{Step::Send, 5, 1}, {Step::Select, 0, 2}, {Step::Send, 5, 2}, {Step::Recv, 64, 2}, {Step::Select, 0, 2}});
}
