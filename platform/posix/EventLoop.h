// The user-interface thread's event loop on Linux: epoll over an eventfd (posted
// messages from any thread), watched descriptors (sockets, process descriptors)
// and a timer list whose nearest expiry is the epoll time-out. Nothing polls.
//
// Internal to platform/posix; product code uses platform/Window.h.
#pragma once

#include <sys/epoll.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

#include "platform/MessagePump.h"
#include "platform/Types.h"

namespace plat::posix {

// The procedure every window starts with; it answers 0 to everything.
LRESULT DefaultWindowProc(HWND, UINT, WPARAM, LPARAM);

class EventLoop : public MessagePump {
public:
    using FdCallback = std::function<void(std::uint32_t epollEvents)>;

    static EventLoop& Instance();

    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    // Watches a descriptor; the callback runs on the loop thread with the epoll
    // event bits. A descriptor has at most one watch; watching again replaces it.
    bool Watch(int fd, std::uint32_t events, FdCallback cb);
    bool Modify(int fd, std::uint32_t events);
    void Unwatch(int fd);
    bool IsWatched(int fd) const { return watches_.count(fd) != 0; }

    // Runs a function on the loop thread at the next dispatch. Thread-safe.
    void Post(std::function<void()> fn);

    // Windows.
    HWND CreateWindow(const std::string& caption, bool topLevel);
    bool DestroyWindow(HWND hwnd);
    bool IsWindow(HWND hwnd) const { return windows_.count(hwnd) != 0; }
    std::string WindowText(HWND hwnd) const;
    WindowProc SetProc(HWND hwnd, WindowProc proc);
    WindowProc GetProc(HWND hwnd) const;
    bool PostMessageA(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
    LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
    int TopLevelCount() const override { return topLevel_; }
    // Runs after a window is gone (its procedure has seen PL_WM_DESTROY and it is
    // no longer a window): the platform's own clean-up, such as a form's widgets.
    void SetDestroyHook(std::function<void(HWND)> hook) { destroyHook_ = std::move(hook); }

    bool SetTimer(HWND hwnd, UINT id, UINT ms);
    bool KillTimer(HWND hwnd, UINT id);

    // Waits at most timeoutMs (negative = until something happens) and dispatches
    // what is ready. Returns false when nothing at all was dispatched.
    bool RunOnce(int timeoutMs) override;

    // What a host waits on: the epoll descriptor, which every watched descriptor
    // and the wake-up descriptor feed, and the time-out until the next due work.
    int BackendFd() const { return epfd_; }
    int TimeoutMs();

    static std::uint64_t NowMs();

private:
    EventLoop();
    ~EventLoop();

    struct Window {
        std::string caption;
        WindowProc proc;
        bool topLevel;
    };
    struct Watcher {
        std::uint32_t gen;
        FdCallback cb;
    };
    struct Timer {
        UINT ms;
        std::uint64_t due;
        std::uint64_t gen;
    };
    struct Posted {
        HWND hwnd;
        UINT msg;
        WPARAM w;
        LPARAM l;
        std::function<void()> fn;
        std::uint64_t seq;
    };

    int NextTimeout(int requested) const;
    bool FireTimers();
    bool DrainQueue();
    void Wake() override;
    bool NeedsWake() const;  // with qmu_ held

    int epfd_ = -1;
    int wakefd_ = -1;

    std::unordered_map<int, Watcher> watches_;
    std::uint32_t watchGen_ = 0;

    std::unordered_map<HWND, Window> windows_;
    HWND nextHwnd_ = 0x10000;
    int topLevel_ = 0;

    std::map<std::pair<HWND, UINT>, Timer> timers_;
    std::uint64_t timerGen_ = 0;

    std::mutex qmu_;
    std::deque<Posted> queue_;
    std::uint64_t nextSeq_ = 0;  // numbers the posts, so a drain knows where it began
    bool woken_ = false;
    std::atomic<std::thread::id> loopThread_{};  // the thread that last ran RunOnce

    std::function<void(HWND)> destroyHook_;
};

}  // namespace plat::posix
