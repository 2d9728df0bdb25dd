// Standard input on Linux: the descriptor is watched while someone wants input.
#include "platform/frontends/terminal/LineReader.h"

#include <unistd.h>

#include <cerrno>

#include "platform/posix/EventLoop.h"

namespace plat {

struct LineReader::Source {
    static constexpr int kFd = 0;
    bool watching = false;
    bool watchable = true;
    bool posted = false;
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);

    static void ReadChunk(LineReader& r);
    static void Schedule(LineReader& r);
};

LineReader::LineReader(std::function<void()> onAvailable)
    : onAvailable_(std::move(onAvailable)), source_(std::make_unique<Source>()) {}

LineReader::~LineReader() {
    *source_->alive = false;
    if (source_->watching) posix::EventLoop::Instance().Unwatch(Source::kFd);
}

void LineReader::Want(bool want) {
    want_ = want;
    Source& s = *source_;
    auto& loop = posix::EventLoop::Instance();
    if (!want_ || Available()) {
        if (s.watching) {
            loop.Unwatch(Source::kFd);
            s.watching = false;
        }
        if (want_) Source::Schedule(*this);
        return;
    }
    if (s.watching) return;
    if (s.watchable) {
        if (loop.Watch(Source::kFd, EPOLLIN, [this](std::uint32_t) { Source::ReadChunk(*this); })) {
            s.watching = true;
            return;
        }
        // A file or /dev/null (epoll refuses them: they are always ready), or a
        // closed descriptor, which the read turns into the end of input.
        s.watchable = false;
    }
    Source::Schedule(*this);
}

void LineReader::Source::ReadChunk(LineReader& r) {
    Source& s = *r.source_;
    char buf[4096];
    ssize_t n = read(kFd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0)
        r.End();
    else
        r.Feed(buf, static_cast<std::size_t>(n));
    if (r.Available()) {
        if (s.watching) {
            posix::EventLoop::Instance().Unwatch(kFd);
            s.watching = false;
        }
        if (r.want_) r.onAvailable_();
    } else if (!s.watching && r.want_) {
        Schedule(r);  // a file: read on
    }
}

// The next step runs from the loop: hand over what is at hand, or read a file.
void LineReader::Source::Schedule(LineReader& r) {
    Source& s = *r.source_;
    if (s.posted) return;
    s.posted = true;
    std::weak_ptr<bool> alive = s.alive;
    LineReader* reader = &r;
    posix::EventLoop::Instance().Post([reader, alive] {
        if (alive.expired()) return;
        Source& source = *reader->source_;
        source.posted = false;
        if (!reader->want_) return;
        if (reader->Available())
            reader->onAvailable_();
        else if (!source.watchable)
            ReadChunk(*reader);
        else
            reader->Want(true);
    });
}

}  // namespace plat
