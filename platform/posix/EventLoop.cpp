#include "platform/posix/EventLoop.h"

#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <thread>
#include <vector>

namespace plat::posix {

EventLoop& EventLoop::Instance() {
    static EventLoop loop;
    return loop;
}

EventLoop::EventLoop() {
    epfd_ = epoll_create1(EPOLL_CLOEXEC);
    wakefd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epfd_ < 0 || wakefd_ < 0) {
        std::perror("novalink: event loop");
        std::abort();
    }
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = ~std::uint64_t{0};
    epoll_ctl(epfd_, EPOLL_CTL_ADD, wakefd_, &ev);
}

EventLoop::~EventLoop() {
    if (wakefd_ >= 0) close(wakefd_);
    if (epfd_ >= 0) close(epfd_);
}

std::uint64_t EventLoop::NowMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1000u + static_cast<std::uint64_t>(ts.tv_nsec) / 1000000u;
}

// ---- descriptors ----------------------------------------------------------

bool EventLoop::Watch(int fd, std::uint32_t events, FdCallback cb) {
    if (fd < 0) return false;
    std::uint32_t gen = ++watchGen_;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = (static_cast<std::uint64_t>(gen) << 32) | static_cast<std::uint32_t>(fd);
    bool existing = watches_.count(fd) != 0;
    if (epoll_ctl(epfd_, existing ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev) != 0) return false;
    watches_[fd] = Watcher{gen, std::move(cb)};
    return true;
}

bool EventLoop::Modify(int fd, std::uint32_t events) {
    auto it = watches_.find(fd);
    if (it == watches_.end()) return false;
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = (static_cast<std::uint64_t>(it->second.gen) << 32) | static_cast<std::uint32_t>(fd);
    return epoll_ctl(epfd_, EPOLL_CTL_MOD, fd, &ev) == 0;
}

void EventLoop::Unwatch(int fd) {
    auto it = watches_.find(fd);
    if (it == watches_.end()) return;
    epoll_ctl(epfd_, EPOLL_CTL_DEL, fd, nullptr);
    watches_.erase(it);
}

// ---- posting --------------------------------------------------------------

void EventLoop::Wake() {
    std::uint64_t one = 1;
    ssize_t r = write(wakefd_, &one, sizeof one);
    (void)r;
}

// The loop's own thread never sleeps with something queued (RunOnce looks at the
// queue before it waits), so only other threads need to wake it.
bool EventLoop::NeedsWake() const { return !woken_ && std::this_thread::get_id() != loopThread_.load(); }

void EventLoop::Post(std::function<void()> fn) {
    std::lock_guard<std::mutex> lk(qmu_);
    queue_.push_back(Posted{0, 0, 0, 0, std::move(fn), nextSeq_++});
    if (NeedsWake()) {
        woken_ = true;
        Wake();
    }
}

bool EventLoop::PostMessageA(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    // Window existence is checked on delivery; the table belongs to the loop thread.
    if (hwnd == 0) return false;
    std::lock_guard<std::mutex> lk(qmu_);
    queue_.push_back(Posted{hwnd, msg, w, l, nullptr, nextSeq_++});
    if (NeedsWake()) {
        woken_ = true;
        Wake();
    }
    return true;
}

LRESULT EventLoop::SendMessageA(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return 0;
    WindowProc proc = it->second.proc;
    return proc ? proc(hwnd, msg, w, l) : 0;
}

// Delivers the messages queued when the drain begins, taking them one at a time,
// so that a handler that pumps messages itself gets the next ones in their order
// (and an outer drain then goes on after them). Messages posted meanwhile wait for
// the next round, which keeps a handler that re-posts from starving the rest.
bool EventLoop::DrainQueue() {
    std::uint64_t end;
    {
        std::lock_guard<std::mutex> lk(qmu_);
        end = nextSeq_;
        if (woken_) {
            woken_ = false;
            std::uint64_t v;
            while (read(wakefd_, &v, sizeof v) > 0) {
            }
        }
    }
    bool any = false;
    for (;;) {
        Posted p{};
        {
            std::lock_guard<std::mutex> lk(qmu_);
            if (queue_.empty() || queue_.front().seq >= end) break;
            p = std::move(queue_.front());
            queue_.pop_front();
        }
        any = true;
        if (p.fn) {
            p.fn();
        } else {
            SendMessageA(p.hwnd, p.msg, p.w, p.l);
        }
    }
    return any;
}

// ---- windows --------------------------------------------------------------

HWND EventLoop::CreateWindow(const std::string& caption, bool topLevel) {
    HWND h = nextHwnd_;
    nextHwnd_ += 4;
    windows_[h] = Window{caption, &DefaultWindowProc, topLevel};
    if (topLevel) ++topLevel_;
    return h;
}

bool EventLoop::DestroyWindow(HWND hwnd) {
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return false;
    WindowProc proc = it->second.proc;
    if (proc) proc(hwnd, PL_WM_DESTROY, 0, 0);
    // The procedure may have destroyed the window itself.
    it = windows_.find(hwnd);
    if (it == windows_.end()) return true;
    if (it->second.topLevel) --topLevel_;
    windows_.erase(it);
    for (auto t = timers_.begin(); t != timers_.end();) {
        if (t->first.first == hwnd)
            t = timers_.erase(t);
        else
            ++t;
    }
    if (destroyHook_) {
        auto hook = destroyHook_;  // the hook may replace itself
        hook(hwnd);
    }
    return true;
}

std::string EventLoop::WindowText(HWND hwnd) const {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? std::string() : it->second.caption;
}

WindowProc EventLoop::SetProc(HWND hwnd, WindowProc proc) {
    auto it = windows_.find(hwnd);
    if (it == windows_.end() || proc == nullptr) return nullptr;
    WindowProc old = it->second.proc;
    it->second.proc = proc;
    return old;
}

WindowProc EventLoop::GetProc(HWND hwnd) const {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : it->second.proc;
}

// ---- timers ---------------------------------------------------------------

bool EventLoop::SetTimer(HWND hwnd, UINT id, UINT ms) {
    if (!IsWindow(hwnd)) return false;
    if (ms == 0) ms = 1;
    timers_[{hwnd, id}] = Timer{ms, NowMs() + ms, ++timerGen_};
    return true;
}

bool EventLoop::KillTimer(HWND hwnd, UINT id) { return timers_.erase({hwnd, id}) != 0; }

int EventLoop::NextTimeout(int requested) const {
    if (timers_.empty()) return requested;
    std::uint64_t now = NowMs();
    std::uint64_t best = ~std::uint64_t{0};
    for (const auto& [key, t] : timers_)
        if (t.due < best) best = t.due;
    int wait = best <= now ? 0 : static_cast<int>(std::min<std::uint64_t>(best - now, 1u << 30));
    if (requested < 0) return wait;
    return std::min(wait, requested);
}

bool EventLoop::FireTimers() {
    std::uint64_t now = NowMs();
    std::vector<std::pair<std::pair<HWND, UINT>, std::uint64_t>> due;
    for (const auto& [key, t] : timers_)
        if (t.due <= now) due.emplace_back(key, t.gen);
    for (const auto& [key, gen] : due) {
        auto it = timers_.find(key);
        // Killed or restarted by an earlier tick in this round, or already
        // ticked by a round that an earlier tick's handler ran itself.
        if (it == timers_.end() || it->second.gen != gen || it->second.due > now) continue;
        it->second.due = NowMs() + it->second.ms;
        SendMessageA(key.first, PL_WM_TIMER, key.second, 0);
    }
    return !due.empty();
}

// ---- the loop -------------------------------------------------------------

bool EventLoop::RunOnce(int timeoutMs) {
    loopThread_.store(std::this_thread::get_id());
    {
        std::lock_guard<std::mutex> lk(qmu_);
        if (!queue_.empty()) timeoutMs = 0;
    }
    int wait = NextTimeout(timeoutMs);
    epoll_event events[64];
    int n = epoll_wait(epfd_, events, 64, wait);
    if (n < 0 && errno != EINTR) {
        std::perror("novalink: epoll_wait");
        return false;
    }
    bool any = false;
    for (int i = 0; i < n; ++i) {
        std::uint64_t tag = events[i].data.u64;
        if (tag == ~std::uint64_t{0}) {
            // Wake-up (a post from another thread, or Quit); the queue is drained below.
            std::uint64_t v;
            while (read(wakefd_, &v, sizeof v) > 0) {
            }
            continue;
        }
        int fd = static_cast<int>(tag & 0xFFFFFFFFu);
        std::uint32_t gen = static_cast<std::uint32_t>(tag >> 32);
        auto it = watches_.find(fd);
        // Unwatched or re-watched by an earlier callback in this round.
        if (it == watches_.end() || it->second.gen != gen) continue;
        FdCallback cb = it->second.cb;  // the callback may unwatch itself
        cb(events[i].events);
        any = true;
    }
    any = DrainQueue() || any;
    any = FireTimers() || any;
    return any;
}

int EventLoop::TimeoutMs() {
    {
        std::lock_guard<std::mutex> lk(qmu_);
        if (!queue_.empty()) return 0;
    }
    return NextTimeout(-1);
}

}  // namespace plat::posix
