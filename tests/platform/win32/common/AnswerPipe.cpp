#include "tests/common/AnswerPipe.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace testutil {

namespace {
HANDLE Handle(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

AnswerPipe::AnswerPipe(const std::string&) {
    static unsigned made = 0;
    path_ = "\\\\.\\pipe\\novalink-answers-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++made);
    HANDLE h = CreateNamedPipeA(path_.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0,
                                nullptr);
    if (h != INVALID_HANDLE_VALUE) handle_ = reinterpret_cast<std::intptr_t>(h);
}

AnswerPipe::~AnswerPipe() { Close(); }

bool AnswerPipe::Connect() {
    // Spawn opens the program's end before the program starts: the pipe is connected by then.
    if (handle_ < 0) return false;
    return ConnectNamedPipe(Handle(handle_), nullptr) || GetLastError() == ERROR_PIPE_CONNECTED;
}

bool AnswerPipe::Give(const std::string& text) {
    DWORD n = 0;
    return handle_ >= 0 && ::WriteFile(Handle(handle_), text.data(), static_cast<DWORD>(text.size()), &n, nullptr) &&
           n == text.size();
}

void AnswerPipe::Close() {
    if (handle_ >= 0) CloseHandle(Handle(handle_));
    handle_ = -1;
}

}  // namespace testutil
