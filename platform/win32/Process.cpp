// Processes on kernel32: handles are the system's own.
#include "platform/Process.h"

#include "platform/Errors.h"
#include "platform/Window.h"
#include "platform/win32/MessageLoop.h"
#include "platform/win32/WideText.h"

namespace plat {

namespace {

::HANDLE H(HANDLE h) { return reinterpret_cast<::HANDLE>(h); }

// Runs on a thread of the system's wait pool when a waited process ends while a
// loop host turns the loop: the message wakes the host, which waits on the queue.
VOID CALLBACK WakeLoop(PVOID, BOOLEAN) { win32::MessageLoop::Instance().Wake(); }

}  // namespace

HANDLE OpenProcess(DWORD desiredAccess, bool inheritHandle, DWORD processId) {
    if (processId == 0) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return reinterpret_cast<HANDLE>(::OpenProcess(desiredAccess, inheritHandle ? TRUE : FALSE, processId));
}

DWORD WaitForSingleObject(HANDLE process, DWORD milliseconds) {
    return win32::Dw(::WaitForSingleObject(H(process), milliseconds));
}

DWORD WaitForProcessPumping(HANDLE process, DWORD milliseconds) {
    // A handle of our own, so that a handler that closes the caller's handle while
    // we wait cannot pull it from under us.
    ::HANDLE self = ::GetCurrentProcess();
    ::HANDLE own = nullptr;
    if (!::DuplicateHandle(self, H(process), self, &own, SYNCHRONIZE, FALSE, 0)) return PL_WAIT_FAILED;
    auto& loop = win32::MessageLoop::Instance();
    ::HANDLE wait = nullptr;
    if (loop.HasHost()) ::RegisterWaitForSingleObject(&wait, own, &WakeLoop, nullptr, INFINITE, WT_EXECUTEONLYONCE);

    const bool forever = milliseconds == PL_INFINITE;
    const std::uint64_t end = TickCount() + (forever ? 0 : milliseconds);
    DWORD result = PL_WAIT_TIMEOUT;
    for (;;) {
        if (::WaitForSingleObject(own, 0) == WAIT_OBJECT_0) {
            result = PL_WAIT_OBJECT_0;
            break;
        }
        if (loop.QuitPending()) break;
        std::uint64_t now = TickCount();
        if (!forever && now >= end) break;
        ::DWORD left = forever ? INFINITE : static_cast<::DWORD>(end - now);
        if (loop.HasHost()) {
            loop.Iterate(forever ? -1 : static_cast<int>(left));
            continue;
        }
        // The process and the message queue together: no processor time while idle.
        ::DWORD r = ::MsgWaitForMultipleObjectsEx(1, &own, left, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (r == WAIT_OBJECT_0) {
            result = PL_WAIT_OBJECT_0;
            break;
        }
        if (r == WAIT_OBJECT_0 + 1) {
            loop.RunReady();
        } else if (r == WAIT_FAILED) {
            result = PL_WAIT_FAILED;
            break;
        }
    }
    ::DWORD error = ::GetLastError();
    if (wait) ::UnregisterWaitEx(wait, win32::InvalidHandle());
    ::CloseHandle(own);
    ::SetLastError(error);
    return result;
}

bool CloseHandle(HANDLE handle) { return ::CloseHandle(H(handle)) != 0; }

bool StartProcess(const std::string& program, const std::string& arguments, int showCommand) {
    std::string commandLine = "\"" + program + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    std::wstring wideLine = win32::Wide(commandLine);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(showCommand);
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(win32::Wide(program).c_str(), wideLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi))
        return false;
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return true;
}

UINT SetErrorMode(UINT mode) { return ::SetErrorMode(mode); }

DWORD GetCurrentProcessId() { return win32::Dw(::GetCurrentProcessId()); }

}  // namespace plat
