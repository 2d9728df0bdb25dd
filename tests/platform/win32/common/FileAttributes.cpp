#include "tests/common/FileAttributes.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace testutil {

void MarkHidden(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
    EXPECT_TRUE(SetFileAttributesA(path.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN)) << path << ": " << GetLastError();
}

}  // namespace testutil
