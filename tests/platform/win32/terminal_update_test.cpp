// An unattended update on Windows: novalink.exe with NOVALINK_UI=text, its
// answers on standard input, against nginx on loopback. No product is
// installed, so the run is a trial: the package (the tests' probe.exe) becomes
// BLM_SETUP.EXE in the temporary folder and is started. The registry values the
// run reads are put back afterwards.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/MainModule.h"
#include "tests/common/NginxServer.h"
#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"
#include "tests/platform/win32/common/SavedValue.h"

using namespace testutil;

namespace {

class TerminalUpdate : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(nginx_.Running()) << nginx_.ErrorLog();
        package_ = MarkerProgram();
        ASSERT_GT(package_.size(), 1000u) << "tests\\probe.exe was not built";
        const std::string base = "http://127.0.0.1:" + std::to_string(nginx_.Port());
        nginx_.Put("news.html", "<html><body>What is new</body></html>\n");
        nginx_.Put("files/TE.bin", package_);
        nginx_.Put("download/blmnl.cfg", "[Info]\r\nVER=2.01.0105\r\nReadme=" + base + "/news.html\r\n[TE]\r\nSIZE=" +
                                             std::to_string(package_.size()) + "\r\nDOWNLOAD=" + base +
                                             "/files/TE.bin\r\n");
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Brightloom", 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                  &key, nullptr),
                  ERROR_SUCCESS);
        RegDeleteValueA(key, "Path");
        RegSetValueExA(key, "UpdateServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(base.c_str()),
                       static_cast<DWORD>(base.size() + 1));
        RegCloseKey(key);
    }

    NginxServer nginx_;
    SavedValue path_{HKEY_LOCAL_MACHINE, "Software\\Brightloom", "Path"};
    SavedValue server_{HKEY_LOCAL_MACHINE, "Software\\Brightloom", "UpdateServer"};
    std::string package_;
};

}  // namespace

TEST_F(TerminalUpdate, AnswersOnStandardInput) {
    struct Case {
        const char* what;
        const char* feed;
        int exit;
        const char* said;
        bool installed;  // the package fetched, put in place and started
    };
    const Case cases[] = {
        {"install", "i\n", 0, "Novalink: You must restart Brightloom to complete the Novalink.", true},
        {"cancel, answered yes", "c\ny\n", nl::kRunCancelled, "Can you Cancel the Novalink?", false},
        {"cancel answered no, then install", "c\nn\ni\n", 0, "You must restart Brightloom", true},
        {"the end of input", "", nl::kRunCancelled, "News: http://127.0.0.1:", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir root;
        const std::string tmp = root.path() + "\\tmp", feed = root.path() + "\\feed", log = root.path() + "\\log";
        ASSERT_TRUE(CreateDirectoryA(tmp.c_str(), nullptr));
        WriteFile(feed, c.feed);
        const std::size_t seen = nginx_.AccessLog().size();
        SpawnOptions options;
        options.env = TempFolderEnv(tmp);
        options.env.push_back("TEMP=" + tmp);
        options.env.push_back("NOVALINK_UI=text");
        options.outputFile = log;
        options.inputFile = feed;
        const ProcessId updater = Spawn({BuildProgram("novalink")}, options);
        ASSERT_GT(updater, 0) << GetLastError();
        EXPECT_EQ(WaitExit(updater, 60000), c.exit) << ReadFile(log);
        EXPECT_NE(ReadFile(log).find(c.said), std::string::npos) << ReadFile(log);

        const std::string requests = nginx_.AccessLog().substr(seen);
        EXPECT_NE(requests.find("\"GET /download/blmnl.cfg HTTP/1.0\" 200"), std::string::npos) << requests;
        EXPECT_EQ(requests.find("\"GET /files/TE.bin HTTP/1.1\" 200") != std::string::npos, c.installed) << requests;
        const std::string setup = tmp + "\\BLM_SETUP.EXE";
        EXPECT_EQ(Exists(setup) && ReadFile(setup) == package_, c.installed);
        if (c.installed) {
            ASSERT_TRUE(WaitForFile(StartedMarker(setup), 10000)) << "the new program was not started";
            EXPECT_TRUE(IsStartedMarker(ReadFile(StartedMarker(setup))));
        }
        EXPECT_FALSE(Exists(tmp + "\\blmnl.cfg")) << "the local catalogue outlived its window";
    }
}
