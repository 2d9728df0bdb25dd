// The staged update's end-to-end fixture: the build's novalink /U <pid> against
// the test's registry (set up with novalink-reg) and a temporary folder of its
// own, with real processes to wait for and a real program to start. Shared by
// tests/app/staged_update_test.cpp and the POSIX-only cases in
// tests/platform/posix/staged_update_test.cpp.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "app/MainModule.h"
#include "tests/common/ChildRegistry.h"
#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"

namespace testutil {

inline double Since(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// The old program file: any bytes, never started by a test.
inline constexpr const char* kOldProgram = "#!/bin/sh\necho old version\n";

class StagedUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directory(root_ / "reg");
        std::filesystem::create_directory(root_ / "tmp");
        std::filesystem::create_directory(root_ / "app");
        registry_ = std::make_unique<ChildRegistry>(
            root_ / "reg", std::vector<std::string>{"HKLM\\Software\\Brightloom\\Path",
                                                    "HKLM\\Software\\Brightloom\\UpdateServer",
                                                    "HKCU\\Software\\Brightloom\\Update"});
        tmp_ = At("tmp");
        program_ = At(std::string("app/brightloom") + kProgramSuffix);
        staging_ = At("tmp/BLM_UPDATE");
        // The new program proves it was started by writing its marker.
        package_ = MarkerProgram();

        Reg({"add", "HKLM\\Software\\Brightloom", "/v", "Path", "/t", "REG_SZ", "/d", program_, "/f"});
        Reg({"add", "HKCU\\Software\\Brightloom", "/v", "Update", "/t", "REG_DWORD", "/d", "1", "/f"});
    }

    void TearDown() override {
        for (ProcessId p : children_) Kill(p);
    }

    // A path under the test's folder, as the system writes paths.
    std::string At(const std::string& relative) const { return NativePath(root_ / relative); }

    // What the programs started here get: the registry and the temporary folder.
    std::vector<std::string> Env() const {
        std::vector<std::string> env = registry_->Env();
        for (const auto& e : TempFolderEnv(tmp_)) env.push_back(e);
        return env;
    }

    void Reg(const std::vector<std::string>& args) {
        std::vector<std::string> argv{BuildProgram("novalink-reg")};
        argv.insert(argv.end(), args.begin(), args.end());
        RunResult r = testutil::Run(argv, Env(), 20);
        ASSERT_EQ(r.exitCode, 0) << r.out;
    }

    std::string UpdateFlag() {
        RunResult r =
            testutil::Run({BuildProgram("novalink-reg"), "query", "HKCU\\Software\\Brightloom", "/v", "Update"}, Env(), 20);
        if (r.exitCode != 0) return "query failed: " + r.out;
        size_t at = r.out.find("REG_DWORD");
        if (at == std::string::npos) return "not a REG_DWORD: " + r.out;
        std::string rest = r.out.substr(at + 9);
        size_t b = rest.find_first_not_of(" \t");
        size_t e = rest.find_first_of(" \t\r\n", b);
        return rest.substr(b, e - b);
    }

    void WriteProgram() {
        WriteFile(program_, kOldProgram);
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

    // The marker the new program writes when it is started.
    std::string Marker() const { return StartedMarker(program_); }

    // Runs the updater to its end with a log of its own; Log() then holds its
    // output. A new log rather than the old one removed: under Wine, the desktop
    // process that a session's first window starts (explorer.exe /desktop) is
    // handed the program's standard error and keeps the old log open after the
    // program has ended (platform.win32.staged_update names it).
    int Apply(const std::vector<std::string>& args, SpawnOptions options = {}) {
        ++logs_;
        return Finish(Start(args, options), 20000);
    }

    // Waits at most timeoutMs until the flag reads `value`; the flag then.
    std::string AwaitFlag(const std::string& value, int timeoutMs) {
        const auto t0 = std::chrono::steady_clock::now();
        std::string flag = UpdateFlag();
        while (flag != value && Since(t0) * 1000 < timeoutMs) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            flag = UpdateFlag();
        }
        return flag;
    }

    // The package is still staged as it was and the old program is untouched.
    void ExpectStillStaged() {
        EXPECT_TRUE(ReadFile(staging_ + "/BLMNL.PTX") == package_) << "the staged package was changed";
        EXPECT_TRUE(Exists(staging_ + "/BLMNL.INI"));
        EXPECT_EQ(ReadFile(program_), kOldProgram);
        EXPECT_FALSE(WaitForFile(Marker(), 300)) << "a program was started";
    }

    // The one line on stderr names the reason.
    void ExpectReason(const std::string& words) {
        std::string log = Log();
        EXPECT_NE(log.find(words), std::string::npos) << log;
        EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    }

    // A package planted in the current folder must never be taken for the
    // staging folder, whatever the temporary folder's variable says: with each
    // of `values` the updater ends without touching anything.
    void ExpectPlantedPackageIgnored(const std::vector<std::string>& values) {
        WriteProgram();
        const std::string cwd = At("cwd");
        std::filesystem::create_directories(cwd + "/BLM_UPDATE");
        WriteFile(cwd + "/BLM_UPDATE/BLMNL.PTX", package_);
        WriteFile(cwd + "/BLM_UPDATE/BLMNL.INI", "[INFO]\r\nComplete=" + std::to_string(package_.size()) + "\r\n");
        const auto here = std::filesystem::current_path();
        const std::string saved = tmp_;
        for (const std::string& value : values) {
            SCOPED_TRACE(value.substr(0, 20));
            tmp_ = value;
            std::filesystem::current_path(cwd);
            int code = Apply({"/U0"});
            std::filesystem::current_path(here);
            EXPECT_EQ(code, nl::kStagedNoTempFolder) << Log();
            ExpectReason("no temporary folder");
            EXPECT_EQ(UpdateFlag(), "0x1") << "the flag was touched";
            EXPECT_EQ(ReadFile(program_), kOldProgram);
            EXPECT_TRUE(ReadFile(cwd + "/BLM_UPDATE/BLMNL.PTX") == package_);
            EXPECT_FALSE(WaitForFile(Marker(), 200)) << "a program was started";
        }
        tmp_ = saved;
    }

    ProcessId Start(const std::vector<std::string>& args, SpawnOptions options = {}) {
        std::vector<std::string> argv{BuildProgram("novalink")};
        argv.insert(argv.end(), args.begin(), args.end());
        for (const auto& e : Env()) options.env.push_back(e);
        options.outputFile = At("novalink-" + std::to_string(logs_) + ".log");
        ProcessId p = Spawn(argv, options);
        children_.push_back(p);
        return p;
    }

    // A stand-in for the running product.
    ProcessId Sleeper(int ms) {
        ProcessId p = SpawnSleeper(ms);
        children_.push_back(p);
        return p;
    }

    // Waits for a process of ours and forgets it.
    int Finish(ProcessId p, int timeoutMs) {
        int code = WaitExit(p, timeoutMs);
        children_.erase(std::remove(children_.begin(), children_.end(), p), children_.end());
        return code;
    }

    std::string Log() { return ReadFile(At("novalink-" + std::to_string(logs_) + ".log")); }

    TempDir root_;
    std::unique_ptr<ChildRegistry> registry_;
    std::string tmp_, program_, staging_, package_;
    std::vector<ProcessId> children_;
    int logs_ = 0;
};

}  // namespace testutil
