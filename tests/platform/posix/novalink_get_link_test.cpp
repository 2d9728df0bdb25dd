// novalink-get given a symbolic link: the file it leads to is replaced, with its
// permissions, and the link stays a link. Its settings files, which may hold
// passwords: private when new, links followed, and nothing but a small regular
// file read. Ctrl+C during a transfer.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <thread>

#include "tests/common/NginxServer.h"
#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"

using namespace testutil;

// Ctrl+C while a file that exists is being replaced: the temporary file goes,
// the old file stays as it was, and the exit code is the shell's for SIGINT.
TEST(NovalinkGetLink, CtrlCRemovesTheTemporaryFile) {
    namespace fs = std::filesystem;
    NginxServer::Options options;
    options.extraLocations = "    location /slow/ {\n      limit_rate 64k;\n    }\n";
    NginxServer nginx(options);
    ASSERT_TRUE(nginx.Running());
    nginx.Put("slow/big.bin", RandomBytes(4 * 1024 * 1024, 7));
    TempDir dir;
    const std::string file = dir / "big.bin", old = RandomBytes(1000, 8);
    WriteFile(file, old);
    const ProcessId pid = Spawn({BuildDir() + "/novalink-get", "-q", "-o", file,
                                 "http://127.0.0.1:" + std::to_string(nginx.Port()) + "/slow/big.bin"});
    ASSERT_GT(pid, 0);
    auto entries = [&] { return std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()); };
    for (int i = 0; i < 100 && entries() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(entries(), 2) << "no temporary file appeared";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(pid, SIGINT);
    EXPECT_EQ(WaitExit(pid, 10000), 130);
    EXPECT_EQ(entries(), 1) << "the temporary file was left behind";
    EXPECT_TRUE(ReadFile(file) == old);
}

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

TEST(NovalinkGetLink, SettingsFiles) {
    namespace fs = std::filesystem;
    const auto rw = fs::perms::owner_read | fs::perms::owner_write;
    TempDir dir;
    const std::string file = dir / "s.txt";
    auto run = [](const std::vector<std::string>& args) {
        std::vector<std::string> argv{BuildDir() + "/novalink-get"};
        argv.insert(argv.end(), args.begin(), args.end());
        return testutil::Run(argv, {}, 10);
    };
    // Saved: a new file is private; a link leads to the file replaced, which keeps
    // its permissions; a link to nothing stays as it is.
    const struct {
        const char* link;  // what `file` is a link to; nullptr: no link
        int exitCode;
    } saves[] = {{nullptr, 0}, {"target", 0}, {"nowhere", 5}};
    for (const auto& c : saves) {
        SCOPED_TRACE(c.link ? c.link : "new");
        for (const auto& e : fs::directory_iterator(dir.path())) fs::remove(e.path());
        if (c.link && c.exitCode == 0) {
            WriteFile(dir / c.link, "");
            fs::permissions(dir / c.link, rw | fs::perms::group_read);
        }
        if (c.link) fs::create_symlink(c.link, file);
        RunResult r = run({"--save-settings", file, "--user", "me:secret", "--head", "http://h/"});
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
        EXPECT_EQ(fs::is_symlink(file), c.link != nullptr);
        EXPECT_EQ(fs::exists(file), c.exitCode == 0);
        if (c.exitCode != 0) continue;
        EXPECT_EQ(fs::status(file).permissions(), c.link ? rw | fs::perms::group_read : rw);
        EXPECT_NE(ReadFile(file).find("secret"), std::string::npos);
    }
    // Read: nothing but a regular file of at most 1 MiB, refused at once.
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    WriteFile(dir / "large", std::string(1024 * 1024 + 1, '\n'));
    for (const std::string& path : {dir / "fifo", dir / "folder", std::string("/dev/zero"), dir / "large"}) {
        SCOPED_TRACE(path);
        const auto start = std::chrono::steady_clock::now();
        RunResult r = run({"--settings", path, "--head", "http://h/"});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_NE(r.out.find("cannot load settings from " + path), std::string::npos) << r.out;
    }
}
