// A program file counts as in use while some process runs it, holds it open or
// maps it; a copy onto it is then refused as Windows refuses it. A new program
// file can be made executable.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/Errors.h"
#include "platform/Files.h"
#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"

using namespace testutil;

namespace {

bool WaitInUse(const std::string& path, bool expected) {
    for (int i = 0; i < 100; ++i) {
        if (plat::FileInUse(path) == expected) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

}  // namespace

TEST(FileInUse, RunningHeldOpenOrMappedAndThenFree) {
    TempDir dir;
    const std::string program = dir / "program", data = dir / "data", package = dir / "package";
    std::filesystem::copy_file("/bin/sleep", program);
    WriteFile(data, "data");
    WriteFile(package, "new");
    EXPECT_FALSE(plat::FileInUse(program));
    EXPECT_FALSE(plat::FileInUse(dir / "missing"));

    struct Holder {
        const char* what;
        std::vector<std::string> argv;
        std::string file;
    };
    const Holder holders[] = {
        {"runs it", {program, "30"}, program},
        {"holds it open", {"/bin/sh", "-c", "exec sleep 30 3<'" + data + "'"}, data},
    };
    for (const Holder& h : holders) {
        SCOPED_TRACE(h.what);
        ProcessId p = Spawn(h.argv);
        ASSERT_GT(p, 0);
        EXPECT_TRUE(WaitInUse(h.file, true));
        const std::string before = ReadFile(h.file);
        EXPECT_FALSE(plat::CopyFileA(package, h.file, false));
        EXPECT_EQ(plat::GetLastError(), static_cast<plat::DWORD>(plat::PL_ERROR_SHARING_VIOLATION));
        EXPECT_TRUE(ReadFile(h.file) == before);
        Kill(p);
        EXPECT_TRUE(WaitInUse(h.file, false));
        EXPECT_TRUE(plat::CopyFileA(package, h.file, false));
        EXPECT_EQ(ReadFile(h.file), "new");
    }

    // A mapping of this process counts too.
    WriteFile(data, std::string(4096, 'm'));
    int fd = open(data.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    void* map = mmap(nullptr, 4096, PROT_READ, MAP_PRIVATE, fd, 0);
    close(fd);
    ASSERT_NE(map, MAP_FAILED);
    EXPECT_TRUE(plat::FileInUse(data));
    munmap(map, 4096);
    EXPECT_FALSE(plat::FileInUse(data));
}

TEST(FileInUse, MarkExecutableFollowsTheReadPermissions) {
    TempDir dir;
    const std::string file = dir / "setup";
    WriteFile(file, "#!/bin/sh\n");
    std::filesystem::permissions(file, static_cast<std::filesystem::perms>(0640));
    ASSERT_TRUE(plat::MarkExecutable(file));
    EXPECT_EQ(static_cast<unsigned>(std::filesystem::status(file).permissions()), 0750u);
    EXPECT_FALSE(plat::MarkExecutable(dir / "missing"));
}
