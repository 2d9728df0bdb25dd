// Processes: opening a running process by its identifier and waiting for its
// end (OpenProcess, WaitForSingleObject, MsgWaitForMultipleObjects, CloseHandle),
// starting a program without waiting for it (CreateProcess), and the process's
// error mode (SetErrorMode).
#pragma once

#include <string>

#include "platform/Types.h"

namespace plat {

constexpr DWORD PL_SYNCHRONIZE = 0x00100000;

constexpr DWORD PL_WAIT_OBJECT_0 = 0;
constexpr DWORD PL_WAIT_TIMEOUT = 258;
constexpr DWORD PL_WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD PL_INFINITE = 0xFFFFFFFF;

constexpr int PL_SW_SHOWNORMAL = 1;

constexpr UINT PL_SEM_FAILCRITICALERRORS = 0x0001;
constexpr UINT PL_SEM_NOGPFAULTERRORBOX = 0x0002;

// A handle on a running process, 0 when there is none: identifier 0, a process
// that has ended or does not exist (PL_ERROR_INVALID_PARAMETER), or no access.
HANDLE OpenProcess(DWORD desiredAccess, bool inheritHandle, DWORD processId);

// PL_WAIT_OBJECT_0 once the process has ended, PL_WAIT_TIMEOUT when it still runs
// after `milliseconds` (0 = just look), PL_WAIT_FAILED for a bad handle.
DWORD WaitForSingleObject(HANDLE process, DWORD milliseconds);

// Waits for the process to end while the message loop keeps dispatching: the
// thread blocks on the process and the message queue together, so the wait
// costs no processor time. Under a loop host (platform/LoopHost.h) the wait turns
// the host's loop, and the process's end reaches the host through LoopBackendFd. Returns PL_WAIT_OBJECT_0 when the process ended,
// PL_WAIT_TIMEOUT when `milliseconds` (PL_INFINITE = no limit) ran out or a quit was
// posted, PL_WAIT_FAILED for a bad handle.
DWORD WaitForProcessPumping(HANDLE process, DWORD milliseconds);

bool CloseHandle(HANDLE handle);

// Starts a program with the given command-line arguments (may be empty) and
// does not wait for it. The program runs on its own: it outlives this process,
// inherits none of its open handles, and is never left as a zombie. `showCommand`
// is the window state asked for (PL_SW_SHOWNORMAL); it has no meaning on Linux.
// False (with GetLastError) when the program could not be started.
bool StartProcess(const std::string& program, const std::string& arguments, int showCommand);

// Sets the process's error mode and returns the previous one. With
// PL_SEM_NOGPFAULTERRORBOX a fault shows no crash report: on Linux no core dump is
// written for it.
UINT SetErrorMode(UINT mode);

// The identifier of this process.
DWORD GetCurrentProcessId();

}  // namespace plat
