// A pipe that is a started program's standard input, written by the test a
// piece at a time while the program runs: a FIFO on POSIX, a named pipe on
// Windows. Give SpawnOptions::inputFile Path(), start the program, Connect().
#pragma once

#include <cstdint>
#include <string>

namespace testutil {

class AnswerPipe {
public:
    // The FIFO is made in `folder` (POSIX); a named pipe of this process (Windows).
    explicit AnswerPipe(const std::string& folder);
    ~AnswerPipe();
    AnswerPipe(const AnswerPipe&) = delete;
    AnswerPipe& operator=(const AnswerPipe&) = delete;

    const std::string& Path() const { return path_; }
    // Waits at most 10 s for the program to open its end.
    bool Connect();
    // False when nobody reads any more (never a signal).
    bool Give(const std::string& text);
    // The program's input ends.
    void Close();

private:
    std::string path_;
    std::intptr_t handle_ = -1;
};

}  // namespace testutil
