// The version fixtures: program files built from tests/support/fixtures/ by the
// mingw-w64 tools when the build has them. Without those tools the build makes no
// fixtures, and the tests that need them skip themselves, naming what is missing.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testutil {

// The path of a built fixture (build/tests/support/fixtures/<name>).
std::string Fixture(const std::string& name);
// Why the fixtures were not built; empty when they were.
std::string FixturesMissing();

}  // namespace testutil

// Skips the running test when the fixtures were not built.
#define NL_SKIP_WITHOUT_FIXTURES()                                                            \
    if (const std::string fixturesMissing_ = ::testutil::FixturesMissing(); !fixturesMissing_.empty()) \
    GTEST_SKIP() << fixturesMissing_
