#include "tests/common/Fixtures.h"

#include "tests/common/TestUtil.h"
#include "tests/FixturesState.h"  // generated: NOVALINK_FIXTURES_MISSING

namespace testutil {

std::string Fixture(const std::string& name) { return NativePath(BuildDir() + "/tests/support/fixtures/" + name); }

std::string FixturesMissing() {
#ifdef NOVALINK_FIXTURES_MISSING
    return "the version fixtures were not built: " NOVALINK_FIXTURES_MISSING;
#else
    return "";
#endif
}

}  // namespace testutil
