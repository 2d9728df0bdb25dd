// Lines from standard input (a terminal or console, a pipe, a file), read
// through the message loop: reading never blocks the loop, and the owner hears
// from the loop that a line, or the end of input, is at hand. Lines are split on
// LF, with a trailing CR removed.
//
// Where the bytes come from is the system's (the Source): Linux watches the
// descriptor while someone wants input, and reads a file (which epoll cannot
// watch and which never blocks) a chunk at a time from posted work; Windows reads
// on a helper thread that does nothing else and posts what it read to the
// user-interface thread. Internal to platform/.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace plat {

class LineReader {
public:
    // `onAvailable` runs from the loop whenever, while wanted, a line or the end
    // of input is at hand.
    explicit LineReader(std::function<void()> onAvailable);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // A line, or the end of input, is at hand.
    bool Available() const { return !lines_.empty() || eof_; }
    bool HasLine() const { return !lines_.empty(); }
    bool AtEnd() const { return lines_.empty() && eof_; }
    // The next line, left in place; null when none is at hand.
    const std::string* Peek() const { return lines_.empty() ? nullptr : &lines_.front(); }
    // Takes the next line; false (and `line` empty) at the end of input.
    bool Take(std::string& line);

    // Starts or stops wanting input.
    void Want(bool want);

    struct Source;  // the system's side

private:
    // What came in: whole lines are queued, the rest waits for its LF. The end
    // of input ends the last line.
    void Feed(const char* data, std::size_t size);
    void End();

    std::function<void()> onAvailable_;
    std::deque<std::string> lines_;
    std::string partial_;
    bool eof_ = false;
    bool want_ = false;
    std::unique_ptr<Source> source_;
};

}  // namespace plat
