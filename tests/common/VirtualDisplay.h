// A virtual X display for the GTK front end's tests: Xvfb started by xvfb-run
// (in a process group of its own, stopped whole on destruction), with helpers to
// run xdotool and ImageMagick on it.
#pragma once

#include <string>
#include <vector>

#include "tests/common/TestUtil.h"

namespace testutil {

class VirtualDisplay {
public:
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    bool Up() const { return !display_.empty(); }
    // DISPLAY and XAUTHORITY for a program that should show its windows here.
    std::vector<std::string> Env() const { return {"DISPLAY=" + display_, "XAUTHORITY=" + auth_}; }
    // A shell command's output (its first line), run on the display.
    std::string Out(const std::string& command) const;
    // Runs a shell command on the display, bounded in time; its exit status.
    int Sh(const std::string& command, int timeoutSec = 15) const;

private:
    TempDir dir_;
    ProcessId pid_ = -1;
    std::string display_, auth_;
};

// True when the program is on the PATH.
bool Have(const std::string& program);

// Why the GTK tests cannot run here (a missing tool or a build without the GTK
// front end); empty when they can.
std::string GtkTestsMissing();

}  // namespace testutil
