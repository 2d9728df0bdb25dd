// novalink-get given a symbolic link: the file it leads to is replaced, with its
// permissions, and the link stays a link.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "tests/common/NginxServer.h"
#include "tests/common/TestUtil.h"

using namespace testutil;

TEST(NovalinkGetLink, TheFileALinkLeadsToIsReplaced) {
    namespace fs = std::filesystem;
    NginxServer nginx;
    ASSERT_TRUE(nginx.Running());
    const std::string data = RandomBytes(300000, 5);
    nginx.Put("files/new.bin", data);
    TempDir dir;
    const std::string file = dir / "existing";
    WriteFile(file, RandomBytes(1000, 6));
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(file, mode);
    fs::create_symlink("existing", dir / "link");

    RunResult r = testutil::Run({BuildDir() + "/novalink-get", "-o", dir / "link",
                       "http://127.0.0.1:" + std::to_string(nginx.Port()) + "/files/new.bin"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find(dir / "link: 293.0 KiB written"), std::string::npos) << r.out;
    EXPECT_TRUE(ReadFile(file) == data);
    EXPECT_EQ(fs::status(file).permissions(), mode);
    EXPECT_TRUE(fs::is_symlink(dir / "link"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2)
        << "a temporary file was left behind";
}
