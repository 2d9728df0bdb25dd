// Standard input on Windows: a console, a pipe or a file cannot be waited on
// alongside the message queue, so a helper thread reads it, blocking, and posts
// each chunk to a message window of the user-interface thread, where the lines
// are made and handed on. The thread only reads; nothing of the program runs on
// it. It ends at the end of input, or with the process (a read that waits on a
// console or a pipe cannot be taken back).
#include "platform/frontends/terminal/LineReader.h"

#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/Window.h"
#include "platform/win32/WinApi.h"

namespace plat {

namespace {

constexpr UINT kInputArrived = PL_WM_USER;

// What the thread has read and the loop has not taken yet; shared with the
// thread, which may outlive the reader.
struct Inbox {
    std::mutex mu;
    std::string data;
    bool ended = false;
};

}  // namespace

struct LineReader::Source {
    HWND window = 0;
    bool started = false;
    bool posted = false;
    std::shared_ptr<Inbox> inbox = std::make_shared<Inbox>();

    static std::unordered_map<HWND, LineReader*>& Readers() {
        static std::unordered_map<HWND, LineReader*> readers;
        return readers;
    }
    static LRESULT Proc(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
    static void Read(std::shared_ptr<Inbox> inbox, ::HANDLE input, HWND window);
};

LineReader::LineReader(std::function<void()> onAvailable)
    : onAvailable_(std::move(onAvailable)), source_(std::make_unique<Source>()) {
    source_->window = CreateMessageWindow("NovalinkInput");
    Source::Readers()[source_->window] = this;
    SetWindowProc(source_->window, &Source::Proc);
}

LineReader::~LineReader() {
    Source::Readers().erase(source_->window);
    DestroyWindow(source_->window);
}

void LineReader::Want(bool want) {
    want_ = want;
    Source& s = *source_;
    if (!want_) return;
    if (!s.started) {
        s.started = true;
        ::HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
        if (input == nullptr || input == win32::InvalidHandle()) {
            End();
        } else {
            std::thread(&Source::Read, s.inbox, input, s.window).detach();
            if (!Available()) return;
        }
    }
    // What is at hand already is handed on from the loop, as a read would be.
    if (Available() && !s.posted) {
        s.posted = true;
        PostMessageA(s.window, kInputArrived, 0, 0);
    }
}

void LineReader::Source::Read(std::shared_ptr<Inbox> inbox, ::HANDLE input, HWND window) {
    char buf[4096];
    for (;;) {
        ::DWORD n = 0;
        const bool ok = ::ReadFile(input, buf, sizeof buf, &n, nullptr) != 0;
        {
            std::lock_guard<std::mutex> lock(inbox->mu);
            if (ok && n > 0)
                inbox->data.append(buf, n);
            else
                inbox->ended = true;  // the end of a pipe or file, Ctrl+Z on a console, or a failure
        }
        PostMessageA(window, kInputArrived, 0, 0);
        if (!ok || n == 0) return;
    }
}

LRESULT LineReader::Source::Proc(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg != kInputArrived) return DefWindowProcA(hwnd, msg, w, l);
    auto it = Readers().find(hwnd);
    if (it == Readers().end()) return 0;
    LineReader& r = *it->second;
    Source& s = *r.source_;
    s.posted = false;
    std::string data;
    bool ended = false;
    {
        std::lock_guard<std::mutex> lock(s.inbox->mu);
        data.swap(s.inbox->data);
        ended = s.inbox->ended;
    }
    if (!data.empty()) r.Feed(data.data(), data.size());
    if (ended && !r.eof_) r.End();
    if (r.want_ && r.Available()) r.onAvailable_();
    return 0;
}

}  // namespace plat
