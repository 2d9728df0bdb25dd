// Starting a Linux server from a test under Wine (NginxServer.cpp). Internal to
// tests/platform/win32/common.
#pragma once

#include <string>
#include <vector>

#include "tests/common/TestUtil.h"

namespace testutil {

// Starts the first of `programs` found with `args` through unix-server.sh and
// waits up to 10 s until it accepts connections on `port`; as root, the Linux
// folder `give` ("-" for none) is handed to the user nobody first. Returns the
// server's number for StopProcess, or -1.
ProcessId StartUnixServer(const std::vector<std::string>& programs, const std::vector<std::string>& args, int port,
                          const std::string& give);

}  // namespace testutil
