// The staged update end to end: build/novalink /U <pid> against a sandbox
// registry (set up with build/novalink-reg) and a sandbox temporary folder, with
// real processes to wait for and a real program to start.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "app/MainModule.h"
#include "support/Sha256.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"

using namespace testutil;

namespace {

class StagedUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(root_ / "reg");
        std::filesystem::create_directory(root_ / "tmp");
        std::filesystem::create_directory(root_ / "app");
        env_ = {"NOVALINK_REGISTRY=" + root_ / "reg", "TMPDIR=" + root_ / "tmp"};
        program_ = root_ / "app/brightloom";
        staging_ = root_ / "tmp/BLM_UPDATE";
        marker_ = root_ / "started";
        // The new program proves it was started by writing a marker.
        package_ = "#!/bin/sh\necho \"new version started $$\" > '" + marker_ + "'\n";

        Reg({"add", "HKLM\\Software\\Brightloom", "/v", "Path", "/t", "REG_SZ", "/d", program_, "/f"});
        Reg({"add", "HKCU\\Software\\Brightloom", "/v", "Update", "/t", "REG_DWORD", "/d", "1", "/f"});
    }

    void TearDown() override {
        for (ProcessId p : children_) Kill(p);
    }

    void Reg(const std::vector<std::string>& args) {
        std::vector<std::string> argv{BuildDir() + "/novalink-reg"};
        argv.insert(argv.end(), args.begin(), args.end());
        RunResult r = testutil::Run(argv, env_, 20);
        ASSERT_EQ(r.exitCode, 0) << r.out;
    }

    std::string UpdateFlag() {
        RunResult r = testutil::Run({BuildDir() + "/novalink-reg", "query", "HKCU\\Software\\Brightloom", "/v", "Update"},
                          env_, 20);
        if (r.exitCode != 0) return "query failed: " + r.out;
        size_t at = r.out.find("REG_DWORD");
        if (at == std::string::npos) return "not a REG_DWORD: " + r.out;
        std::string rest = r.out.substr(at + 9);
        size_t b = rest.find_first_not_of(" \t");
        size_t e = rest.find_first_of(" \t\r\n", b);
        return rest.substr(b, e - b);
    }

    void WriteProgram() {
        WriteFile(program_, "#!/bin/sh\necho old version\n");
        std::filesystem::permissions(program_, static_cast<std::filesystem::perms>(0751));
    }

    // A package whose download finished whole: the state file holds its
    // completion record, with `extra` lines after it.
    void Stage(const std::string& extra = "") {
        std::filesystem::create_directory(staging_);
        WriteFile(staging_ + "/BLMNL.PTX", package_);
        WriteFile(staging_ + "/BLMNL.INI", "[INFO]\r\nVER=2.0\r\nSize=" + std::to_string(package_.size()) +
                                               "\r\nComplete=" + std::to_string(package_.size()) + "\r\n" + extra);
    }

    // Runs the updater to its end with a fresh log; Log() then holds its output.
    int Apply(const std::vector<std::string>& args, SpawnOptions options = {}) {
        std::filesystem::remove(root_ / "novalink.log");
        return Finish(Start(args, options), 20000);
    }

    // The package is still staged as it was and the old program is untouched.
    void ExpectStillStaged() {
        EXPECT_TRUE(ReadFile(staging_ + "/BLMNL.PTX") == package_) << "the staged package was changed";
        EXPECT_TRUE(Exists(staging_ + "/BLMNL.INI"));
        EXPECT_EQ(ReadFile(program_), "#!/bin/sh\necho old version\n");
        EXPECT_FALSE(WaitForFile(marker_, 300)) << "a program was started";
    }

    // The one line on stderr names the reason.
    void ExpectReason(const std::string& words) {
        std::string log = Log();
        EXPECT_NE(log.find(words), std::string::npos) << log;
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    }

    ProcessId Start(const std::vector<std::string>& args, SpawnOptions options = {}) {
        std::vector<std::string> argv{BuildDir() + "/novalink"};
        argv.insert(argv.end(), args.begin(), args.end());
        options.env.insert(options.env.end(), env_.begin(), env_.end());
        options.outputFile = root_ / "novalink.log";
        ProcessId p = Spawn(argv, options);
        children_.push_back(p);
        return p;
    }

    ProcessId Sleeper(const std::string& seconds) {
        ProcessId p = Spawn({"/bin/sleep", seconds});
        children_.push_back(p);
        return p;
    }

    // Waits for a process of ours and forgets it.
    int Finish(ProcessId p, int timeoutMs) {
        int code = WaitExit(p, timeoutMs);
        children_.erase(std::remove(children_.begin(), children_.end(), p), children_.end());
        return code;
    }

    std::string Log() { return ReadFile(root_ / "novalink.log"); }

    TempDir root_;
    std::vector<std::string> env_;
    std::string program_, staging_, marker_, package_;
    std::vector<ProcessId> children_;
};

double Since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

TEST_F(StagedUpdate, WaitsForTheProductThenReplacesCleansAndStarts) {
    WriteProgram();
    Stage();
    ProcessId product = Sleeper("3");
    auto t0 = std::chrono::steady_clock::now();
    ProcessId updater = Start({"/U", std::to_string(product)});

    // While the product runs nothing is touched, and the wait costs no processor time.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ASSERT_TRUE(IsRunning(updater)) << Log();
    double cpuBefore = CpuSecondsOf(updater);
    EXPECT_EQ(UpdateFlag(), "0x0") << "the flag is reset before the wait";
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    double cpuDuring = CpuSecondsOf(updater) - cpuBefore;
    EXPECT_TRUE(IsRunning(updater));
    EXPECT_EQ(ReadFile(program_), "#!/bin/sh\necho old version\n");
    EXPECT_TRUE(Exists(staging_ + "/BLMNL.PTX"));
    EXPECT_LT(cpuDuring, 0.05) << "processor time spent waiting for the product";

    ASSERT_EQ(Finish(product, 10000), 0);
    ASSERT_EQ(Finish(updater, 10000), 0) << Log();
    EXPECT_GT(Since(t0), 2.8) << "the updater did not wait for the product";

    EXPECT_EQ(ReadFile(program_), package_) << "the program file is not the package byte for byte";
    EXPECT_EQ(static_cast<unsigned>(std::filesystem::status(program_).permissions()), 0751u) << "the program file lost its permissions";
    EXPECT_FALSE(Exists(staging_)) << "the staging folder was not removed";
    EXPECT_EQ(UpdateFlag(), "0x0");
    ASSERT_TRUE(WaitForFile(marker_, 5000)) << "the new program was not started";
    EXPECT_EQ(ReadFile(marker_).rfind("new version started", 0), 0u);
}

TEST_F(StagedUpdate, AbsentProgramFileLeavesTheStagingFolderAlone) {
    Stage();
    ASSERT_EQ(Apply({"/U0"}), nl::kStagedNoProgramFile) << Log();
    ExpectReason("no program file");
    EXPECT_EQ(ReadFile(staging_ + "/BLMNL.PTX"), package_);
    EXPECT_TRUE(Exists(staging_ + "/BLMNL.INI"));
    EXPECT_FALSE(Exists(program_));
    EXPECT_EQ(UpdateFlag(), "0x0");
    EXPECT_FALSE(WaitForFile(marker_, 300));
}

TEST_F(StagedUpdate, WithoutStagingFolderOnlyTheFlagIsReset) {
    WriteProgram();
    ProcessId product = Sleeper("30");
    auto t0 = std::chrono::steady_clock::now();
    ProcessId updater = Start({"/u", std::to_string(product)});
    ASSERT_EQ(Finish(updater, 10000), 0) << Log();
    EXPECT_LT(Since(t0), 2.0) << "nothing to apply, so nothing to wait for";
    EXPECT_EQ(UpdateFlag(), "0x0");
    EXPECT_EQ(ReadFile(program_), "#!/bin/sh\necho old version\n");
}

TEST_F(StagedUpdate, ASecondInstanceEndsAtOnceWithoutReadingItsSwitch) {
    WriteProgram();
    Stage();
    ProcessId product = Sleeper("30");
    ProcessId first = Start({"/U", std::to_string(product)});
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ASSERT_TRUE(IsRunning(first)) << Log();
    Reg({"add", "HKCU\\Software\\Brightloom", "/v", "Update", "/t", "REG_DWORD", "/d", "1", "/f"});

    // "/U" without an identifier would apply the package at once, if it ran.
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(Finish(Start({"/U"}), 5000), 0) << Log();
    EXPECT_LT(Since(t0), 2.0);
    EXPECT_EQ(UpdateFlag(), "0x1") << "the second instance went on to the staged update";
    EXPECT_EQ(ReadFile(program_), "#!/bin/sh\necho old version\n");
    EXPECT_TRUE(IsRunning(first));

    // The first finishes its job once the product has gone.
    Terminate(product);
    Finish(product, 5000);
    ASSERT_EQ(Finish(first, 10000), 0) << Log();
    EXPECT_EQ(ReadFile(program_), package_);
    EXPECT_FALSE(Exists(staging_));
}

TEST_F(StagedUpdate, TheProgramFileIsTakenByItsExactName) {
    // "Path" with a wildcard names no file, even though a file matches it as a
    // pattern: nothing may be written under that name and the package stays.
    WriteProgram();
    Stage();
    const std::string pattern = root_ / "app/bright*";
    Reg({"add", "HKLM\\Software\\Brightloom", "/v", "Path", "/t", "REG_SZ", "/d", pattern, "/f"});
    ASSERT_EQ(Apply({"/U"}), nl::kStagedNoProgramFile) << Log();
    EXPECT_FALSE(Exists(pattern)) << "a file was made under the name of the pattern";
    EXPECT_EQ(ReadFile(program_), "#!/bin/sh\necho old version\n");
    EXPECT_EQ(ReadFile(staging_ + "/BLMNL.PTX"), package_) << "the package was used up";
    EXPECT_FALSE(WaitForFile(marker_, 300));

    // A program file whose name starts with a dot is there all the same.
    program_ = root_ / "app/.brightloom";
    WriteProgram();
    Reg({"add", "HKLM\\Software\\Brightloom", "/v", "Path", "/t", "REG_SZ", "/d", program_, "/f"});
    ASSERT_EQ(Finish(Start({"/U"}), 10000), 0) << Log();
    EXPECT_EQ(ReadFile(program_), package_);
    EXPECT_FALSE(Exists(staging_));
    EXPECT_TRUE(WaitForFile(marker_, 5000)) << "the new program was not started";
}

TEST_F(StagedUpdate, AFailedCopyLeavesTheOldProgramWhole) {
    // The package is larger than the file-size limit the updater runs under, so
    // writing the copy fails part of the way, as on a full disk. The product
    // must stay as it was and the package stay staged for a later try.
    WriteProgram();
    package_ = "#!/bin/sh\n# " + std::string(256 * 1024, 'x') + "\n";
    Stage();
    SpawnOptions limited;
    limited.fileSizeLimit = 64 * 1024;
    ASSERT_EQ(Apply({"/U"}, limited), nl::kStagedCopyFailed) << Log();
    ExpectReason("failed (error 112)");
    EXPECT_EQ(UpdateFlag(), "0x1") << "the package stays staged, so the flag is raised again";
    std::string left = ReadFile(program_);
    EXPECT_TRUE(left == "#!/bin/sh\necho old version\n")
        << "the program file was changed: " << left.size() << " bytes, starting " << left.substr(0, 40);
    EXPECT_TRUE(ReadFile(staging_ + "/BLMNL.PTX") == package_) << "the staged package was changed";
    EXPECT_FALSE(WaitForFile(marker_, 300));

    // Without the limit the same run goes through.
    ASSERT_EQ(Finish(Start({"/U"}), 10000), 0) << Log();
    EXPECT_TRUE(ReadFile(program_) == package_) << "the program file is not the package";
    EXPECT_FALSE(Exists(staging_));
}

TEST_F(StagedUpdate, TheInteractiveRunEndsWhenItsWindowHasGone) {
    // No update server answers: each run ends after its check window's message.
    Reg({"add", "HKLM\\Software\\Brightloom", "/v", "UpdateServer", "/t", "REG_SZ", "/d",
         "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()), "/f"});
    SpawnOptions text;
    text.env = {"NOVALINK_UI=text"};
    for (const char* sw : {"", "/a", "/Dxyz"}) {
        std::vector<std::string> args;
        if (*sw) args.push_back(sw);
        ASSERT_EQ(Finish(Start(args, text), 10000), nl::kRunConnectionError) << sw << "\n" << Log();
    }
    EXPECT_EQ(UpdateFlag(), "0x1") << "only /U touches the flag";
}

TEST_F(StagedUpdate, WithoutATemporaryFolderNothingIsTouched) {
    // A package planted in the current folder must never be taken for the
    // staging folder, whatever TMPDIR says.
    WriteProgram();
    const std::string cwd = root_ / "cwd";
    std::filesystem::create_directories(cwd + "/BLM_UPDATE");
    WriteFile(cwd + "/BLM_UPDATE/BLMNL.PTX", package_);
    WriteFile(cwd + "/BLM_UPDATE/BLMNL.INI", "[INFO]\r\nComplete=" + std::to_string(package_.size()) + "\r\n");
    const auto here = std::filesystem::current_path();
    const std::string saved = env_[1];
    for (const std::string& tmpdir : {"/" + std::string(316, 't'), std::string("."), std::string("BLM_UPDATE/..")}) {
        SCOPED_TRACE(tmpdir.substr(0, 20));
        env_[1] = "TMPDIR=" + tmpdir;
        std::filesystem::current_path(cwd);
        int code = Apply({"/U"});
        std::filesystem::current_path(here);
        EXPECT_EQ(code, nl::kStagedNoTempFolder) << Log();
        ExpectReason("no temporary folder");
        EXPECT_EQ(UpdateFlag(), "0x1") << "the flag was touched";
        EXPECT_EQ(ReadFile(program_), "#!/bin/sh\necho old version\n");
        EXPECT_TRUE(ReadFile(cwd + "/BLM_UPDATE/BLMNL.PTX") == package_);
        EXPECT_FALSE(WaitForFile(marker_, 200)) << "a program was started";
    }
    env_[1] = saved;
}

TEST_F(StagedUpdate, OnlyACompletePackageIsAppliedTheRestStaysStagedAndFlagged) {
    WriteProgram();
    const std::string size = std::to_string(package_.size());
    const std::string pkg = staging_ + "/BLMNL.PTX", ini = staging_ + "/BLMNL.INI";
    auto record = [&](const std::string& lines) { WriteFile(ini, "[INFO]\r\nVER=2.0\r\n" + lines); };
    struct Case {
        const char* what;
        std::function<void()> spoil;
        const char* reason;
    } cases[] = {
        {"an empty package", [&] { WriteFile(pkg, ""); }, "has 0 bytes"},
        {"half a package", [&] { WriteFile(pkg, package_.substr(0, package_.size() / 2)); }, "the download had"},
        {"a longer package", [&] { WriteFile(pkg, package_ + "x"); }, "the download had"},
        {"no completion record", [&] { record("Size=" + size + "\r\n"); }, "no completion record"},
        {"a record that is no number", [&] { record("Complete=" + size + "x\r\n"); }, "unreadable"},
        {"a negative record", [&] { record("Complete=-" + size + "\r\n"); }, "unreadable"},
        {"no package", [&] { std::filesystem::remove(pkg); }, "no package"},
        {"another digest",
         [&] { record("Complete=" + size + "\r\nSHA256=" + nl::Sha256::Of(package_ + "x") + "\r\n"); }, "digest"},
        {"a digest cut short",
         [&] { record("Complete=" + size + "\r\nSHA256=" + nl::Sha256::Of(package_).substr(1) + "\r\n"); }, "digest"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Stage();
        c.spoil();
        const std::string staged = Exists(pkg) ? ReadFile(pkg) : "";
        const std::string state = ReadFile(ini);
        Reg({"add", "HKCU\\Software\\Brightloom", "/v", "Update", "/t", "REG_DWORD", "/d", "1", "/f"});
        EXPECT_EQ(Apply({"/U"}), nl::kStagedIncomplete) << Log();
        ExpectReason("package incomplete");
        EXPECT_EQ(UpdateFlag(), "0x1") << "the package stays staged, so the flag is raised again";
        EXPECT_EQ(ReadFile(program_), "#!/bin/sh\necho old version\n");
        EXPECT_TRUE(!Exists(pkg) || ReadFile(pkg) == staged) << "the package was changed";
        EXPECT_EQ(ReadFile(ini), state);
        EXPECT_FALSE(WaitForFile(marker_, 200)) << "a program was started";
    }

    // A digest that matches, in capitals, lets the package through.
    std::string digest = nl::Sha256::Of(package_);
    for (auto& ch : digest) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    Stage("SHA256=" + digest + "\r\n");
    ASSERT_EQ(Apply({"/U"}), nl::kStagedApplied) << Log();
    EXPECT_EQ(ReadFile(program_), package_);
    EXPECT_FALSE(Exists(staging_));
    EXPECT_EQ(UpdateFlag(), "0x0");
    EXPECT_TRUE(WaitForFile(marker_, 5000)) << "the new program was not started";
}

TEST_F(StagedUpdate, AReadOnlyProgramFileIsNotReplacedAndTheFlagIsRaisedAgain) {
    WriteProgram();
    chmod(program_.c_str(), 0555);
    Stage();
    ASSERT_EQ(Apply({"/U"}), nl::kStagedFileLocked) << Log();
    ExpectReason("in use or read-only");
    EXPECT_EQ(UpdateFlag(), "0x1");
    ExpectStillStaged();

    chmod(program_.c_str(), 0755);
    ASSERT_EQ(Apply({"/U"}), nl::kStagedApplied) << Log();
    EXPECT_EQ(ReadFile(program_), package_);
    EXPECT_EQ(UpdateFlag(), "0x0");
}

TEST_F(StagedUpdate, ALinkCountsByTheFileItLeadsTo) {
    const std::string real = root_ / "app/real-brightloom";
    std::filesystem::create_symlink(real, program_);  // leads nowhere yet
    Stage();
    ASSERT_EQ(Apply({"/U"}), nl::kStagedNoProgramFile) << Log();
    ExpectReason("no program file");
    EXPECT_TRUE(std::filesystem::is_symlink(program_)) << "the link was replaced";
    EXPECT_FALSE(Exists(real)) << "a file was made where the link leads";
    EXPECT_TRUE(ReadFile(staging_ + "/BLMNL.PTX") == package_);
    EXPECT_FALSE(WaitForFile(marker_, 200));

    // Once it leads to the program file, that file is replaced and the link stays.
    WriteFile(real, "#!/bin/sh\necho old version\n");
    chmod(real.c_str(), 0751);
    ASSERT_EQ(Apply({"/U"}), nl::kStagedApplied) << Log();
    EXPECT_TRUE(std::filesystem::is_symlink(program_));
    EXPECT_EQ(std::filesystem::read_symlink(program_), real);
    EXPECT_EQ(ReadFile(real), package_);
    EXPECT_FALSE(Exists(staging_));
    EXPECT_TRUE(WaitForFile(marker_, 5000));
}

TEST_F(StagedUpdate, KilledDuringTheCopyTheNextRunCleansUpAndApplies) {
    // A large package, so that the copy takes a while; the kill comes when its
    // temporary file has appeared next to the program file, a little later each
    // round. The old program must stay whole, and the next run must remove what
    // the killed one left and apply the package.
    package_ = "#!/bin/sh\necho \"new version started $$\" > '" + marker_ + "'\nexit 0\n# " +
               std::string(48 << 20, 'x') + "\n";
    const std::string folder = root_ / "app";
    auto leftovers = [&] {
        size_t n = 0;
        for (const auto& e : std::filesystem::directory_iterator(folder))
            n += e.path().filename().string().rfind(".brightloom.", 0) == 0;
        return n;
    };
    WriteFile(folder + "/.brightloom.new-AbC123", "foreign");  // not of the copy's naming
    int killed = 0;
    for (int delayMs : {0, 0, 2, 10}) {
        SCOPED_TRACE(delayMs);
        WriteProgram();
        Stage();
        std::filesystem::remove(marker_);
        pid_t updater = Start({"/U"});
        bool seen = false;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!seen && IsRunning(updater) && std::chrono::steady_clock::now() < deadline) {
            seen = leftovers() > 1;
            if (!seen) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (seen) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            kill(updater, SIGKILL);
        }
        Finish(updater, 10000);
        const bool replaced = ReadFile(program_) == package_;
        if (!replaced) {
            ++killed;
            EXPECT_EQ(ReadFile(program_), "#!/bin/sh\necho old version\n") << "the old program was damaged";
            EXPECT_EQ(leftovers(), 2u) << "the killed copy left no temporary file";
            EXPECT_TRUE(ReadFile(staging_ + "/BLMNL.PTX") == package_);
            ASSERT_EQ(Apply({"/U"}), nl::kStagedApplied) << Log();
            EXPECT_TRUE(ReadFile(program_) == package_);
        }
        EXPECT_EQ(leftovers(), 1u) << "the temporary file stayed";
        EXPECT_EQ(ReadFile(folder + "/.brightloom.new-AbC123"), "foreign");
        EXPECT_FALSE(Exists(staging_));
        EXPECT_TRUE(WaitForFile(marker_, 5000)) << "the new program was not started";
    }
    EXPECT_GE(killed, 2) << "the kills came too late to meet a copy";
}
