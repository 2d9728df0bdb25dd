// Profile files rewritten on POSIX keep the file's own permissions.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Profile.h"
#include "tests/common/TestUtil.h"

TEST(ProfileModes, RewrittenFileKeepsItsPermissions) {
    testutil::TempDir dir;
    const std::string f = dir / "state.ini";
    testutil::WriteFile(f, "[Info]\nVer=1.0\n");
    std::filesystem::permissions(f, static_cast<std::filesystem::perms>(0640));
    ASSERT_TRUE(plat::WritePrivateProfileStringA("Info", "Ver", "2.0", f));
    ASSERT_TRUE(plat::WritePrivateProfileStringA("Info", "Size", "42", f));
    EXPECT_EQ(testutil::ReadFile(f), "[Info]\nVer=2.0\nSize=42\n");
    EXPECT_EQ(static_cast<unsigned>(std::filesystem::status(f).permissions()), 0640u)
        << "the rewritten file keeps its permissions";
}
