// The C runtime keeps its own copy of the environment; _putenv changes it and
// the process's own (what GetEnvironmentVariable and GetTempPath read) together.
#include "tests/common/ScopedEnv.h"

#include <cstdlib>

namespace testutil {

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name.c_str())) {
        hadOld_ = true;
        old_ = old;
    }
    Set(value);
}

ScopedEnv::~ScopedEnv() {
    // "NAME=" removes the variable.
    _putenv((name_ + "=" + (hadOld_ ? old_ : std::string())).c_str());
}

void ScopedEnv::Set(const std::string& value) { _putenv((name_ + "=" + value).c_str()); }

}  // namespace testutil
