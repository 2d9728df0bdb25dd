// The single-instance check: the previous-instance indication of the host. On
// Windows a named mutex; on Linux an exclusive lock on a file in the temporary
// folder, which the system releases when its holder dies however it ends.
#pragma once

#include <string>

namespace plat {

// Claims the instance named `name` for the rest of this process's life. False
// when another running process holds it. Claiming again in the same process
// succeeds.
bool ClaimSingleInstance(const std::string& name);

}  // namespace plat
