// Every test program's main: googletest's, in a working folder of its own made
// for the run, so that a file written by a relative name never lands where the
// program was started (a file named "-" once landed in the sources' root).
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/common/TestUtil.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const std::filesystem::path started = std::filesystem::current_path();
    testutil::TempDir work;
    std::filesystem::current_path(work.path());
    const int result = RUN_ALL_TESTS();
    std::filesystem::current_path(started);  // Windows removes no working folder
    return result;
}
