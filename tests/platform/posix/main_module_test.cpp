// The start-up module's file helpers where only POSIX has the case: a file in a
// folder without write access.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/MainModule.h"
#include "tests/common/RegistrySandbox.h"
#include "tests/common/TestUtil.h"

using namespace testutil;

TEST(KillFile, FalseForAFileInAFolderWithoutWriteAccess) {
    // Root may delete anything, so the check runs as "nobody" in a child process.
    TempDir dir;
    std::filesystem::create_directory(dir / "locked");
    WriteFile(dir / "locked/f", "x");
    std::filesystem::permissions(dir.path(), static_cast<std::filesystem::perms>(0755));
    std::filesystem::permissions(dir / "locked", static_cast<std::filesystem::perms>(0555));
    EXPECT_EQ(RunWithoutWriteAccess(dir / "locked", [&]() -> std::string {
                  return nl::KillFile(dir / "locked/f") ? "KillFile answered true for a file it could not delete" : "";
              }),
              "");
    EXPECT_TRUE(Exists(dir / "locked/f"));
}
