// A virtual X display from xvfb-run (1024 x 768, 24 bits), in its own process
// group, stopped whole on destruction. For the GTK front end's tests.
#pragma once

#include <string>
#include <vector>

#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"

namespace testutil {

class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool Up() const { return !display_.empty(); }
    // DISPLAY and XAUTHORITY for a program that shows its windows there.
    std::vector<std::string> Env() const { return {"DISPLAY=" + display_, "XAUTHORITY=" + auth_}; }
    // A shell command's output (the first line), run on the display.
    std::string Out(const std::string& command) const;
    // Runs a shell command on the display, bounded in time; its exit status.
    int Sh(const std::string& command, int timeoutSec = 15) const;

private:
    TempDir dir_;
    ProcessId pid_ = -1;
    std::string display_, auth_;
};

// The program is on the PATH.
bool HaveProgram(const std::string& program);

}  // namespace testutil
