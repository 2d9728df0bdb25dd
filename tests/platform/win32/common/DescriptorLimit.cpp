// Windows has no per-process descriptor limit to lower: the guard never becomes
// active, and the tests that need it skip those cases.
#include "tests/common/DescriptorLimit.h"

namespace testutil {

NoFreeDescriptors::NoFreeDescriptors() = default;
void NoFreeDescriptors::Restore() { active_ = false; }

}  // namespace testutil
