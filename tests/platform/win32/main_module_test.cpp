// The start-up module's file helpers where only Windows has the case: a file
// that another open handle keeps from being deleted.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include "app/MainModule.h"
#include "tests/common/TestUtil.h"

using namespace testutil;

TEST(KillFile, FalseForAFileHeldOpenWithoutDeleteSharing) {
    TempDir dir;
    const std::string path = dir / "f";
    WriteFile(path, "x");
    HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_FALSE(nl::KillFile(path));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(Exists(path));
    CloseHandle(held);
    EXPECT_TRUE(nl::KillFile(path)) << "deleted once the handle is closed";
    EXPECT_FALSE(Exists(path));
}
