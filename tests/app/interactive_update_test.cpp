// The interactive update end to end: the build's novalink in the terminal front
// end, answered through a pipe (the fixture: tests/app/InteractiveUpdateFixture.h),
// on Linux and under Wine alike. Three tests are POSIX's own and skipped on
// Windows; each says why.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "tests/app/InteractiveUpdateFixture.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"
#include "tests/common/TlsSites.h"

using namespace testutil;

namespace {

enum class Lands { Nowhere, Program, Setup };

struct Case {
    const char* what;
    const char* description;  // the product's; nullptr: no product installed
    std::vector<std::string> args;
    const char* ver;          // the catalogues' "VER"; "" leaves it out
    const char* feed;         // the answers
    int exit;
    const char* said;
    const char* catalogue;    // the catalogue's path on the server
    const char* section;      // whose package is fetched; "" none
    Lands lands;
    const char* digest = "";  // the catalogue's SHA256 when not the right one
    const char* readme = "";  // the catalogue's Readme when not the news page
    const char* app = "app";  // the product's folder, and the temporary folder
    const char* tmp = "tmp";
};

// Names with accents (UTF-8): the product's folder, the temporary folder, and
// the product's path as a message shows it.
constexpr const char* kAccented = "Pr\xc3\xb6" "dukt";
constexpr const char* kAccentedTemp = "Temp/Jos\xc3\xa9";
constexpr const char* kAccentedProgram = kWindows ? "\\Pr\xc3\xb6" "dukt\\brightloom.exe" : "/Pr\xc3\xb6" "dukt/brightloom";

}  // namespace

TEST_F(InteractiveUpdate, EditionsVersionsAndAnswers) {
    const Case cases[] = {
        {"desktop from the description, newer: installed", "Brightloom Desktop", {}, kNewer, "i\n", 0,
         kRestart, "/m_update/blmnl.cfg", "Desktop", Lands::Program},
        {"standard, the same version", "Brightloom Standard for Linux", {}, "2.01.0005", "", 0,
         "Novalink: Brightloom Standard Edition are up to date!", "/m_update/blmnl.cfg", "", Lands::Nowhere},
        {"professional, an older catalogue", "BRIGHTLOOM PROFESSIONAL", {}, "2.01.0004", "", 0,
         "Novalink: Brightloom Professional Edition are up to date!", "/m_update/blmnl.cfg", "", Lands::Nowhere},
        {"evaluation, the offer left at the end of input", "Brightloom Evaluation", {}, kNewer, "",
         nl::kRunCancelled, "News: http://127.0.0.1:", "/download/blmnl.cfg", "", Lands::Nowhere},
        {"the last word found wins", "Brightloom Professional Evaluation", {}, kNewer, "i\n", 0, kRestart,
         "/download/blmnl.cfg", "Evaluation", Lands::Program},
        {"a forced switch", "Brightloom Desktop", {"/p"}, kNewer, "i\n", 0, kRestart,
         "/m_update/blmnl.cfg", "Professional", Lands::Program},
        {"an unknown switch detects", "Brightloom Standard", {"/X"}, kNewer, "i\n", 0, kRestart,
         "/m_update/blmnl.cfg", "Standard", Lands::Program},
        {"no edition word: a trial, offered the same version", "Brightloom", {}, "2.01.0005", "i\n", 0,
         kRestart, "/download/blmnl.cfg", "TE", Lands::Setup},
        {"no product: a trial", nullptr, {"/D"}, "1.00.0000", "i\n", 0, kRestart, "/download/blmnl.cfg",
         "TE", Lands::Setup},
        {"a catalogue without VER", "Brightloom Desktop", {}, "", "i\n", nl::kRunConnectionError,
         kConnectionError, "/m_update/blmnl.cfg", "", Lands::Nowhere},
        {"the offer cancelled", "Brightloom Desktop", {}, kNewer, "c\ny\n", nl::kRunCancelled,
         "Can you Cancel the Novalink?", "/m_update/blmnl.cfg", "", Lands::Nowhere},
        {"the offer's cancel answered no, then installed", "Brightloom Desktop", {}, kNewer, "c\nn\ni\n", 0, kRestart,
         "/m_update/blmnl.cfg", "Desktop", Lands::Program},
        {"a SHA-256 mismatch", "Brightloom Desktop", {}, kNewer, "i\n", nl::kRunBadPackage,
         "SHA-256 digest does not match", "/m_update/blmnl.cfg", "Desktop", Lands::Nowhere,
         "0000000000000000000000000000000000000000000000000000000000000000"},
        {"a news address that would drive the terminal is shown, not obeyed", "Brightloom Desktop", {}, kNewer,
         "c\ny\n", nl::kRunCancelled, "News: http://x/\\x1b]0;owned\\x07\\x1b[2J\\x9b\\xc2\\x9b",
         "/m_update/blmnl.cfg", "", Lands::Nowhere, "", "http://x/\x1b]0;owned\x07\x1b[2J\x9b\xc2\x9b"},
        {"the product and the temporary folder in folders with accents", "Brightloom Desktop", {}, kNewer, "i\n", 0,
         kRestart, "/m_update/blmnl.cfg", "Desktop", Lands::Program, "", "", kAccented, kAccentedTemp},
        {"a product without version information is named exactly", "", {}, kNewer, "i\n", 0, kAccentedProgram,
         "/download/blmnl.cfg", "TE", Lands::Setup, "", "", kAccented, kAccentedTemp},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NewSandbox(c.app, c.tmp);
        if (c.description) Install(c.description);
        Catalogues(c.ver, "files", 4000, c.digest, "", c.readme);
        RunResult r = Update(c.args, c.feed);
        EXPECT_EQ(r.exitCode, c.exit) << r.out;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find_first_of("\x1b\x07\x9b"), std::string::npos) << "a control character reached the output";
        EXPECT_EQ(r.out.find("no product registered; running as a trial") != std::string::npos, !c.description);
        // A run that ends well says what it did, last.
        const std::string outcome = c.lands == Lands::Program ? std::string("updated to ") + c.ver
                                    : c.lands == Lands::Setup ? std::string("trial setup started: ") + c.ver
                                                              : "up to date: 2.01.0005";
        EXPECT_EQ(r.out.find("\nOutcome: " + outcome) != std::string::npos, c.exit == 0) << r.out;

        // The catalogue over HTTP/1.0, the package over HTTP/1.1 from its start;
        // Basic authorization for the paid editions only.
        const bool paid = std::string(c.catalogue) == "/m_update/blmnl.cfg";
        const std::vector<Request> requests = Requests();
        ASSERT_EQ(requests.size(), *c.section ? 2u : 1u) << nginx_->AccessLog();
        EXPECT_EQ(requests[0].line, std::string("GET ") + c.catalogue + " HTTP/1.0");
        EXPECT_EQ(requests[0].authorization, paid ? kAuthorization : "-");
        EXPECT_EQ(requests[0].status, "200");
        if (*c.section) {
            EXPECT_EQ(requests[1].line, std::string("GET /files/") + c.section + ".bin HTTP/1.1");
            EXPECT_EQ(requests[1].authorization, paid ? kAuthorization : "-");
            EXPECT_EQ(requests[1].range, "-");
        }
        EXPECT_FALSE(Exists(tmp_ + "/blmnl.cfg")) << "the local catalogue outlived its window";

        const std::string setup = tmp_ + "/BLM_SETUP.EXE";
        if (c.description && *c.description) {
            EXPECT_EQ(ReadFile(program_) == installed_, c.lands != Lands::Program);
        }
        EXPECT_EQ(Exists(setup), c.lands == Lands::Setup);
        if (c.lands != Lands::Nowhere) {
            const std::string target = c.lands == Lands::Program ? program_ : setup;
            EXPECT_EQ(ReadFile(target), PackageFor(c.section));
            EXPECT_TRUE((std::filesystem::status(target).permissions() & std::filesystem::perms::owner_exec) !=
                        std::filesystem::perms::none);
            EXPECT_EQ(Started(), std::string(c.section) + "\n") << "the new program was not started";
            EXPECT_FALSE(Exists(staging_)) << "the staging folder stayed after the hand-over";
        } else if (*c.section) {
            EXPECT_FALSE(Exists(Staged())) << "a wrong package stayed";
        }
    }
}

// The update over https: with the test root as UpdateCA, the catalogue and a
// package whose DOWNLOAD is https:, also when the http: update server redirects
// there; without UpdateCA the server is refused, and the line on stderr names
// host and reason.
TEST_F(InteractiveUpdate, OverHttpsWithAPrivateRoot) {
    TlsSites sites;
    ASSERT_TRUE(sites.Running());
    const std::string server = "https://127.0.0.1:" + std::to_string(sites.Port(TlsSites::Good));
    const std::string pkg = PackageFor("Evaluation");
    sites.Put("files/Evaluation.bin", pkg);
    sites.Put("download/blmnl.cfg", std::string("[Info]\r\nVER=") + kNewer + "\r\nReadme=" + server +
                                        "/news.html\r\n[Evaluation]\r\nSIZE=" + std::to_string(pkg.size()) +
                                        "\r\nDOWNLOAD=" + server + "/files/Evaluation.bin\r\nSHA256=" +
                                        nl::Sha256::Of(pkg) + "\r\n");
    // An http: server that has moved to https: sends every request there.
    NginxServer::Options moved;
    moved.extraLocations = "    location / { return 301 " + server + "$request_uri; }\n";
    NginxServer redirector(moved);
    ASSERT_TRUE(redirector.Running());
    const std::string old = "http://127.0.0.1:" + std::to_string(redirector.Port());
    for (const auto& [address, trusted] : {std::pair{server, false}, {server, true}, {old, true}}) {
        SCOPED_TRACE(address + (trusted ? " with UpdateCA" : " without UpdateCA"));
        NewSandbox();
        Install("Brightloom Evaluation");
        SetServer(address);
        if (trusted)
            Reg({"add", "HKLM\\Software\\Brightloom", "/v", "UpdateCA", "/t", "REG_SZ", "/d", NativePath(sites.CaFile()),
                 "/f"});
        RunResult r = Update({}, "i\n");
        if (trusted) Reg({"delete", "HKLM\\Software\\Brightloom", "/v", "UpdateCA", "/f"});
        if (!trusted) {
            EXPECT_EQ(r.exitCode, nl::kRunConnectionError) << r.out;
            EXPECT_NE(r.out.find("Secure connection to 127.0.0.1 refused: certificate is not from a trusted authority"),
                      std::string::npos)
                << r.out;
            EXPECT_EQ(ReadFile(program_), installed_);
            continue;
        }
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_NE(r.out.find(kRestart), std::string::npos) << r.out;
        EXPECT_EQ(ReadFile(program_), pkg);
        EXPECT_EQ(Started(), "Evaluation\n");
    }
}

TEST_F(InteractiveUpdate, ARefusedConnection) {
    Install("Brightloom Desktop");
    SetServer("http://127.0.0.1:" + std::to_string(FreeLoopbackPort()));
    RunResult r = Update({}, "i\n");
    EXPECT_EQ(r.exitCode, nl::kRunConnectionError) << r.out;
    EXPECT_NE(r.out.find(kConnectionError), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(program_), installed_);
}

// Each failure behind the "Connection Error" message has its one line on stderr,
// naming the address and the reason.
TEST_F(InteractiveUpdate, EveryConnectionErrorSaysWhatFailedAndWhy) {
    ScriptedServer silent({ScriptedServer::Hold()});  // accepts, reads the request, never answers
    const std::string nginx = "http://127.0.0.1:" + std::to_string(nginx_->Port());
    const std::string refused = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort());
    const std::string mute = "http://127.0.0.1:" + std::to_string(silent.Port());
    const struct {
        std::string server, catalogue, line;
    } cases[] = {
        {nginx + "/none", "", "catalogue " + nginx + "/none/m_update/blmnl.cfg: HTTP 404 Not Found"},
        {refused, "", "catalogue " + refused + "/m_update/blmnl.cfg: connection refused"},
        {mute, "", "catalogue " + mute + "/m_update/blmnl.cfg: no answer for 31 s"},
        {nginx, "[Info]\r\n[Desktop]\r\nSIZE=1\r\n", "catalogue " + nginx + "/m_update/blmnl.cfg: no VER in [Info]"},
        {nginx, std::string("[Info]\r\nVER=") + kNewer + "\r\n[Desktop]\r\nSIZE=1\r\n",
         "catalogue " + nginx + "/m_update/blmnl.cfg: no [Professional] section"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        NewSandbox();
        Install("Brightloom Professional");
        SetServer(c.server);
        if (!c.catalogue.empty()) nginx_->Put("m_update/blmnl.cfg", c.catalogue);
        RunResult r = Update({}, "i\n");
        EXPECT_EQ(r.exitCode, nl::kRunConnectionError) << r.out;
        EXPECT_NE(r.out.find(kConnectionError), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Novalink: " + c.line + (kWindows ? "\r\n" : "\n")), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Novalink: "), r.out.rfind("Novalink: ")) << "more than one line: " << r.out;
    }
}

// A catalogue is a small profile file: one that announces more than 1 MiB, or
// grows past it, ends the run at once as a connection error, with no more than
// 1 MiB in the temporary folder at any time and nothing left there afterwards.
TEST_F(InteractiveUpdate, AnEndlessCatalogueIsCutOffAtItsBound) {
    const std::uintmax_t bound = 1024 * 1024;
    const std::string block(64 * 1024, '\n');
    // Chunks without end are the control's own case (tests/http/hostile_reply_test.cpp).
    for (const char* length : {"2000000000", "1000"}) {
        SCOPED_TRACE(length);
        NewSandbox();
        Install("Brightloom Desktop");
        // 64 MiB, then the connection is held open: without a bound the run would
        // wait out its idle time-out with all of it on disk.
        ScriptedServer endless({ScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::string(length) +
                                                     "\r\n\r\n"),
                                ScriptedServer::Repeat(block, 1024), ScriptedServer::Hold()});
        SetServer("http://127.0.0.1:" + std::to_string(endless.Port()));
        std::atomic<bool> over{false};
        std::uintmax_t most = 0;
        std::thread watch([&] {
            while (!over) {
                std::error_code ec;
                for (const auto& e : std::filesystem::recursive_directory_iterator(*root_ / "tmp", ec))
                    if (e.is_regular_file(ec)) most = std::max(most, e.file_size(ec));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        const auto start = std::chrono::steady_clock::now();
        RunResult r = Update({}, "i\n");
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        over = true;
        watch.join();
        EXPECT_EQ(r.exitCode, nl::kRunConnectionError) << r.out;
        EXPECT_NE(r.out.find(kConnectionError), std::string::npos) << r.out;
        EXPECT_EQ(endless.Requests().size(), 1u);
        EXPECT_LT(seconds, 10.0);
        EXPECT_LE(most, bound);
        EXPECT_FALSE(Exists(*root_ / "tmp/blmnl.cfg"));
    }
}

TEST_F(InteractiveUpdate, CancelAnsweredNoGoesOnYesLeavesThePartForTheNextRun) {
    // About four seconds of package at nginx's limited rate.
    const std::size_t size = 1024 * 1024;
    const std::string whole = PackageFor("Desktop", size);
    Install("Brightloom Desktop");
    Catalogues(kNewer, "slow", size);

    // No: the transfer goes on from the part it has, and the update completes.
    RunResult r = Update({}, "i\n", "c\nn\n");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Can you Cancel the Novalink?"), std::string::npos) << r.out;
    EXPECT_TRUE(ReadFile(program_) == whole);
    std::vector<Request> requests = Requests();
    ASSERT_EQ(requests.size(), 3u) << r.out;
    EXPECT_EQ(requests[1].range, "-");
    EXPECT_EQ(requests[2].line, "GET /slow/Desktop.bin HTTP/1.1");
    EXPECT_EQ(requests[2].range.rfind("bytes=", 0), 0u) << requests[2].range;
    EXPECT_EQ(requests[2].status, "206");

    // Yes: the run ends, and the part stays staged with the catalogue's version and size.
    NewSandbox();
    Install("Brightloom Desktop");
    r = Update({}, "i\n", "c\ny\n");
    EXPECT_EQ(r.exitCode, nl::kRunCancelled) << r.out;
    const std::size_t part = ReadFile(Staged()).size();
    EXPECT_GT(part, 0u);
    EXPECT_LT(part, size);
    EXPECT_TRUE(whole.compare(0, part, ReadFile(Staged())) == 0);
    EXPECT_NE(State().find("VER=" + std::string(kNewer)), std::string::npos) << State();
    EXPECT_NE(State().find("Size=" + std::to_string(size)), std::string::npos) << State();
    EXPECT_EQ(State().find("Complete="), std::string::npos) << State();
    EXPECT_EQ(ReadFile(program_), installed_);
    Requests();

    // The next run continues the part with a Range request.
    r = Update({}, "i\n");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].range, "bytes=" + std::to_string(part) + "-");
    EXPECT_EQ(requests[1].status, "206");
    EXPECT_TRUE(ReadFile(program_) == whole);
    EXPECT_FALSE(Exists(staging_));
}

// The end of the session during the download (SIGTERM on POSIX, log-off on
// Windows) is a confirmed cancel: the part stays staged, the program file is
// untouched.
TEST_F(InteractiveUpdate, TheEndOfTheSessionIsAConfirmedCancel) {
    const std::size_t size = 1024 * 1024;  // about four seconds at nginx's limited rate
    Install("Brightloom Desktop");
    Catalogues(kNewer, "slow", size);
    RunResult r = Update({}, "i\n", "", Terminate);
    EXPECT_EQ(r.exitCode, nl::kRunCancelled) << r.out;
    const std::size_t part = ReadFile(Staged()).size();
    EXPECT_GT(part, 0u);
    EXPECT_LT(part, size);
    EXPECT_FALSE(Exists(tmp_ + "/blmnl.cfg"));
    EXPECT_TRUE(ReadFile(program_) == installed_) << "the program file was changed";
}

TEST_F(InteractiveUpdate, StagedPartsAndWholePackages) {
    struct Staging {
        const char* what;
        const char* ver;        // recorded in the state file
        std::string size;       // recorded in the state file
        std::size_t have;       // bytes of the package staged
        const char* range;      // what the package request asks for
        const char* status;
    };
    const std::string whole = PackageFor("Desktop");
    const std::string n = std::to_string(whole.size());
    const Staging cases[] = {
        {"another size: from nothing", kNewer, "3999", 1000, "-", "200"},
        {"an older version: from nothing", "2.01.0100", n, 1000, "-", "200"},
        {"a newer staged version keeps the part", "2.01.0200", n, 1000, "bytes=1000-", "206"},
        {"a complete package is finished as it is", kNewer, n, whole.size(), nullptr, "416"},
    };
    for (const Staging& c : cases) {
        SCOPED_TRACE(c.what);
        NewSandbox();
        Install("Brightloom Desktop");
        Catalogues(kNewer);
        std::filesystem::create_directory(staging_);
        WriteFile(Staged(), whole.substr(0, c.have));
        WriteFile(staging_ + "/BLMNL.INI", std::string("[INFO]\r\nVER=") + c.ver + "\r\nSize=" + c.size + "\r\n");
        Reg({"add", "HKCU\\Software\\Brightloom", "/v", "Update", "/t", "REG_DWORD", "/d", "1", "/f"});
        RunResult r = Update({}, "i\n");
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(UpdateFlag(), "0") << "the package staged before is in place: nothing is left for /U";
        const std::vector<Request> requests = Requests();
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[1].range, c.range ? c.range : "bytes=" + n + "-");
        EXPECT_EQ(requests[1].status, c.status);
        EXPECT_TRUE(ReadFile(program_) == whole);
        EXPECT_FALSE(Exists(staging_));
    }
}

TEST_F(InteractiveUpdate, AProgramFileInUseStaysUntilSlashU) {
    Install("Brightloom Desktop");
    Catalogues(kNewer);
    // The product runs: its program file is in use.
    ProcessId product = Spawn({program_, kWindows ? "60000" : "60"});
    children_.push_back(product);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    ASSERT_TRUE(IsRunning(product));

    // A flag that cannot be set is no package staged for "/U", which only the flag would tell the product.
    if (!kWindows) {
        std::filesystem::create_directory(*root_ / "reg/HKCU.lock");
        RunResult r = Update({}, "i\n");
        EXPECT_EQ(r.exitCode, nl::kRunBadRegistry) << r.out;
        EXPECT_NE(r.out.find("Novalink: The update could not be recorded"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(kRestart), std::string::npos) << r.out;
        std::filesystem::remove(*root_ / "reg/HKCU.lock");
    }
    RunResult r = Update({}, "i\n");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find(kRestart), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(std::string("Outcome: ") + kNewer + " staged for /U"), std::string::npos) << r.out;
    EXPECT_EQ(ReadFile(program_), installed_) << "the program file in use was replaced";
    EXPECT_EQ(UpdateFlag(), "1");
    EXPECT_EQ(ReadFile(Staged()), PackageFor("Desktop"));
    EXPECT_NE(State().find("Complete=" + std::to_string(PackageFor("Desktop").size())), std::string::npos) << State();

    // Once the product has ended, "/U" applies the package.
    Kill(product);
    r = testutil::Run({BuildProgram("novalink"), "/U0"}, env_, 30);
    EXPECT_EQ(r.exitCode, nl::kStagedApplied) << r.out;
    EXPECT_EQ(ReadFile(program_), PackageFor("Desktop"));
    EXPECT_EQ(Started(), "Desktop\n");
    EXPECT_EQ(UpdateFlag(), "0");
}

TEST_F(InteractiveUpdate, WhatCannotBeRightEndsTheRunWithoutTouchingTheProduct) {
    // A server that announces 100 bytes and then sends without end.
    ScriptedServer endless({ScriptedServer::Send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n" +
                                                 std::string(100 + 64 * 1024, 'z')),
                            ScriptedServer::Hold()});
    // A catalogue whose [Desktop] has `size` and a package at `path` on nginx.
    auto desktop = [&](const std::string& size, const std::string& path) {
        return std::string("[Info]\r\nVER=") + kNewer + "\r\n[Desktop]\r\n" + size + "DOWNLOAD=http://127.0.0.1:" +
               std::to_string(nginx_->Port()) + path + "\r\n";
    };
    struct Case {
        const char* what;
        std::function<void()> prepare;
        int exit;
        const char* said;
    };
    const Case cases[] = {
        {"a package longer than announced",
         [&] {
             nginx_->Put("m_update/blmnl.cfg", std::string("[Info]\r\nVER=") + kNewer +
                                                   "\r\n[Desktop]\r\nSIZE=100\r\nDOWNLOAD=http://127.0.0.1:" +
                                                   std::to_string(endless.Port()) + "/Desktop.bin\r\n");
         },
         nl::kRunBadPackage, "larger than announced"},
        // The server's honest 4000 bytes are more than the catalogue's SIZE: refused at its header.
        {"a package larger than its SIZE",
         [&] { nginx_->Put("m_update/blmnl.cfg", desktop("SIZE=100\r\n", "/files/Desktop.bin")); },
         nl::kRunBadPackage, "larger than announced"},
        {"a package without a SIZE to bound it",
         [&] { nginx_->Put("m_update/blmnl.cfg", desktop("", "/files/Desktop.bin")); }, nl::kRunConnectionError,
         "no usable SIZE in [Desktop]"},
        {"no room for the staging folder", [&] { WriteFile(staging_, "a file"); }, nl::kRunNoStagingFolder,
         "The folder for the update cannot be created"},
        // One reader on both systems: a value holding a line break is missing.
        {"a catalogue value holding a carriage return",
         [&] { nginx_->Put("m_update/blmnl.cfg", "[Info]\r\nVER=2.01\r0105\r\n"); }, nl::kRunConnectionError,
         kConnectionError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        NewSandbox();
        Install("Brightloom Desktop");
        Catalogues(kNewer);
        c.prepare();
        RunResult r = Update({}, "i\n");
        EXPECT_EQ(r.exitCode, c.exit) << r.out;
        EXPECT_NE(r.out.find(c.said), std::string::npos) << r.out;
        EXPECT_EQ(ReadFile(program_), installed_);
        EXPECT_FALSE(Exists(Staged()));
        EXPECT_EQ(UpdateFlag(), "none");
    }
}

TEST_F(InteractiveUpdate, AProgramFileWithoutVersionAndAnUnwritableMachineKeyGoOnAsATrial) {
    // The updater runs as the user nobody, who may read the registry but not change it.
    if (kWindows) GTEST_SKIP() << "Wine runs every program as the one user, who may change HKLM";
    if (testutil::Run({"/bin/sh", "-c", "[ \"$(id -u)\" = 0 ] && command -v setpriv"}, {}, 10).exitCode != 0)
        GTEST_SKIP() << "needs root and setpriv to run the updater as another user";
    WriteFile(program_, "#!/bin/sh\necho no version information\n");
    Reg({"add", "HKLM\\Software\\Brightloom", "/v", "Path", "/t", "REG_SZ", "/d", program_, "/f"});
    Catalogues(kNewer);
    std::filesystem::permissions(root_->path(), static_cast<std::filesystem::perms>(0755));
    std::filesystem::permissions(*root_ / "tmp", static_cast<std::filesystem::perms>(01777));

    RunResult r = testutil::Run({"/bin/sh", "-c",
                                 "printf 'i\\n' | exec setpriv --reuid=65534 --regid=65534 --clear-groups \"$NL_BIN\""},
                                env_, 60);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Novalink: Error File!"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(kRestart), std::string::npos) << r.out;
    const std::vector<Request> requests = Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].line, "GET /download/blmnl.cfg HTTP/1.0");
    EXPECT_EQ(requests[1].line, "GET /files/TE.bin HTTP/1.1");
    // The shared folder is not used as it is: the user's own inside it is.
    EXPECT_EQ(ReadFile(*root_ / "tmp/novalink-65534/BLM_SETUP.EXE"), PackageFor("TE"));
    // The value could not be deleted, and stays.
    RunResult path = testutil::Run({BuildDir() + "/novalink-reg", "query", "HKLM\\Software\\Brightloom", "/v", "Path"},
                                   env_, 20);
    EXPECT_NE(path.out.find(program_), std::string::npos) << path.out;
}

// SIGTERM, SIGHUP and a second Ctrl+C at the cancel question end the run as a
// confirmed cancel: the local catalogue is gone, a part stays staged, the program
// file is untouched. The updater's input stays open (a FIFO), so that no end of
// input answers for it. A closed output, or a pipe nobody reads, lets it finish.
TEST_F(InteractiveUpdate, SignalsAndAClosedOutputEndTheRunCleanly) {
    if (kWindows) GTEST_SKIP() << "POSIX signals; Ctrl+C in a Windows console is platform.win32.console_break's";
    ScriptedServer silent({ScriptedServer::Hold()});
    const std::string run = "mkfifo ../in && exec 3<>../in && printf 'i\\n' >&3 && "
                            "{ timeout --foreground -s KILL 30 \"$NL_BIN\" <&3 3<&- >../out 2>&1 & p=$!; }; ";
    auto when = [](const std::string& t) { return "for i in $(seq 400); do " + t + " && break; sleep .05; done;"; };
    const std::string part = when("[ -s BLM_UPDATE/BLMNL.PTX ]"), end = "wait $p; echo \"exit $?\"; cat ../out";
    const struct {
        std::string what, script;
        int exit;
        bool installed, silent;  // the update is put in place; the catalogue never comes
    } cases[] = {
        {"SIGTERM while the catalogue is awaited", run + when("[ -e blmnl.cfg ]") + "kill -TERM $p; " + end,
         nl::kRunCancelled, false, true},
        {"SIGHUP during the download", run + part + " kill -HUP $p; " + end, nl::kRunCancelled, false, false},
        {"a second Ctrl+C at the cancel question",
         run + part + " kill -INT $p; " + when("grep -q 'Cancel the' ../out") + " kill -INT $p; " + end,
         nl::kRunCancelled, false, false},
        {"a pipe nobody reads", "printf 'i\\n' | { sleep .2; \"$NL_BIN\"; echo \"exit $?\" >&2; } | true", 0, 1, 0},
        {"no standard output", "printf 'i\\n' | { \"$NL_BIN\" >&-; echo \"exit $?\" >&2; }", 0, 1, 0},
    };
    const std::size_t size = 1024 * 1024;  // about four seconds at nginx's limited rate
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NewSandbox();
        Install("Brightloom Desktop");
        Catalogues(kNewer, c.installed ? "files" : "slow", c.installed ? 4000 : size);
        if (c.silent) SetServer("http://127.0.0.1:" + std::to_string(silent.Port()));
        RunResult r = testutil::Run({"/bin/sh", "-c", "cd \"$TMPDIR\" && " + c.script}, env_, 60);
        EXPECT_NE(r.out.find("exit " + std::to_string(c.exit)), std::string::npos) << r.out;
        EXPECT_FALSE(Exists(*root_ / "tmp/blmnl.cfg")) << "the local catalogue outlived its window";
        EXPECT_TRUE(ReadFile(program_) == (c.installed ? PackageFor("Desktop") : installed_)) << "the program file";
        const std::size_t staged = Exists(Staged()) ? ReadFile(Staged()).size() : 0;
        EXPECT_TRUE(c.installed || c.silent ? !Exists(staging_) : staged > 0 && staged < size) << staged;
    }
}

TEST_F(InteractiveUpdate, OnATerminalTheStatusAreaStaysOutOfQuestionsAndCIsCancel) {
    if (kWindows) GTEST_SKIP() << "a pseudo-terminal (script(1)); Wine gives a program no console to test through";
    ScriptedServer silent({ScriptedServer::Hold()});
    auto when = [](const std::string& t) { return "for i in $(seq 400); do " + t + " && break; sleep .05; done; "; };
    // script(1) runs the updater on a pseudo-terminal; its input stays open until the updater ends.
    const std::string run = "} | { timeout -s KILL 40 script -qfec \"$NL_BIN\" /dev/null >../out; echo \"exit $?\" >../done; }; "
                            "cat ../out ../done";
    const struct {
        std::string what, feed;
        int exit;
        bool silent;
        std::vector<std::pair<std::string, int>> times = {};  // how often each text shows
    } cases[] = {
        {"the cancel question during the download",
         when("grep -q 'Install >>' ../out") + "printf 'i\\n'; " + when("[ -s BLM_UPDATE/BLMNL.PTX ]") + "sleep .5; printf 'c\\n'; " +
             when("grep -q 'Cancel the' ../out") + "sleep .5; printf 'y\\n'; ",
         nl::kRunCancelled, false},
        {"c in the check window", when("[ -e blmnl.cfg ]") + "printf 'c\\n'; ", nl::kRunCancelled, true},
        {"the offer: its banner once, also after an answer, and an empty line asks again",
         when("grep -q 'Install >>' ../out") + "printf '\\n'; " + when("[ $(grep -c 'Cancel .c.:' ../out) = 2 ]") +
             "printf 'c\\n'; " + when("grep -q 'Cancel the' ../out") + "printf 'n\\n'; " +
             when("[ $(grep -c 'Cancel .c.:' ../out) = 3 ]") + "printf 'c\\ny\\n'; ",
         nl::kRunCancelled, false, {{"Brightloom Novalink...", 1}, {"Cancel [c]: ", 3}, {"Cancel the", 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        NewSandbox();
        Install("Brightloom Desktop");
        Catalogues(kNewer, "slow", 1024 * 1024);
        if (c.silent) SetServer("http://127.0.0.1:" + std::to_string(silent.Port()));
        RunResult r = testutil::Run(
            {"/bin/sh", "-c", "cd \"$TMPDIR\" && { " + c.feed + when("[ -e ../done ]") + run}, env_, 60);
        ASSERT_NE(r.out.find("exit " + std::to_string(c.exit)), std::string::npos) << r.out;
        for (const auto& [text, times] : c.times) {
            int seen = 0;
            for (std::size_t at = r.out.find(text); at != std::string::npos; at = r.out.find(text, at + 1)) ++seen;
            EXPECT_EQ(seen, times) << text << "\n" << r.out;
        }
        if (c.silent || !c.times.empty()) continue;
        // The question starts a line of its own, and nothing is drawn over it or after it before the answer.
        const std::size_t q = r.out.find("Can you Cancel the Novalink?");
        ASSERT_NE(q, std::string::npos) << r.out;
        const std::size_t from = r.out.rfind('\n', q) + 1, to = r.out.find('\n', q);
        const std::string line = r.out.substr(from, to - from);
        EXPECT_EQ(line.find('\r'), line.size() - 1) << line;
        EXPECT_EQ(line.find("["), line.find("[y/N]")) << line;
        EXPECT_EQ(line.find("\033"), std::string::npos) << line;
        // The bar and its labels were drawn in place, not a line a second.
        EXPECT_NE(r.out.find("\033[A"), std::string::npos) << r.out;
    }
}
