// The main of every test program: googletest's, run in a working folder of its
// own that is made for the run and removed after it. A file a test writes by a
// relative name lands there, never in the folder the program was started from
// (a file named "-" once landed in the sources' root that way).
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/common/TestUtil.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const std::filesystem::path started = std::filesystem::current_path();
    int result = 0;
    {
        testutil::TempDir work;
        std::filesystem::current_path(work.path());
        result = RUN_ALL_TESTS();
        // Out again, so that the folder can go (Windows keeps a working folder).
        std::filesystem::current_path(started);
    }
    return result;
}
