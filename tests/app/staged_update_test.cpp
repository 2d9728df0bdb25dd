// The staged update end to end: the build's novalink /U <pid> against the
// test's registry (set up with novalink-reg) and a temporary folder of its own,
// with real processes to wait for and a real program to start (the fixture:
// tests/app/StagedUpdateFixture.h). File modes, links and a file-size limit are
// POSIX's own: tests/platform/posix/staged_update_test.cpp.
#include <cstdlib>
#include <functional>
#include <thread>

#include "support/Sha256.h"
#include "tests/app/StagedUpdateFixture.h"
#include "tests/common/ScriptedServer.h"

using namespace testutil;

TEST_F(StagedUpdate, WaitsForTheProductThenReplacesCleansAndStarts) {
    WriteProgram();
    Stage();
    ProcessId product = Sleeper(3000);
    auto t0 = std::chrono::steady_clock::now();
    ProcessId updater = Start({"/U", std::to_string(product)});

    // While the product runs nothing is touched, and the wait costs no processor time.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(AwaitFlag("0x0", 1500), "0x0") << "the flag is reset before the wait";
    ASSERT_TRUE(IsRunning(product)) << "the product ended before the flag was reset";
    ASSERT_TRUE(IsRunning(updater)) << Log();
    double cpuBefore = CpuSecondsOf(updater);
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    double cpuDuring = CpuSecondsOf(updater) - cpuBefore;
    EXPECT_TRUE(IsRunning(updater));
    EXPECT_EQ(ReadFile(program_), kOldProgram);
    EXPECT_TRUE(Exists(staging_ + "/BLMNL.PTX"));
    EXPECT_LT(cpuDuring, 0.05) << "processor time spent waiting for the product";

    ASSERT_EQ(Finish(product, 10000), 0);
    ASSERT_EQ(Finish(updater, 10000), 0) << Log();
    EXPECT_GT(Since(t0), 2.8) << "the updater did not wait for the product";

    EXPECT_TRUE(ReadFile(program_) == package_) << "the program file is not the package byte for byte";
    EXPECT_FALSE(Exists(staging_)) << "the staging folder was not removed";
    EXPECT_EQ(UpdateFlag(), "0x0");
    ASSERT_TRUE(WaitForFile(Marker(), 5000)) << "the new program was not started";
    const std::string started = ReadFile(Marker());
    EXPECT_TRUE(IsStartedMarker(started)) << started;
    EXPECT_NE(std::atoll(started.c_str()), product) << "the marker is the old program's";
}

TEST_F(StagedUpdate, AbsentProgramFileLeavesTheStagingFolderAlone) {
    Stage();
    ASSERT_EQ(Apply({"/U0"}), nl::kStagedNoProgramFile) << Log();
    ExpectReason("no program file");
    EXPECT_TRUE(ReadFile(staging_ + "/BLMNL.PTX") == package_);
    EXPECT_TRUE(Exists(staging_ + "/BLMNL.INI"));
    EXPECT_FALSE(Exists(program_));
    EXPECT_EQ(UpdateFlag(), "0x0");
    EXPECT_FALSE(WaitForFile(Marker(), 300));
}

TEST_F(StagedUpdate, WithoutStagingFolderOnlyTheFlagIsReset) {
    WriteProgram();
    ProcessId product = Sleeper(30000);
    auto t0 = std::chrono::steady_clock::now();
    ProcessId updater = Start({"/u", std::to_string(product)});
    ASSERT_EQ(Finish(updater, 10000), 0) << Log();
    EXPECT_LT(Since(t0), 2.0) << "nothing to apply, so nothing to wait for";
    EXPECT_EQ(UpdateFlag(), "0x0");
    EXPECT_EQ(ReadFile(program_), kOldProgram);
}

TEST_F(StagedUpdate, ASecondInstanceEndsAtOnceWithoutReadingItsSwitch) {
    WriteProgram();
    Stage();
    ProcessId product = Sleeper(30000);
    ProcessId first = Start({"/U", std::to_string(product)});
    // Once it has reset the flag the first waits for the product.
    ASSERT_EQ(AwaitFlag("0x0", 10000), "0x0") << Log();
    ASSERT_TRUE(IsRunning(first)) << Log();
    Reg({"add", "HKCU\\Software\\Brightloom", "/v", "Update", "/t", "REG_DWORD", "/d", "1", "/f"});

    // "/U0" waits for nothing: it would apply the package at once, if it ran.
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(Finish(Start({"/U0"}), 5000), nl::kStagedOtherRun) << Log();
    EXPECT_LT(Since(t0), 2.0);
    EXPECT_EQ(UpdateFlag(), "0x1") << "the second instance went on to the staged update";
    EXPECT_EQ(ReadFile(program_), kOldProgram);
    EXPECT_TRUE(IsRunning(first));

    // The first finishes its job once the product has gone.
    Terminate(product);
    Finish(product, 5000);
    ASSERT_EQ(Finish(first, 10000), 0) << Log();
    EXPECT_TRUE(ReadFile(program_) == package_);
    EXPECT_FALSE(Exists(staging_));
}

TEST_F(StagedUpdate, TheProgramFileIsTakenByItsExactName) {
    // "Path" with a wildcard names no file, even though a file matches it as a
    // pattern: nothing may be written under that name and the package stays.
    WriteProgram();
    Stage();
    const std::string pattern = At("app/bright*");
    Reg({"add", "HKLM\\Software\\Brightloom", "/v", "Path", "/t", "REG_SZ", "/d", pattern, "/f"});
    ASSERT_EQ(Apply({"/U0"}), nl::kStagedNoProgramFile) << Log();
    EXPECT_FALSE(Exists(pattern)) << "a file was made under the name of the pattern";
    EXPECT_EQ(ReadFile(program_), kOldProgram);
    EXPECT_TRUE(ReadFile(staging_ + "/BLMNL.PTX") == package_) << "the package was used up";
    EXPECT_FALSE(WaitForFile(Marker(), 300));

    // A program file whose name starts with a dot is there all the same.
    program_ = At(std::string("app/.brightloom") + kProgramSuffix);
    WriteProgram();
    Reg({"add", "HKLM\\Software\\Brightloom", "/v", "Path", "/t", "REG_SZ", "/d", program_, "/f"});
    ASSERT_EQ(Finish(Start({"/U0"}), 10000), 0) << Log();
    EXPECT_TRUE(ReadFile(program_) == package_);
    EXPECT_FALSE(Exists(staging_));
    EXPECT_TRUE(WaitForFile(Marker(), 5000)) << "the new program was not started";
}

TEST_F(StagedUpdate, TheInteractiveRunEndsWhenItsWindowHasGone) {
    // No update server answers: each run ends after its check window's message.
    // Where the front end has no forms yet (Windows, until its windows come),
    // the check window cannot be made and the run ends with the same code.
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
        // An empty file would pass for a whole package of 0 bytes and wipe out the program.
        {"an empty package recorded whole",
         [&] {
             WriteFile(pkg, "");
             record("Complete=0\r\n");
         },
         "has 0 bytes"},
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
        EXPECT_EQ(Apply({"/U0"}), nl::kStagedIncomplete) << Log();
        ExpectReason("package incomplete");
        ExpectReason(c.reason);
        EXPECT_EQ(UpdateFlag(), "0x1") << "the package stays staged, so the flag is raised again";
        EXPECT_EQ(ReadFile(program_), kOldProgram);
        EXPECT_TRUE(!Exists(pkg) || ReadFile(pkg) == staged) << "the package was changed";
        EXPECT_EQ(ReadFile(ini), state);
        EXPECT_FALSE(WaitForFile(Marker(), 200)) << "a program was started";
    }

    // A digest that matches, in capitals, lets the package through.
    std::string digest = nl::Sha256::Of(package_);
    for (auto& ch : digest) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    Stage("SHA256=" + digest + "\r\n");
    ASSERT_EQ(Apply({"/U0"}), nl::kStagedApplied) << Log();
    EXPECT_TRUE(ReadFile(program_) == package_);
    EXPECT_FALSE(Exists(staging_));
    EXPECT_EQ(UpdateFlag(), "0x0");
    EXPECT_TRUE(WaitForFile(Marker(), 5000)) << "the new program was not started";
}

TEST_F(StagedUpdate, AReadOnlyProgramFileIsNotReplacedAndTheFlagIsRaisedAgain) {
    WriteProgram();
    std::filesystem::permissions(program_, static_cast<std::filesystem::perms>(0555));
    Stage();
    ASSERT_EQ(Apply({"/U0"}), nl::kStagedFileLocked) << Log();
    ExpectReason("in use or read-only");
    EXPECT_EQ(UpdateFlag(), "0x1");
    ExpectStillStaged();

    std::filesystem::permissions(program_, static_cast<std::filesystem::perms>(0755));
    ASSERT_EQ(Apply({"/U0"}), nl::kStagedApplied) << Log();
    EXPECT_TRUE(ReadFile(program_) == package_);
    EXPECT_EQ(UpdateFlag(), "0x0");
}

TEST_F(StagedUpdate, KilledDuringTheCopyTheNextRunCleansUpAndApplies) {
    // A large package, so that the copy takes a while; the kill comes when its
    // temporary file has appeared next to the program file, a little later each
    // round. The old program must stay whole, and the next run must remove what
    // the killed one left and apply the package.
    package_ = MarkerProgram("# " + std::string(48 << 20, 'x') + "\n");
    const std::string folder = At("app");
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
        std::filesystem::remove(Marker());
        ProcessId updater = Start({"/U0"});
        bool seen = false;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!seen && IsRunning(updater) && std::chrono::steady_clock::now() < deadline) {
            seen = leftovers() > 1;
            if (!seen) std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (seen) {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            Kill(updater);
        }
        Finish(updater, 10000);
        const bool replaced = ReadFile(program_) == package_;
        if (!replaced) {
            ++killed;
            EXPECT_EQ(ReadFile(program_), kOldProgram) << "the old program was damaged";
            EXPECT_EQ(leftovers(), 2u) << "the killed copy left no temporary file";
            EXPECT_TRUE(ReadFile(staging_ + "/BLMNL.PTX") == package_);
            ASSERT_EQ(Apply({"/U0"}), nl::kStagedApplied) << Log();
            EXPECT_TRUE(ReadFile(program_) == package_);
        }
        EXPECT_EQ(leftovers(), 1u) << "the temporary file stayed";
        EXPECT_EQ(ReadFile(folder + "/.brightloom.new-AbC123"), "foreign");
        EXPECT_FALSE(Exists(staging_));
        EXPECT_TRUE(WaitForFile(Marker(), 5000)) << "the new program was not started";
    }
    EXPECT_GE(killed, 2) << "the kills came too late to meet a copy";
}

TEST_F(StagedUpdate, WithoutATemporaryFolderNothingIsTouched) {
    // A temporary folder whose name does not fit the system's buffer. Names that
    // are no full path are POSIX's case: Windows' GetTempPath qualifies them
    // against the current folder itself.
    ExpectPlantedPackageIgnored({"/" + std::string(316, 't')});
}

// What "/U" refuses touches nothing: no process named (it would replace a
// program still running), a registry that cannot be read (it is not an empty
// one), and the texts it names reach the terminal only as visible text.
TEST_F(StagedUpdate, RefusedStartsTouchNothing) {
    WriteProgram();
    Stage();
    const std::string hklm = At("reg/HKLM.txt");
    const struct {
        const char* what;
        std::vector<std::string> args;
        std::function<void()> spoil;
        int exit;
        const char* reason;
    } cases[] = {
        {"no process identifier", {"/U"}, [] {}, nl::kStagedBadStart, "usage: novalink /U PID"},
        {"one that is no number", {"/U", "product"}, [] {}, nl::kStagedBadStart, "usage: novalink /U PID"},
        {"a number and more", {"/U12x"}, [] {}, nl::kStagedBadStart, "usage: novalink /U PID"},
        {"a Path that would drive the terminal", {"/U0"},
         [&] { Reg({"add", "HKLM\\Software\\Brightloom", "/v", "Path", "/d", "\x1b]0;owned\x07\x1b[2J", "/f"}); },
         nl::kStagedNoProgramFile, "no program file \"\\x1b]0;owned\\x07\\x1b[2J\""},
        {"a damaged machine registry", {"/U0"}, [&] { if (!kWindows) WriteFile(hklm, ReadFile(hklm) + "x"); },
         kWindows ? nl::kStagedNoProgramFile : nl::kStagedBadRegistry, kWindows ? "no program file" : "is damaged"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.spoil();
        Reg({"add", "HKCU\\Software\\Brightloom", "/v", "Update", "/t", "REG_DWORD", "/d", "1", "/f"});
        EXPECT_EQ(Apply(c.args), c.exit) << Log();
        ExpectReason(c.reason);
        EXPECT_EQ(Log().find('\x1b'), std::string::npos) << "a control character reached the terminal";
        EXPECT_EQ(UpdateFlag(), c.exit == nl::kStagedNoProgramFile ? "0x0" : "0x1");
        ExpectStillStaged();
    }
}
