// Lines from an input descriptor (standard input), read through the message
// loop: while someone wants input the descriptor is watched, and reading it never
// blocks the loop. A pipe or a terminal is watched for readiness; a file (which
// epoll cannot watch and which never blocks) is read a chunk at a time from
// posted work. Lines are split on LF, with a trailing CR removed.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace plat::posix {

class LineReader {
public:
    // `onAvailable` runs from the loop whenever, while wanted, a line or the end
    // of input is at hand.
    LineReader(int fd, std::function<void()> onAvailable);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // A line, or the end of input, is at hand.
    bool Available() const { return !lines_.empty() || eof_; }
    bool HasLine() const { return !lines_.empty(); }
    bool AtEnd() const { return lines_.empty() && eof_; }
    // Takes the next line; false (and `line` empty) at the end of input.
    bool Take(std::string& line);

    // Starts or stops wanting input.
    void Want(bool want);

private:
    void ReadChunk();
    void Schedule();

    int fd_;
    std::function<void()> onAvailable_;
    std::deque<std::string> lines_;
    std::string partial_;
    bool eof_ = false;
    bool want_ = false;
    bool watching_ = false;
    bool watchable_ = true;
    bool posted_ = false;
    std::shared_ptr<bool> alive_;
};

}  // namespace plat::posix
