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
    if (hadOld_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

void ScopedEnv::Set(const std::string& value) { setenv(name_.c_str(), value.c_str(), 1); }

}  // namespace testutil
