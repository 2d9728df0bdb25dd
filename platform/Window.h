// Windows, posted messages, timers and the message loop.
//
// Everything here is called on the user-interface thread, except PostMessageA,
// which any thread may call (helper threads post their results this way).
// Delivery into a destroyed window never happens: messages and timers for a
// window that is gone are dropped, and handles are never reused.
#pragma once

#include <functional>
#include <string>

#include "platform/Types.h"

namespace plat {

// Registers a message number by name. The same name (compared without regard
// to case) always yields the same number, in the range 0xC000..0xFFFF.
UINT RegisterWindowMessageA(const std::string& name);

// Creates a hidden message window ("STATIC" class, never visible) with a caption.
// Its initial procedure is DefWindowProcA. Returns 0 on failure.
HWND CreateMessageWindow(const std::string& caption);

// Creates a top-level application window (a form). While at least one such window
// exists RunMessageLoop keeps running; the GUI front ends attach their widgets to it.
HWND CreateTopLevelWindow(const std::string& caption);

// Sends PL_WM_DESTROY to the window's procedure, kills its timers and forgets it.
// Messages still queued for it are dropped. Returns false for an unknown handle.
bool DestroyWindow(HWND hwnd);

bool IsWindow(HWND hwnd);
std::string GetWindowTextA(HWND hwnd);

// Replaces the window procedure and returns the previous one (nullptr on failure).
WindowProc SetWindowProc(HWND hwnd, WindowProc proc);
WindowProc GetWindowProc(HWND hwnd);
LRESULT CallWindowProcA(WindowProc proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// Queues a message for the window. Thread-safe. False when the window is unknown.
bool PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// Calls the window procedure at once (UI thread only). 0 for an unknown window.
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

// A timer delivers PL_WM_TIMER with wParam = id to the window every `ms` milliseconds.
// Setting an existing id again restarts it with the new interval. At most one tick
// of a timer is pending at a time, as on Windows.
bool SetTimer(HWND hwnd, UINT id, UINT ms);
bool KillTimer(HWND hwnd, UINT id);

// Runs the message loop until PostQuitMessage is called or no top-level window is
// left. Blocks in the platform while idle. Returns the quit code (0 when the last
// window went away).
//
// This and the waits below turn the installed loop host's loop instead of
// blocking by themselves when a host is installed (platform/LoopHost.h).
int RunMessageLoop();
void PostQuitMessage(int code);

// Dispatches everything that is ready now, without blocking (the classic DoEvents).
// Posted messages arrive in the order they were posted, also when a handler pumps
// messages itself: the inner pump goes on with the ones queued after the message
// being handled, and the outer one then with whatever is left.
void PumpMessages();

// Dispatches messages, blocking while idle, until `done` returns true, the timeout
// (milliseconds, negative = none) runs out, or a quit is posted. Returns done().
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = -1);

// Milliseconds from a monotonic clock.
std::uint64_t TickCount();

}  // namespace plat
