// Starting programs in the background for tests that watch them while they run:
// spawn, look at their processor time, wait for their end with a limit.
#pragma once

#include <string>
#include <vector>

#include "tests/common/TestUtil.h"

namespace testutil {

struct SpawnOptions {
    std::vector<std::string> env;  // extra "NAME=value" entries
    long fileSizeLimit = -1;       // RLIMIT_FSIZE in bytes (writes beyond it fail), -1 = none
    std::string outputFile;        // stdout and stderr go here; empty = /dev/null
    std::string inputFile;         // stdin comes from here; empty = the test's own
};

// Starts argv[0] (a path) with the arguments; returns its pid, or -1.
ProcessId Spawn(const std::vector<std::string>& argv, const SpawnOptions& options = {});

// Waits at most timeoutMs for the process to end and reaps it. Returns its exit
// code, -1 when it was killed by a signal, -2 when it was still running (it is
// then killed and reaped).
int WaitExit(ProcessId pid, int timeoutMs);

// Asks the process to end (it may clean up first): SIGTERM on POSIX, the end of
// the session (log-off) to its windows on Windows.
void Terminate(ProcessId pid);
// Ends the process at once, if it still runs, and reaps it.
void Kill(ProcessId pid);

// True while the process runs (not yet ended).
bool IsRunning(ProcessId pid);

// User plus system processor time of a running (or not yet reaped) process, in
// seconds, from /proc/<pid>/stat; negative when it cannot be read.
double CpuSecondsOf(ProcessId pid);

// Waits at most timeoutMs until the file exists and is not empty.
bool WaitForFile(const std::string& path, int timeoutMs);

// ---- stand-ins for the product's programs ----

// What a program file's name ends with: ".exe" on Windows, nothing on POSIX.
inline constexpr const char* kProgramSuffix = kWindows ? ".exe" : "";

// One of the build's own programs by its name: BuildDir() + name + kProgramSuffix.
std::string BuildProgram(const std::string& name);

// Starts a program that runs for `ms` milliseconds and then exits with 0: the
// system's sleep on POSIX, the tests' own probe.exe on Windows. -1 when it did
// not start.
ProcessId SpawnSleeper(int ms);

// The bytes of a program file that, when started, writes its process identifier
// (a decimal line) into StartedMarker(<the path it was started by>) and exits: a
// shell script on POSIX, the tests' own probe.exe on Windows. `trailer` follows
// the program without changing what it does (after an "exit" on POSIX, after
// the image on Windows).
std::string MarkerProgram(const std::string& trailer = "");
// Where a MarkerProgram started as `program` writes its process identifier.
inline std::string StartedMarker(const std::string& program) { return program + ".started"; }
// True when `marker` is what a MarkerProgram writes: one decimal process
// identifier on a line.
bool IsStartedMarker(const std::string& marker);

// The environment entries that give a started program `folder` as its
// temporary folder (TMPDIR on POSIX, TMP on Windows).
std::vector<std::string> TempFolderEnv(const std::string& folder);

}  // namespace testutil
