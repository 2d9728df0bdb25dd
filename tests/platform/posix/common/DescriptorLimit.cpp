#include "tests/platform/posix/common/DescriptorLimit.h"

#include <sys/resource.h>

#include <exception>

#include "support/ErrorReport.h"

namespace testutil {

NoFreeDescriptors::NoFreeDescriptors() {
    // The undefined-behaviour checker probes memory through a pipe the first time
    // it meets a dynamic type; let it meet the error types while a pipe can still
    // be had, since errors are what the code under test raises next.
    try {
        nl::Raise(1, "", "");
    } catch (const nl::RaisedError& e) {
        (void)e.Number();
        const std::exception& base = e;
        (void)base.what();
    }
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    softLimit_ = limit.rlim_cur;
    limit.rlim_cur = 0;
    active_ = setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

void NoFreeDescriptors::Restore() {
    if (!active_) return;
    rlimit limit{};
    getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(softLimit_);
    setrlimit(RLIMIT_NOFILE, &limit);
    active_ = false;
}

}  // namespace testutil
