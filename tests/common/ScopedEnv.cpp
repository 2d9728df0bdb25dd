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
        SetVariable(name_, old_);
    else
        RemoveVariable(name_);
}

void ScopedEnv::Set(const std::string& value) { SetVariable(name_, value); }

}  // namespace testutil
