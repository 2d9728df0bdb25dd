// Background programs on Windows: CreateProcess, the process's times, and waits
// with a limit. A ProcessId is the Windows process id; the helper keeps the
// process handle until the program has been waited for.
#include "tests/common/SpawnUtil.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/WideText.h"
#include "tests/platform/win32/common/Wine.h"

namespace testutil {

namespace {

std::mutex g_mu;
std::map<ProcessId, HANDLE> g_children;

HANDLE Handle(ProcessId pid) {
    std::lock_guard<std::mutex> lk(g_mu);
    auto it = g_children.find(pid);
    return it == g_children.end() ? nullptr : it->second;
}

void Forget(ProcessId pid) {
    std::lock_guard<std::mutex> lk(g_mu);
    auto it = g_children.find(pid);
    if (it == g_children.end()) return;
    CloseHandle(it->second);
    g_children.erase(it);
}

std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

ProcessId Spawn(const std::vector<std::string>& argv, const SpawnOptions& options) {
    if (argv.empty()) return -1;
    std::wstring block = ChildEnvironment(options.env);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileW(plat::win32::Wide(options.outputFile.empty() ? "NUL" : options.outputFile).c_str(), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string line;
    for (const auto& a : argv) line += (line.empty() ? "" : " ") + Quote(a);
    std::wstring commandLine = plat::win32::Wide(line);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    HANDLE in = options.inputFile.empty()
                    ? INVALID_HANDLE_VALUE
                    : CreateFileW(plat::win32::Wide(options.inputFile).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    si.hStdInput = in != INVALID_HANDLE_VALUE ? in : GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi{};
    // Windows has no file-size limit per process: fileSizeLimit is not applied.
    const BOOL ok = CreateProcessW(plat::win32::Wide(argv[0]).c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                   CREATE_UNICODE_ENVIRONMENT,
                                   block.empty() ? nullptr : block.data(), nullptr, &si, &pi);
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    if (!ok) return -1;
    CloseHandle(pi.hThread);
    std::lock_guard<std::mutex> lk(g_mu);
    g_children[pi.dwProcessId] = pi.hProcess;
    return pi.dwProcessId;
}

int WaitExit(ProcessId pid, int timeoutMs) {
    HANDLE h = Handle(pid);
    if (!h) return -1;
    if (WaitForSingleObject(h, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) {
        TerminateProcess(h, 1);
        WaitForSingleObject(h, INFINITE);
        Forget(pid);
        return -2;
    }
    DWORD code = 0;
    GetExitCodeProcess(h, &code);
    Forget(pid);
    return static_cast<int>(code);
}

// Windows asks a program to end as the session ends (log-off, shut-down): each
// of its top-level windows is asked whether the session may end, and then told
// whether it ends: not when a window said no. A program without a window has no
// such request: Terminate ends it, as Kill does.
using WindowsOf = std::pair<DWORD, std::vector<HWND>>;  // a process, and its top-level windows

BOOL CALLBACK CollectWindow(HWND w, LPARAM p) {
    auto* f = reinterpret_cast<WindowsOf*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == f->first) f->second.push_back(w);
    return TRUE;
}

void Terminate(ProcessId pid) {
    WindowsOf found{static_cast<DWORD>(pid), {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&found));
    if (found.second.empty()) {
        if (HANDLE h = Handle(pid)) TerminateProcess(h, 1);
        return;
    }
    bool ends = true;
    for (HWND w : found.second) {
        DWORD_PTR yes = TRUE;
        SendMessageTimeoutW(w, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &yes);
        ends = ends && yes;
    }
    DWORD_PTR answer = 0;
    for (HWND w : found.second)
        SendMessageTimeoutW(w, WM_ENDSESSION, ends, ENDSESSION_LOGOFF, SMTO_ABORTIFHUNG, 10000, &answer);
}

void Kill(ProcessId pid) {
    if (HANDLE h = Handle(pid)) {
        TerminateProcess(h, 1);
        WaitExit(pid, 2000);
    }
}

bool IsRunning(ProcessId pid) {
    HANDLE h = Handle(pid);
    if (h) return WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    HANDLE other = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (!other) return false;
    const bool running = WaitForSingleObject(other, 0) == WAIT_TIMEOUT;
    CloseHandle(other);
    return running;
}

double CpuSecondsOf(ProcessId pid) {
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!h) return -1;
    FILETIME created, exited, kernel, user;
    const BOOL ok = GetProcessTimes(h, &created, &exited, &kernel, &user);
    CloseHandle(h);
    if (!ok) return -1;
    auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 1e7;
}

bool WaitForFile(const std::string& path, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        WIN32_FILE_ATTRIBUTE_DATA d{};
        if (GetFileAttributesExW(plat::win32::Wide(path).c_str(), GetFileExInfoStandard, &d) && (d.nFileSizeLow || d.nFileSizeHigh))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < deadline);
    return false;
}

}  // namespace testutil

namespace testutil {

// tests\probe.exe (tests/platform/win32/programs/probe.cpp): run with a time it
// sleeps that long; run bare it writes its identifier into "<its path>.started".
ProcessId SpawnSleeper(int ms) { return Spawn({BuildDir() + "\\tests\\probe.exe", std::to_string(ms)}); }

std::string MarkerProgram(const std::string& trailer) { return ReadFile(BuildDir() + "\\tests\\probe.exe") + trailer; }

}  // namespace testutil
