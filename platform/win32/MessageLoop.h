// The user-interface thread's windows and message loop on Windows: the product's
// window handles (plain numbers, never reused) mapped onto real windows, one
// system window procedure that forwards each message to the product procedure
// recorded for its window, and the waits on the thread's message queue.
//
// Internal to platform/win32; product code uses platform/Window.h.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/MessagePump.h"
#include "platform/Types.h"
#include "platform/win32/WinApi.h"

namespace plat::win32 {

class MessageLoop : public MessagePump {
public:
    static MessageLoop& Instance();

    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    HWND Create(const std::string& caption, bool topLevel);
    bool Destroy(HWND hwnd);
    bool IsWindow(HWND hwnd) const;
    // The real window behind a handle, nullptr when unknown. Thread-safe.
    ::HWND Real(HWND hwnd) const;
    WindowProc SetProc(HWND hwnd, WindowProc proc);
    WindowProc GetProc(HWND hwnd) const;
    int TopLevelCount() const override { return topLevel_; }

    // Dispatches what is in the queue now (bounded, so that a handler that keeps
    // re-posting cannot hold the caller). Returns whether anything was dispatched.
    bool RunReady();
    // Waits at most maxWaitMs (negative = no limit) for the queue, then dispatches.
    bool RunOnce(int maxWaitMs) override;

    // Wakes the user-interface thread's queue from any thread.
    void Wake() override;
    DWORD ThreadId() const { return threadId_; }

    // Called with each window of ours that goes away, once it is forgotten.
    void SetDestroyHook(std::function<void(HWND)> hook) { destroyHook_ = std::move(hook); }
    // Sees each message the loop takes from the queue before it is translated and
    // dispatched; true when it handled the message (a dialog's keyboard).
    void SetPreTranslate(std::function<bool(MSG&)> filter) { preTranslate_ = std::move(filter); }

private:
    MessageLoop();

    struct Window {
        ::HWND real;
        WindowProc proc;
        bool topLevel;
    };

    static ::LRESULT CALLBACK SystemProc(::HWND real, ::UINT msg, ::WPARAM w, ::LPARAM l);
    void Forget(HWND hwnd);

    mutable std::mutex mu_;  // guards windows_ (PostMessageA comes from any thread)
    std::unordered_map<HWND, Window> windows_;
    HWND next_ = 0x10000;
    int topLevel_ = 0;
    DWORD threadId_ = 0;

    std::function<void(HWND)> destroyHook_;
    std::function<bool(MSG&)> preTranslate_;
};

}  // namespace plat::win32
