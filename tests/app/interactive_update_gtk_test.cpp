// The interactive update end to end in GTK under Xvfb: build/novalink with
// NOVALINK_UI=gtk shows its real windows, xdotool presses their keys as a user
// would, WebKit fetches the news page from nginx, and every window is saved as
// a screenshot in build/tests/output/app.interactive_update_gtk/.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <tuple>

#include "tests/app/InteractiveUpdateFixture.h"
#include "tests/common/ScriptedServer.h"
#include "tests/common/SpawnUtil.h"
#include "tests/common/TlsSites.h"
#include "tests/common/VirtualDisplay.h"

using namespace testutil;

namespace {

// The windows' client sizes in pixels (twips / 15).
constexpr const char* kCheckWindow = "300x103";
constexpr const char* kOfferWindow = "530x530";
constexpr const char* kDownloadWindow = "401x151";

class InteractiveUpdateGtk : public InteractiveUpdate {
protected:
    void SetUp() override {
        if (const std::string missing = GtkTestsMissing(); !missing.empty()) GTEST_SKIP() << missing;
        InteractiveUpdate::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        display_ = std::make_unique<VirtualDisplay>();
        ASSERT_TRUE(display_->Up()) << "xvfb-run gave no display";
        shots_ = BuildDir() + "/tests/output/app.interactive_update_gtk";
        std::filesystem::create_directories(shots_);
        // A window manager, as on a user's desktop: it decorates the windows and
        // says which actions each one allows.
        if (Have("openbox")) {
            std::vector<std::string> env = display_->Env();
            wm_ = Spawn({display_->Out("command -v openbox"), "--sm-disable"}, {env, -1, *root_ / "openbox.txt", ""});
            display_->Sh("for i in $(seq 100); do xprop -root _NET_SUPPORTING_WM_CHECK | grep -q window && break; "
                         "sleep .05; done");
        }
    }
    void TearDown() override {
        InteractiveUpdate::TearDown();
        if (wm_ > 0) Kill(wm_);
        display_.reset();
    }

    // Starts the updater on the display.
    void Start() {
        std::vector<std::string> env = env_;
        for (const auto& e : display_->Env()) env.push_back(e);
        env.push_back("NOVALINK_UI=gtk");
        // Under the sanitizers: the leak checker cannot stop WebKit's threads at
        // exit, and what the toolkit keeps until then is not ours to free.
        env.push_back("ASAN_OPTIONS=detect_leaks=0:abort_on_error=1");
        output_ = *root_ / "output.txt";
        updater_ = Spawn({BuildDir() + "/novalink"}, {env, -1, output_, ""});
        children_.push_back(updater_);
    }

    // Waits until the updater shows exactly one visible window of that size
    // ("" any size but the forms'); its id, or "" after the time-out.
    std::string WaitWindow(const std::string& size, int timeoutMs = 30000) {
        const std::string list =
            "for w in $(xdotool search --onlyvisible --name \"^Novalink$\"); do "
            "echo \"$w $(xdotool getwindowgeometry $w | sed -n \"s/.*Geometry: //p\")\"; done";
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        do {
            std::istringstream in(testutil::Run({"/bin/sh", "-c", list}, display_->Env(), 15).out);
            std::string found, id, geometry;
            int matches = 0;
            while (in >> id >> geometry) {
                const bool form = geometry == kCheckWindow || geometry == kOfferWindow || geometry == kDownloadWindow;
                if (size.empty() ? !form : geometry == size) found = id, ++matches;
            }
            if (matches == 1) return found;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (std::chrono::steady_clock::now() < end && IsRunning(updater_));
        return "";
    }

    // Saves the screen once the window has settled.
    void Screenshot(const std::string& name) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        EXPECT_EQ(display_->Sh("import -window root " + shots_ + "/" + name + ".png"), 0) << name;
    }

    // Focuses the window (nothing activates windows without a window manager)
    // and presses the keys.
    void Keys(const std::string& window, const std::string& keys) {
        ASSERT_FALSE(window.empty());
        ASSERT_EQ(display_->Sh("xdotool windowfocus --sync " + window + " && sleep 0.2 && xdotool key " + keys), 0);
    }

    int Exit() {
        const int code = WaitExit(updater_, 30000);
        children_.clear();
        return code;
    }
    std::string Output() const { return ReadFile(output_); }

    std::unique_ptr<VirtualDisplay> display_;
    std::string shots_, output_;
    ProcessId updater_ = -1;
    ProcessId wm_ = -1;
};

// The whole road by keys: the offer shows the news page, Enter presses nothing
// there, Alt+C asks and Enter answers the question's default (No), Alt+I starts
// the download, and Enter
// answers the final message; the new program is in place and started.
TEST_F(InteractiveUpdateGtk, TheWholeRoadByKeys) {
    const std::size_t size = 1024 * 1024;  // about four seconds at nginx's limited rate
    Install("Brightloom Desktop");
    Catalogues(kNewer, "slow", size);
    Start();

    const std::string offer = WaitWindow(kOfferWindow);
    ASSERT_FALSE(offer.empty()) << Output();
    // WebKit fetched the news page: nginx saw the browser engine's request.
    std::vector<Request> requests;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (requests.size() < 2 && std::chrono::steady_clock::now() < end) {
        for (const Request& r : Requests()) requests.push_back(r);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ASSERT_GE(requests.size(), 2u) << nginx_->AccessLog();
    EXPECT_EQ(requests[0].line, "GET /m_update/blmnl.cfg HTTP/1.0");
    EXPECT_EQ(requests[1].line.rfind("GET /news.html HTTP/1.1", 0), 0u) << requests[1].line;
    EXPECT_NE(requests[1].agent.find("AppleWebKit/"), std::string::npos) << requests[1].agent;
    EXPECT_EQ(requests[1].status, "200");
    Screenshot("offer");

    // The offer has no default button: a stray Enter starts no download.
    Keys(offer, "Return");
    EXPECT_EQ(WaitWindow(kDownloadWindow, 1500), "");
    ASSERT_EQ(WaitWindow(kOfferWindow), offer);

    // "&Cancel" asks; Enter gives the default No, and the offer stays.
    Keys(offer, "alt+c");
    const std::string question = WaitWindow("");
    ASSERT_FALSE(question.empty()) << Output();
    Screenshot("question");
    Keys(question, "Return");
    ASSERT_EQ(WaitWindow(kOfferWindow), offer);

    // The banner: the program's picture on white (a point of its blue ring, and
    // the white beside it); the offer gives its icon to the download window.
    // The window alone: where a window manager puts its frame does not matter.
    ASSERT_EQ(display_->Sh("import -window " + offer + " " + shots_ + "/offer-window.png"), 0);
    for (const auto& [px, py, colour] : {std::tuple{498, 2, "srgb(29,95,191)"}, std::tuple{460, 24, "srgb(255,255,255)"}})
        EXPECT_EQ(display_->Out("convert " + shots_ + "/offer-window.png -format \"%[pixel:p{" + std::to_string(px) +
                                "," + std::to_string(py) + "}]\" info:"),
                  colour)
            << px << "," << py;
    Keys(offer, "alt+i");
    const std::string download = WaitWindow(kDownloadWindow);
    ASSERT_FALSE(download.empty()) << Output();
    EXPECT_NE(display_->Out("xprop -id " + download + " _NET_WM_ICON | head -1").find("Icon (48 x 48)"), std::string::npos)
        << "the download window has not the offer's icon";
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // some of the package has come
    Screenshot("download");
    if (wm_ > 0) {
        const std::string actions = display_->Out("xprop -id " + download + " _NET_WM_ALLOWED_ACTIONS");
        for (const char* action : {"MAXIMIZE_HORZ", "RESIZE"})
            EXPECT_EQ(actions.find(std::string("_NET_WM_ACTION_") + action), std::string::npos) << actions;
    }

    const std::string message = WaitWindow("");
    ASSERT_FALSE(message.empty()) << Output();
    Screenshot("message");
    Keys(message, "Return");
    EXPECT_EQ(Exit(), 0) << Output();

    EXPECT_TRUE(ReadFile(program_) == PackageFor("Desktop", size));
    EXPECT_EQ(Started(), "Desktop\n");
    EXPECT_FALSE(Exists(staging_));
    requests = Requests();
    ASSERT_EQ(requests.size(), 1u) << nginx_->AccessLog();
    EXPECT_EQ(requests[0].line, "GET /slow/Desktop.bin HTTP/1.1");
    EXPECT_EQ(requests[0].range, "-");
}

// While the check window waits on a server that never answers, it costs no
// processor time; its "&Cancel" (Alt+C) ends the run as cancelled.
TEST_F(InteractiveUpdateGtk, TheCheckWindowWaitsIdleAndCancels) {
    ScriptedServer silent({ScriptedServer::Hold()});
    Install("Brightloom Desktop");
    SetServer("http://127.0.0.1:" + std::to_string(silent.Port()));
    Start();

    const std::string check = WaitWindow(kCheckWindow);
    ASSERT_FALSE(check.empty()) << Output();
    Screenshot("check");
    const double cpu0 = CpuSecondsOf(updater_);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_LT(CpuSecondsOf(updater_) - cpu0, 0.05) << "processor seconds over 3 s of waiting";

    Keys(check, "alt+c");
    EXPECT_EQ(Exit(), nl::kRunCancelled) << Output();
    EXPECT_EQ(ReadFile(program_), installed_);
    EXPECT_EQ(silent.Connections(), 1);
}

// The news view shows web pages only: another Readme leaves it blank (one
// colour) with a line on stderr; a download the page starts, by a refresh to a
// file it cannot show or by a "download" link, is refused, and nothing lands in
// the home or the download folder; a page whose certificate fails WebKit's own
// checks shows nothing either. SIGTERM then ends the run as a cancel.
TEST_F(InteractiveUpdateGtk, TheNewsViewShowsWebPagesOnly) {
    const std::string site = "http://127.0.0.1:" + std::to_string(nginx_->Port());
    const testutil::TlsSites tls;
    ASSERT_TRUE(tls.Running());
    const std::string selfSigned =
        "https://127.0.0.1:" + std::to_string(tls.Port(testutil::TlsSites::SelfSigned)) + "/news.html";
    const std::string refused = "novalink: a download by the news page refused: ";
    nginx_->Put("refresh.html", "<html><head><meta http-equiv='refresh' content='0;url=/files/Desktop.bin'></head>");
    nginx_->Put("link.html", "<a id='a' href='/files/Standard.bin' download>x</a><script>a.click()</script>");
    const struct {
        std::string readme;
        bool blank;
        std::string said;     // on stderr
        const char* fetched;  // by WebKit, last
    } cases[] = {
        {site + "/news.html", false, "", "/news.html"},
        {"file:///etc/passwd", true, "novalink: the news page refused: file:///etc/passwd", nullptr},
        {"data:text/html,<h1>owned</h1>", true, "novalink: the news page refused: data:text/html,<h1>owned</h1>",
         nullptr},
        {site + "/refresh.html", true, refused + site + "/files/Desktop.bin", "/files/Desktop.bin"},
        {site + "/link.html", false, refused + site + "/files/Standard.bin", "/files/Standard.bin"},
        {selfSigned, true, "novalink: the news page " + selfSigned + " refused: its certificate failed the checks",
         nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.readme);
        NewSandbox();
        Install("Brightloom Desktop");
        Catalogues(kNewer, "files", 4000, "", "", c.readme);
        const std::string home = *root_ / "home", downloads = *root_ / "downloads";
        for (const std::string& d : {home, downloads}) std::filesystem::create_directory(d);
        WriteFile(home + "/user-dirs.dirs", "XDG_DOWNLOAD_DIR=\"" + downloads + "\"\n");
        env_.insert(env_.end(), {"HOME=" + home, "XDG_CONFIG_HOME=" + home});
        Start();
        const std::string offer = WaitWindow(kOfferWindow);
        ASSERT_FALSE(offer.empty()) << Output();
        auto seen = [&] {
            return !c.fetched || nginx_->AccessLog().find(std::string("GET ") + c.fetched) != std::string::npos;
        };
        for (int i = 0; i < 300 && !seen(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        // nginx may log the reply before WebKit has judged it: wait for the word.
        for (int i = 0; i < 200 && Output().find(c.said) == std::string::npos; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // a download would be written by now
        // The web view's area (twips / 15).
        const std::string shot = shots_ + "/news-" + std::to_string(&c - cases + 1) + ".png";
        ASSERT_EQ(display_->Sh("import -window " + offer + " -crop 514x420+8+58 +repage " + shot), 0);
        EXPECT_EQ(display_->Out("identify -format %k " + shot) == "1", c.blank) << shot;
        Terminate(updater_);
        EXPECT_EQ(Exit(), nl::kRunCancelled) << Output();
        EXPECT_NE(Output().find(c.said), std::string::npos) << Output();
        for (const std::string& d : {home, downloads})
            for (const auto& f : std::filesystem::directory_iterator(d))
                EXPECT_TRUE(f.path().filename() == "user-dirs.dirs" || !f.is_regular_file()) << f.path();
    }
}

}  // namespace
