#include "platform/posix/LineReader.h"

#include <unistd.h>

#include <cerrno>

#include "platform/posix/EventLoop.h"

namespace plat::posix {

LineReader::LineReader(int fd, std::function<void()> onAvailable)
    : fd_(fd), onAvailable_(std::move(onAvailable)), alive_(std::make_shared<bool>(true)) {}

LineReader::~LineReader() {
    *alive_ = false;
    if (watching_) EventLoop::Instance().Unwatch(fd_);
}

bool LineReader::Take(std::string& line) {
    line.clear();
    if (lines_.empty()) return false;
    line = std::move(lines_.front());
    lines_.pop_front();
    return true;
}

void LineReader::Want(bool want) {
    want_ = want;
    auto& loop = EventLoop::Instance();
    if (!want_ || Available()) {
        if (watching_) {
            loop.Unwatch(fd_);
            watching_ = false;
        }
        if (want_) Schedule();
        return;
    }
    if (watching_) return;
    if (watchable_) {
        if (loop.Watch(fd_, EPOLLIN, [this](std::uint32_t) { ReadChunk(); })) {
            watching_ = true;
            return;
        }
        // A file or /dev/null (epoll refuses them: they are always ready), or a
        // closed descriptor, which the read turns into the end of input.
        watchable_ = false;
    }
    Schedule();
}

void LineReader::ReadChunk() {
    char buf[4096];
    ssize_t n = read(fd_, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
        eof_ = true;
        if (!partial_.empty()) {
            lines_.push_back(std::move(partial_));
            partial_.clear();
        }
    } else {
        partial_.append(buf, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t nl; (nl = partial_.find('\n', start)) != std::string::npos; start = nl + 1) {
            std::string line = partial_.substr(start, nl - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            lines_.push_back(std::move(line));
        }
        partial_.erase(0, start);
    }
    if (Available()) {
        if (watching_) {
            EventLoop::Instance().Unwatch(fd_);
            watching_ = false;
        }
        if (want_) onAvailable_();
    } else if (!watching_ && want_) {
        Schedule();  // a file: read on
    }
}

// The next step runs from the loop: hand over what is at hand, or read a file.
void LineReader::Schedule() {
    if (posted_) return;
    posted_ = true;
    std::weak_ptr<bool> alive = alive_;
    EventLoop::Instance().Post([this, alive] {
        if (alive.expired()) return;
        posted_ = false;
        if (!want_) return;
        if (Available())
            onAvailable_();
        else if (!watchable_)
            ReadChunk();
        else
            Want(true);
    });
}

}  // namespace plat::posix
