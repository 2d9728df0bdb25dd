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
};

// Starts argv[0] (a path) with the arguments; returns its pid, or -1.
ProcessId Spawn(const std::vector<std::string>& argv, const SpawnOptions& options = {});

// Waits at most timeoutMs for the process to end and reaps it. Returns its exit
// code, -1 when it was killed by a signal, -2 when it was still running (it is
// then killed and reaped).
int WaitExit(ProcessId pid, int timeoutMs);

// Asks the process to end (it may clean up first).
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

}  // namespace testutil
