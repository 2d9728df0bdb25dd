// The test helpers on Windows (and under Wine): temporary folders, files, and
// running a program with its output captured through a pipe.
#include "tests/common/TestUtil.h"

#include "tests/platform/win32/common/Wine.h"
#include "platform/win32/WideText.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <thread>

namespace testutil {

using plat::win32::Utf8;
using plat::win32::Wide;

namespace {

// A folder the build was configured with: a Linux path when the programs run
// under Wine, which sees the Linux root as drive Z:.
std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
    return path;
}

std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, '\\');
    return out + "\"";
}

}  // namespace

TempDir::TempDir() {
    wchar_t wide[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, wide);
    if (n == 0 || n > MAX_PATH) throw std::runtime_error("no temporary folder");
    const std::string base = Utf8(wide, n);
    std::mt19937 gen(std::random_device{}() ^ GetCurrentProcessId() ^ GetTickCount());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = base + "novalink-test-" + std::to_string(gen() % 100000000u);
        if (CreateDirectoryW(Wide(candidate).c_str(), nullptr)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary folder");
}

void MakeRemovable(const std::string& path) { SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL); }

bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

std::wstring ChildEnvironment(const std::vector<std::string>& env) {
    std::wstring block;
    if (env.empty()) return block;
    wchar_t* current = GetEnvironmentStringsW();
    for (wchar_t* p = current; p && *p; p += std::wcslen(p) + 1) {
        const std::wstring entry = p;
        bool replaced = false;
        for (const auto& e : env) {
            const std::wstring name = Wide(e.substr(0, e.find('=') + 1));
            if (_wcsnicmp(name.c_str(), entry.c_str(), name.size()) == 0) replaced = true;
        }
        if (!replaced) block += entry + L'\0';
    }
    if (current) FreeEnvironmentStringsW(current);
    for (const auto& e : env) block += Wide(e) + L'\0';
    return block + L'\0';
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    auto ticks = [](const FILETIME& t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return (ticks(kernel) + ticks(user)) / 1e7;
}

std::string BuildDir() {
    const char* b = std::getenv("NOVALINK_BUILD_DIR");
    return WindowsPath(b && *b ? b : NOVALINK_BUILD_DIR);
}

std::string SourceDir() {
    const char* s = std::getenv("NOVALINK_SOURCE_DIR");
    return WindowsPath(s && *s ? s : NOVALINK_SOURCE_DIR);
}

std::string SystemPath(const std::string& path) { return UnixPath(path); }

std::string NativePath(const std::string& path) {
    std::string out = path;
    for (char& c : out)
        if (c == '/') c = '\\';
    return out;
}

std::string LanguageName(unsigned id, const std::string& windowsName) {
    if (WineVersion().empty()) return windowsName;
    char name[256] = "";
    VerLanguageNameA(id, name, sizeof name);
    return name;
}

std::string AnsiText(const std::u16string& text) {
    if (text.empty()) return "";
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int units = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(CP_ACP, 0, wide, units, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_ACP, 0, wide, units, out.data(), n, nullptr, nullptr);
    return out;
}

namespace {

// A Linux program under Wine. Wine starts it with neither a process handle nor
// this side's pipes, so the Linux shell runs it, bounded in time, with its output
// in a file and its exit status in another, written last.
RunResult RunLinuxProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                          int timeoutSec) {
    RunResult r;
    TempDir dir;
    const std::string unixDir = UnixPath(dir.path());
    std::vector<std::string> shell = {"/bin/sh", "-c",
                                      "d=$0; env -- \"$@\" >\"$d/out\" 2>&1; echo $? >\"$d/code.new\"; "
                                      "mv \"$d/code.new\" \"$d/code\"",
                                      unixDir};
    shell.insert(shell.end(), env.begin(), env.end());
    shell.insert(shell.end(), {"timeout", "-k", "1", std::to_string(timeoutSec)});
    shell.insert(shell.end(), argv.begin(), argv.end());
    if (unixDir.empty() || !StartUnixProgram(shell)) return r;
    const DWORD until = GetTickCount() + static_cast<DWORD>(timeoutSec + 5) * 1000;
    while (!Exists(dir / "code") && static_cast<LONG>(until - GetTickCount()) > 0) Sleep(10);
    if (!Exists(dir / "code")) return r;
    r.out = ReadFile(dir / "out");
    r.exitCode = std::atoi(ReadFile(dir / "code").c_str());
    // timeout's code for a program it ended, and the shell's for one a signal ended.
    if (r.exitCode == 124 || r.exitCode > 128) r.exitCode = -1;
    return r;
}

}  // namespace

RunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env, int timeoutSec) {
    RunResult r;
    if (argv.empty()) return r;
    if (argv[0][0] == '/' && !WineVersion().empty()) return RunLinuxProgram(argv, env, timeoutSec);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return r;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::wstring block = ChildEnvironment(env);
    std::string line;
    for (const auto& a : argv) line += (line.empty() ? "" : " ") + Quote(a);
    std::wstring commandLine = Wide(line);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                  block.empty() ? nullptr : block.data(), nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return r;
    }
    // The output is read on a thread of its own so that the wait below can end
    // the program at its time limit whatever it writes.
    std::string out;
    std::thread reader([readEnd, &out] {
        char buf[4096];
        DWORD n = 0;
        while (::ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    });
    if (WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeoutSec) * 1000) != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 1);
        WaitForSingleObject(pi.hProcess, INFINITE);
    } else {
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        r.exitCode = static_cast<int>(code);
    }
    // The pipe ends when the program and whatever it started have let go of it.
    reader.join();
    CloseHandle(readEnd);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    // Windows' text-mode output ends lines with CR LF; the tests compare lines.
    r.out.reserve(out.size());
    for (std::size_t i = 0; i < out.size(); ++i)
        if (!(out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n')) r.out += out[i];
    return r;
}

}  // namespace testutil
