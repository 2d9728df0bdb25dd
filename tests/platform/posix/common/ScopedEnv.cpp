#include "tests/common/ScopedEnv.h"

#include <cstdlib>

namespace testutil {

void SetVariable(const std::string& name, const std::string& value) { setenv(name.c_str(), value.c_str(), 1); }
void RemoveVariable(const std::string& name) { unsetenv(name.c_str()); }

}  // namespace testutil
