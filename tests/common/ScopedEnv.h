// An environment variable of this process set for a while: the value it had
// (or its absence) comes back when the object goes. The system's own calls and
// the C runtime both see the change.
#pragma once

#include <string>

#include "tests/common/TestUtil.h"

namespace testutil {

class ScopedEnv {
public:
    ScopedEnv(const std::string& name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void Set(const std::string& value);

private:
    std::string name_, old_;
    bool hadOld_ = false;
};

// The system's side: sets a variable for the C runtime and the system's own
// calls together, and removes one.
void SetVariable(const std::string& name, const std::string& value);
void RemoveVariable(const std::string& name);

// The variable that names the temporary folder: TMPDIR on POSIX; on Windows TMP,
// the first one GetTempPath reads.
inline constexpr const char* kTempFolderVariable = kWindows ? "TMP" : "TMPDIR";

}  // namespace testutil
