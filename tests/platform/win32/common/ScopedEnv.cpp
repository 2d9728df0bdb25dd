// The C runtime keeps its own copy of the environment; _putenv changes it and
// the process's own (what GetEnvironmentVariable and GetTempPath read) together.
#include "tests/common/ScopedEnv.h"

#include <cstdlib>

namespace testutil {

void SetVariable(const std::string& name, const std::string& value) { _putenv((name + "=" + value).c_str()); }
// "NAME=" removes the variable.
void RemoveVariable(const std::string& name) { _putenv((name + "=").c_str()); }

}  // namespace testutil
