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
    // The child's environment: ours with the extra entries on top.
    std::string block;
    if (!options.env.empty()) {
        char* current = GetEnvironmentStringsA();
        for (char* p = current; p && *p; p += std::strlen(p) + 1) {
            std::string entry = p;
            bool replaced = false;
            for (const auto& e : options.env)
                if (_strnicmp(e.c_str(), entry.c_str(), e.find('=') + 1) == 0) replaced = true;
            if (!replaced) block += entry + '\0';
        }
        if (current) FreeEnvironmentStringsA(current);
        for (const auto& e : options.env) block += e + '\0';
        block += '\0';
    }
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out = CreateFileA(options.outputFile.empty() ? "NUL" : options.outputFile.c_str(), FILE_APPEND_DATA,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::string commandLine;
    for (const auto& a : argv) commandLine += (commandLine.empty() ? "" : " ") + Quote(a);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    HANDLE in = options.inputFile.empty()
                    ? INVALID_HANDLE_VALUE
                    : CreateFileA(options.inputFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    si.hStdInput = in != INVALID_HANDLE_VALUE ? in : GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = out;
    PROCESS_INFORMATION pi{};
    // Windows has no file-size limit per process: fileSizeLimit is not applied.
    const BOOL ok = CreateProcessA(argv[0].c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
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

// Windows has no polite request to end a console program that has no window:
// Terminate ends it, as Kill does.
void Terminate(ProcessId pid) {
    if (HANDLE h = Handle(pid)) TerminateProcess(h, 1);
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
        if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d) && (d.nFileSizeLow || d.nFileSizeHigh))
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
