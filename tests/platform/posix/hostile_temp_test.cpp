// The temporary folder as another local user or a planted link leaves it: what
// is found there decides nothing the updater installs, starts, writes or
// deletes. The second user is made here (useradd) and removed afterwards.
#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "tests/app/InteractiveUpdateFixture.h"
#include "tests/app/StagedUpdateFixture.h"

using namespace testutil;

namespace {

// A second local user for the test's life (none when we may not make one), who
// is handed what the test plants, as if they had made it.
struct OtherUser {
    const std::string name = "nlprobe" + std::to_string(getpid());
    const bool made = geteuid() == 0 && Run({"useradd", "-M", "-N", "-s", "/bin/false", name}, {}, 20).exitCode == 0;
    ~OtherUser() {
        if (made) Run({"userdel", name}, {}, 20);
    }
    void Own(const std::string& path) const { Run({"chown", "-hR", name, path}, {}, 10); }
};

std::string Own() { return "novalink-" + std::to_string(geteuid()); }

}  // namespace

// "/U" with the temporary folder shared by everyone, as /tmp is.
TEST_F(StagedUpdate, WhatAnotherUserPlantsIsNeverApplied) {
    OtherUser other;
    if (!other.made) GTEST_SKIP() << "needs root and useradd to play the other user";
    std::filesystem::permissions(root_.path(), static_cast<std::filesystem::perms>(0755));
    const std::string theirs = At("theirs");
    struct Case {
        const char* what;
        std::function<void()> plant;
        int exit;
        const char* said;  // words of the one stderr line, nullptr for none
    } cases[] = {
        {"a staging folder in the shared folder", [&] { Stage(); }, nl::kStagedApplied, nullptr},
        {"the updater's own folder, made first",
         [&] { std::filesystem::create_directories(tmp_ + "/" + Own() + "/BLM_UPDATE"); },
         nl::kStagedNoTempFolder, "belongs to another user"},
        {"the updater's own folder as a link",
         [&] {
             std::filesystem::create_directories(theirs + "/BLM_UPDATE");
             std::filesystem::create_directory_symlink(theirs, tmp_ + "/" + Own());
         },
         nl::kStagedNoTempFolder, "symbolic link"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(tmp_);
        std::filesystem::remove_all(theirs);
        std::filesystem::create_directory(tmp_);
        std::filesystem::permissions(tmp_, static_cast<std::filesystem::perms>(01777));
        WriteProgram();
        c.plant();
        // Their package, complete and recorded, wherever it was planted.
        for (const std::string& f : {staging_, theirs + "/BLM_UPDATE", tmp_ + "/" + Own() + "/BLM_UPDATE"}) {
            if (!std::filesystem::is_directory(f)) continue;
            WriteFile(f + "/BLMNL.PTX", package_);
            WriteFile(f + "/BLMNL.INI", "[INFO]\r\nComplete=" + std::to_string(package_.size()) + "\r\n");
        }
        for (const std::string& f : {staging_, theirs, tmp_ + "/" + Own()})
            if (std::filesystem::exists(f)) other.Own(f);
        Reg({"add", "HKCU\\Software\\Brightloom", "/v", "Update", "/t", "REG_DWORD", "/d", "1", "/f"});

        EXPECT_EQ(Apply({"/U0"}), c.exit) << Log();
        if (c.said) {
            ExpectReason(c.said);
        }
        EXPECT_EQ(ReadFile(program_), kOldProgram);
        EXPECT_FALSE(WaitForFile(Marker(), 300)) << "their program was started";
        for (const std::string& f : {staging_ + "/BLMNL.PTX", theirs + "/BLM_UPDATE/BLMNL.PTX"})
            if (std::filesystem::exists(std::filesystem::path(f).parent_path())) {
                EXPECT_TRUE(Exists(f)) << f;
            }
    }
}

// The interactive run against hostile leftovers in its own temporary folder, a
// busy instance, and addresses and disks that fail.
TEST_F(InteractiveUpdate, HostileLeftoversAndFailuresEndClearly) {
    struct Case {
        const char* what;
        std::function<void()> prepare;
        const char* shell;  // put before the run
        int exit;
        const char* said;
        bool updated;
        std::function<void()> check = [] {};
    };
    const auto stage = [&](const std::string& ptx) {
        std::filesystem::create_directory(staging_);
        WriteFile(staging_ + "/BLMNL.INI", std::string("[INFO]\r\nVER=") + kNewer + "\r\nSize=4000\r\n");
        if (!ptx.empty()) WriteFile(Staged(), ptx);
    };
    const std::string victim = *suite_ / "victim";
    const Case cases[] = {
        {"a part longer than the server's file, and a copy left by a killed run",
         [&] {
             stage(std::string(5000, 'p'));
             WriteFile(*root_ / "app/.brightloom.novalink-copy-AbC123", "half a copy");
             std::filesystem::last_write_time(*root_ / "app/.brightloom.novalink-copy-AbC123",
                                              std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
         },
         "", 0, "fetched again", true,
         [&] { EXPECT_FALSE(Exists(*root_ / "app/.brightloom.novalink-copy-AbC123")) << "the stale copy stays"; }},
        {"the package as a link to another file",
         [&] {
             stage("");
             WriteFile(victim, "root only\n");
             std::filesystem::create_symlink(victim, Staged());
         },
         "", nl::kRunNoStagingFolder, "cannot write", false},
        {"the staging folder as a link",
         [&] {
             std::filesystem::create_directories(victim + ".d");
             WriteFile(victim + ".d/keep", "keep");
             std::filesystem::create_directory_symlink(victim + ".d", staging_);
         },
         "", nl::kRunNoStagingFolder, "is a link", false},
        {"a disk that fills up", [] {}, "trap '' XFSZ; ulimit -f 4;", nl::kRunNoStagingFolder, "File too large",
         false},
        {"an https package address on a plain server",
         [&] {
             nginx_->Put("m_update/blmnl.cfg", std::string("[Info]\r\nVER=") + kNewer +
                                                   "\r\n[Desktop]\r\nSIZE=4000\r\nDOWNLOAD=https://127.0.0.1:" +
                                                   std::to_string(nginx_->Port()) + "/files/Desktop.bin\r\n");
         },
         "", nl::kRunConnectionError, "Secure connection to 127.0.0.1 refused", false},
        {"another run under way", [] {}, "exec 9>\"$TMPDIR/.novalink-$(id -u).instance\" && flock 9 &&",
         nl::kRunOtherRun, "another run of the updater is under way", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NewSandbox();
        Install("Brightloom Desktop");
        Catalogues(kNewer);
        c.prepare();
        RunResult r = testutil::Run({"/bin/sh", "-c", std::string(c.shell) + " printf 'i\\n' | exec \"$NL_BIN\""},
                                    env_, 60);
        const std::vector<Request> requests = Requests();
        EXPECT_EQ(r.exitCode, c.exit) << r.out;
        // Nothing but the catalogue is served: a handshake sent to a plain
        // server is no request for the package.
        if (c.exit == nl::kRunConnectionError) {
            EXPECT_EQ(std::count_if(requests.begin(), requests.end(), [](const Request& q) { return q.status == "200"; }),
                      1);
        }
        EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
        EXPECT_EQ(ReadFile(program_), c.updated ? PackageFor("Desktop") : installed_);
        c.check();
    }
    // Nothing was written through a link, nor deleted behind one.
    EXPECT_EQ(ReadFile(victim), "root only\n");
    EXPECT_EQ(ReadFile(victim + ".d/keep"), "keep");
}

// Where someone else may write above the temporary folder, nothing is used: the
// run is refused before it starts. Where nobody may, a folder swapped after the
// check changes nothing either. The updater is held where it clears the Update
// flag (the test holds the registry's lock), past the temporary folder's check
// and before the staging folder is looked at, and the folder is swapped right
// then: by the other user, or by this one's own hand where the other cannot.
TEST_F(StagedUpdate, AFolderSwappedAfterItsCheckDecidesNothing) {
    OtherUser other;
    if (!other.made) GTEST_SKIP() << "needs root and useradd to play the other user";
    namespace fs = std::filesystem;
    fs::permissions(root_.path(), static_cast<fs::perms>(0755));
    const std::string home = At("home"), tmp = At("tmp"), shared = At("shared"), own = Own();
    package_ = MarkerProgram("#ours\n");
    const std::string their = MarkerProgram("#them\n");
    std::string lock;
    for (const auto& e : fs::recursive_directory_iterator(At("reg")))
        if (e.path().filename() == "HKCU.lock") lock = e.path();
    ASSERT_FALSE(lock.empty()) << "no lock file of the registry's";
    struct Case {
        const char* what;
        std::string tmpdir, mine;  // TMPDIR, the private folder
        unsigned tmpMode;          // of the shared folder "tmp"
        std::string swap;          // the shell's swap at the moment
        bool byThem;
        int exit;
        std::string said;         // words of the one stderr line, "" for none
        std::string theirsAfter;  // where their package is after the run
    } cases[] = {
        {"a shared folder that is not sticky", tmp, tmp + "/" + own, 0777,
         "mv tmp/" + own + " tmp/gone && mv home/ready tmp/" + own, true, nl::kStagedNoTempFolder,
         "may be written by others (mode 0777) and is not sticky", home + "/ready"},
        {"inside the other user's folder", home + "/tmp", home + "/tmp/" + own, 01777,
         "mv home/tmp/" + own + " home/gone && mv home/ready home/tmp/" + own, true, nl::kStagedNoTempFolder,
         "belongs to another user", home + "/ready"},
        {"through the other user's link", shared + "/tmp", tmp + "/" + own, 01777,
         "mv home/ready home/" + own + " && ln -sfn " + home + " shared/tmp", true, nl::kStagedNoTempFolder,
         "the link " + shared + "/tmp on the way to the temporary folder belongs to another user", home + "/ready"},
        {"a sticky shared folder, as /tmp is", tmp, tmp + "/" + own, 01777,
         "mv tmp/" + own + " tmp/gone; mv home/ready tmp/" + own, true, nl::kStagedApplied, "", home + "/ready"},
        {"this user's own folder replaced after its check", tmp, tmp + "/" + own, 01777,
         "mv tmp/" + own + " tmp/gone && cp -r home/ready tmp/" + own, false, nl::kStagedApplied, "",
         tmp + "/" + own},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const std::string& f : {home, tmp, shared}) fs::remove_all(f);
        fs::create_directories(home + "/ready/BLM_UPDATE");
        WriteFile(home + "/ready/BLM_UPDATE/BLMNL.PTX", their);
        WriteFile(home + "/ready/BLM_UPDATE/BLMNL.INI", "[INFO]\r\nComplete=" + std::to_string(their.size()) + "\r\n");
        if (c.tmpdir == home + "/tmp") fs::create_directory(c.tmpdir);
        other.Own(home);
        fs::create_directory(tmp);
        fs::permissions(tmp, static_cast<fs::perms>(c.tmpMode));
        fs::create_directory(shared);
        fs::permissions(shared, static_cast<fs::perms>(01777));
        fs::create_directory_symlink(tmp, shared + "/tmp");
        other.Own(shared + "/tmp");
        fs::create_directories(c.mine);
        fs::permissions(c.mine, static_cast<fs::perms>(0700));
        staging_ = c.mine + "/BLM_UPDATE";
        Stage();
        tmp_ = c.tmpdir;
        WriteProgram();
        fs::remove(Marker());
        Reg({"add", "HKCU\\Software\\Brightloom", "/v", "Update", "/t", "REG_DWORD", "/d", "1", "/f"});

        // The registry's lock, held; the updater's opening of it is the moment.
        const int held = open(lock.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_EQ(flock(held, LOCK_EX), 0);
        const int watch = inotify_init1(IN_CLOEXEC);
        inotify_add_watch(watch, lock.c_str(), IN_OPEN);
        ++logs_;  // a log of its own, as Apply gives
        const ProcessId updater = Start({"/U0"});
        pollfd ready[2] = {{watch, POLLIN, 0}, {static_cast<int>(syscall(SYS_pidfd_open, updater, 0)), POLLIN, 0}};
        poll(ready, 2, 20000);
        if (ready[0].revents & POLLIN) {
            std::vector<std::string> swap{"/bin/sh", "-c", "cd " + root_.path() + " && " + c.swap};
            if (c.byThem) swap.insert(swap.begin(), {"runuser", "-u", other.name, "--"});
            testutil::Run(swap, {}, 10);
        }
        close(ready[1].fd);
        close(watch);
        close(held);
        const int code = Finish(updater, 20000);

        EXPECT_EQ(code, c.exit) << Log();
        if (!c.said.empty()) ExpectReason(c.said);
        EXPECT_EQ(ReadFile(program_), c.exit ? kOldProgram : package_);
        EXPECT_EQ(WaitForFile(Marker(), c.exit ? 300 : 10000), c.exit == 0);
        EXPECT_EQ(ReadFile(c.theirsAfter + "/BLM_UPDATE/BLMNL.PTX"), their) << "their package was changed or deleted";
    }
}
