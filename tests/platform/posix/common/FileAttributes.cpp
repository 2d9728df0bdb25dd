#include "tests/common/FileAttributes.h"

#include <gtest/gtest.h>

namespace testutil {

void MarkHidden(const std::string& path) {
    const std::string name = path.substr(path.find_last_of('/') + 1);
    EXPECT_EQ(name.rfind('.', 0), 0u) << path << " is not hidden on POSIX: its name does not start with a dot";
}

}  // namespace testutil
