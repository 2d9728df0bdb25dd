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
// waiting at most timeoutSec seconds (then the program is killed).
RunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
              int timeoutSec = 60);

}  // namespace testutil
