#include "tests/platform/win32/common/Wine.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <fstream>

namespace testutil {

namespace {

FARPROC NtdllCall(const char* name) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll ? GetProcAddress(ntdll, name) : nullptr;
}

std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    for (char c : arg) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

}  // namespace

std::string WineVersion() {
    using Fn = const char*(__cdecl*)();
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(NtdllCall("wine_get_version")));
    return fn ? fn() : "";
}

std::string UnixPath(const std::string& windowsPath) {
    // kernel32's wine_get_unix_file_name: a Wine extension, absent on Windows.
    using Fn = char*(__cdecl*)(const wchar_t*);
    HMODULE k32 = GetModuleHandleA("kernel32.dll");
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(k32, "wine_get_unix_file_name")));
    if (!fn || windowsPath.empty()) return "";
    const int n = MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, windowsPath.c_str(), -1, wide.data(), n);
    char* unix = fn(wide.c_str());
    if (!unix) return "";
    std::string out = unix;
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

long UnixProcessId() {
    // Opened by this process, /proc/self is the Wine process's own entry.
    std::ifstream in("Z:\\proc\\self\\stat");
    long pid = 0;
    in >> pid;
    return pid;
}

bool StartUnixProgram(const std::vector<std::string>& argv) {
    if (argv.empty() || WineVersion().empty()) return false;
    // Wine runs a Linux program named by its path on drive Z: as a Linux process
    // of its own (CreateProcess succeeds without a process to wait for).
    std::string app = "Z:" + argv[0];
    for (char& c : app)
        if (c == '/') c = '\\';
    std::string commandLine;
    for (const auto& a : argv) commandLine += (commandLine.empty() ? "" : " ") + Quote(a);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(app.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    if (pi.hProcess) CloseHandle(pi.hProcess);
    if (pi.hThread) CloseHandle(pi.hThread);
    return true;
}

}  // namespace testutil

namespace testutil {

bool UnixUserIsRoot() {
    std::ifstream in("Z:\\proc\\self\\status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("Uid:", 0) == 0) return line.find_first_not_of(" \t", 4) != std::string::npos &&
                                               line[line.find_first_not_of(" \t", 4)] == '0';
    return false;
}

}  // namespace testutil
