// Ctrl+C on the console the updater (NOVALINK_UI=text) shares with the test, as
// GenerateConsoleCtrlEvent raises it for every program on that console: the
// check window is cancelled, as SIGINT cancels it on Linux. The test itself lets
// the event pass. Under Wine it is skipped: Wine does not raise the event there.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "tests/app/InteractiveUpdateFixture.h"
#include "tests/common/ScriptedServer.h"

using namespace testutil;

namespace {
BOOL WINAPI LetPass(DWORD) { return TRUE; }
}  // namespace

TEST_F(InteractiveUpdate, CtrlCOnTheConsoleCancelsTheCheck) {
    // Wine gives a program started from a terminal the console already (access denied).
    if (!AllocConsole() && GetLastError() != ERROR_ACCESS_DENIED)
        GTEST_SKIP() << "no console to raise Ctrl+C on (error " << GetLastError() << ")";
    SetConsoleCtrlHandler(LetPass, TRUE);
    // Wine 8 refuses to raise it on the console it gives a test (ERROR_INVALID_ACCESS).
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
        GTEST_SKIP() << "the system does not raise Ctrl+C on this console (error " << GetLastError() << ")";
    ScriptedServer silent({ScriptedServer::Hold()});
    Install("Brightloom Desktop");
    SetServer("http://127.0.0.1:" + std::to_string(silent.Port()));
    std::thread interrupt([&] {
        for (int i = 0; i < 200 && silent.Requests().empty(); ++i) Sleep(50);
        Sleep(500);
        EXPECT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0)) << GetLastError();
    });
    // The input stays open until the run has ended (its answer waits for a
    // package that never comes), so that no end of input answers instead.
    RunResult r = Update({}, "", "i\n");
    interrupt.join();
    EXPECT_EQ(r.exitCode, nl::kRunCancelled) << r.out;
    EXPECT_FALSE(Exists(*root_ / "tmp/blmnl.cfg")) << "the local catalogue outlived its window";
    EXPECT_EQ(ReadFile(program_), installed_);
}
