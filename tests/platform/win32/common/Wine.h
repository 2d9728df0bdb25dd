// Whether the tests run under Wine, and Wine's help for reaching the Linux side:
// the Linux path of a Windows path, this process's Linux process id, and
// starting a Linux program. Windows' documentation is what the tests expect;
// where Wine behaves otherwise, a test names the difference through WineVersion().
#pragma once

#include <string>
#include <vector>

namespace testutil {

// Wine's version ("8.0"), or "" on Windows itself.
std::string WineVersion();

// The Linux path of a Windows path under Wine; "" on Windows or when it has none.
std::string UnixPath(const std::string& windowsPath);

// The Linux process id of this (Wine) process; 0 when it cannot be read.
long UnixProcessId();

// Starts a Linux program under Wine (argv[0] a Linux path) with its output
// discarded. Wine hands back no process handle for it; false when it did not start.
bool StartUnixProgram(const std::vector<std::string>& argv);

}  // namespace testutil

namespace testutil {

// True when the Wine process runs as the Linux user root.
bool UnixUserIsRoot();

// A child's environment block for CreateProcessW (CREATE_UNICODE_ENVIRONMENT):
// ours, with `env` ("NAME=value", UTF-8) on top; empty when `env` is.
std::wstring ChildEnvironment(const std::vector<std::string>& env);

}  // namespace testutil
