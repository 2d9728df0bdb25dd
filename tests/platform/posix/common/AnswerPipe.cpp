#include "tests/common/AnswerPipe.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace testutil {

AnswerPipe::AnswerPipe(const std::string& folder) {
    static int made = 0;
    path_ = folder + "/answers" + std::to_string(++made);
    if (mkfifo(path_.c_str(), 0600) != 0) path_.clear();
}

AnswerPipe::~AnswerPipe() {
    Close();
    if (!path_.empty()) unlink(path_.c_str());
}

bool AnswerPipe::Connect() {
    // A FIFO opens for writing without waiting only once a reader has it open.
    for (int i = 0; i < 1000 && handle_ < 0 && !path_.empty(); ++i) {
        handle_ = open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (handle_ < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (handle_ >= 0) fcntl(static_cast<int>(handle_), F_SETFL, 0);
    return handle_ >= 0;
}

bool AnswerPipe::Give(const std::string& text) {
    if (handle_ < 0) return false;
    // A program that has ended reads nothing more: no SIGPIPE for the test.
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &old);
    const bool ok = write(static_cast<int>(handle_), text.data(), text.size()) == static_cast<ssize_t>(text.size());
    sigaction(SIGPIPE, &old, nullptr);
    return ok;
}

void AnswerPipe::Close() {
    if (handle_ >= 0) close(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace testutil
