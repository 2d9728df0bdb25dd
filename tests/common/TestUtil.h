// Small helpers shared by the tests: temporary folders, whole-file reads and
// writes, and running a program with its output captured.
#pragma once

#include <string>
#include <vector>

namespace testutil {

// A process started by a test (a pid on POSIX).
using ProcessId = long long;

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Clears what would stop a file's removal (a read-only permission or attribute).
void MakeRemovable(const std::string& path);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);
bool Exists(const std::string& path);

// Processor time (user + system) this process has used so far, in seconds.
double CpuSeconds();

// Paths of the build and source folders.
std::string BuildDir();
std::string SourceDir();

struct RunResult {
    int exitCode = -1;  // -1 when the program did not exit normally
    std::string out;    // stdout and stderr together
};
// Runs argv[0] with the given arguments and extra environment ("NAME=value"),
// waiting at most timeoutSec seconds (then the program is killed). An argv[0]
// such as /usr/bin/sha256sum names one of the system's own programs: under Wine,
// the Linux side's.
RunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
              int timeoutSec = 60);

// Whether the tests run on Windows (or under Wine), where Windows' documented
// answers differ from the Linux build's.
#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

// The Wine version the tests run under ("8.0"); "" on Linux and on Windows itself.
std::string WineVersion();

// A path in the form the system itself gives back (GetFullPathNameA and the like):
// with backslashes on Windows, as it is on POSIX.
std::string NativePath(const std::string& path);

// The name the system gives a language identifier: windowsName, as Windows names
// it, except under Wine, whose VerLanguageNameA names languages its own way
// (tests/platform/win32/version_calls_test.cpp records how); there, Wine's name.
std::string LanguageName(unsigned id, const std::string& windowsName);

// The single-byte text the system's ANSI calls give for UTF-16 text (text of the
// Basic Multilingual Plane and surrogate pairs, as code units): UTF-8 on POSIX,
// the Linux build's ANSI code page; the ANSI code page's on Windows, where what
// it cannot hold becomes its default character.
std::string AnsiText(const std::u16string& text);

// The path the system's own programs know a file by: the same path on POSIX, the
// Linux path under Wine; "" where they cannot reach it (Windows itself).
std::string SystemPath(const std::string& path);

}  // namespace testutil
