// novalink-get --configure: the download control's property pages in a settings
// window, answered through the terminal with its input from a file, and shown by
// GTK under Xvfb (the Win32 window: tests/platform/win32/windows.sh); the settings
// it saves then carry a real download through tinyproxy.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/common/NginxServer.h"
#include "tests/common/ProxyServer.h"
#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"
#ifndef _WIN32
#include "tests/common/VirtualDisplay.h"
#endif

using namespace testutil;

namespace {

std::string Tool() { return BuildProgram("novalink-get"); }

// Windows' line ends taken out, so that both systems' texts compare alike.
std::string Lines(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
}

// The settings window in the terminal, its input read from a file.
RunResult Configure(const std::string& file, const std::string& input, std::vector<std::string> extra = {}) {
    TempDir io;
    WriteFile(io / "in.txt", input);
    SpawnOptions options;
    options.env = {"NOVALINK_UI=text"};
    options.inputFile = io / "in.txt";
    options.outputFile = io / "out.txt";
    std::vector<std::string> argv{Tool(), "--configure"};
    if (!file.empty()) argv.insert(argv.end(), {"--settings", file});
    argv.insert(argv.end(), extra.begin(), extra.end());
    RunResult r;
    r.exitCode = WaitExit(Spawn(argv, options), 30000);
    r.out = Lines(ReadFile(io / "out.txt"));
    return r;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

// The proxy and the time-out typed into the pages reach the file; the download
// that reads the file goes through that proxy, in the absolute form a proxy takes.
TEST(NovalinkGetConfigure, SavedSettingsCarryADownloadThroughTheProxy) {
    NginxServer nginx;
    ProxyServer proxy;
    ASSERT_TRUE(nginx.Running());
    ASSERT_TRUE(proxy.Running());
    const std::string data = RandomBytes(100000, 5);
    nginx.Put("files/pkg.bin", data);
    TempDir dir;
    const std::string file = dir / "dl.settings";

    RunResult r = Configure(file, "prpProxy.txtServer=127.0.0.1\nprpProxy.txtPort=" + std::to_string(proxy.Port()) +
                                      "\nprpProxy.txtUser=proxyuser\nprpProxy.txtPassword=proxypass\n"
                                      "prpServer.txtTimeout=5\nok\n");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    // The listing of a new file's defaults, each page under its tab's caption;
    // after the apply the page shows what the control made of the time-out.
    for (const char* line : {"[URL]\n", "prpServer.txtServer = \n", "prpServer.txtPort = 80\n",
                             "prpServer.txtTimeout = 30\n", "prpServer.cboHTTPVer = HTTP/1.0\n", "[Proxy Server]\n",
                             "prpProxy.txtPort = 1080\n", "prpProxy.chkNoCash = 1\n"})
        EXPECT_TRUE(Has(r.out, line)) << line << " in:\n" << r.out;
    EXPECT_EQ(r.out.rfind("prpServer.txtTimeout = 30"), r.out.size() - 26) << r.out;
    const std::string saved = Lines(ReadFile(file));
    for (const std::string& entry : std::vector<std::string>{"proxyserver=S:\"127.0.0.1\"", "proxyport=I:" + std::to_string(proxy.Port()),
                              "timeout=I:30", "proxyusername=S:\"proxyuser\""})
        EXPECT_TRUE(Has(saved, entry + "\n")) << entry << " in:\n" << saved;
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

    const std::string url = "http://127.0.0.1:" + std::to_string(nginx.Port()) + "/files/pkg.bin";
    r = testutil::Run({Tool(), "-q", "--settings", file, "-o", dir / "pkg.bin", url}, {}, 30);
    ASSERT_EQ(r.exitCode, 0) << r.out << proxy.Log();
    EXPECT_TRUE(ReadFile(dir / "pkg.bin") == data);
    EXPECT_TRUE(Has(proxy.Log(), "GET " + url + " HTTP/1.")) << proxy.Log();
}

TEST(NovalinkGetConfigure, TerminalSessions) {
    struct Case {
        const char* name;
        std::string before;  // the settings file's text beforehand; "-" none
        std::string input;
        int exitCode;
        std::vector<std::string> said;     // in the output
        std::vector<std::string> saved;    // in the file afterwards
        std::vector<std::string> notSaved;
    } cases[] = {
        {"a failing apply keeps what was written before it",
         "-",
         "prpServer.cboHTTPVer=HTTP/1.1\nprpServer.txtTimeout=100\nprpServer.txtServer=http://srv/x\n"
         "prpServer.txtPort=abc\nprpServer.txtURL=/new\nok\n",
         0,
         {"Type mismatch", "error 13 in prpServer.txtPort"},
         {"httpversion=I:1\n", "timeout=I:100\n", "server=S:\"srv\"\n", "port=I:80\n", "url=S:\"/\"\n"},
         {}},
        {"a second apply after the fix, then cancel",
         "-",
         "prpServer.txtPort=abc\napply\nprpServer.txtPort=8080\napply\nprpProxy.chkNoCash=0\ncancel\n",
         0,
         {"Type mismatch"},
         {"port=I:8080\n", "nocache=B:True\n"},
         {}},
        {"an existing file is shown and kept where nothing changed",
         "server=S:\"files.example\"\nproxyserver=S:\"px\"\nhttpversion=I:7\n",
         "apply\nPRPPROXY.TXTUSER = u\nprpProxy.chkNoCash=maybe\nnofield=1\nhello\n",
         0,
         {"prpServer.txtServer = files.example\n", "prpProxy.txtServer = px\n", "prpServer.cboHTTPVer = \n",
          "? apply is not available now", "? prpProxy.chkNoCash does not take \"maybe\"", "? no field nofield",
          "? hello: neither name=value nor a button"},
         {"server=S:\"files.example\"\n", "httpversion=I:7\n"},
         {"proxyusername"}},
        {"the end of input cancels", "-", "prpServer.txtServer=srv\n", 0, {"prpServer.txtURL = /\n"}, {}, {}},
        {"a list takes an entry's text or index, a check box 1 or 0",
         "-",
         "prpServer.cboHTTPVer=1\nprpProxy.chkNoCash=off\nprpServer.txtURL=dir\\name.zip\nok\n",
         0,
         {"prpServer.txtURL = /name.zip\n"},
         {"httpversion=I:1\n", "nocache=B:False\n", "url=S:\"/name.zip\"\n"},
         {}},
        {"a settings file that cannot be read", "garbage\n", "ok\n", 1, {"cannot load settings"}, {}, {}},
        {"values that would drive the terminal are shown, not obeyed",
         "proxyserver=S:\"px\x1b]0;owned\x07\x1b[2J\x9b\"\n",
         "prpProxy.chkNoCash=\x1b[31m\n",
         0,
         {"prpProxy.txtServer = px\\x1b]0;owned\\x07\\x1b[2J\\x9b\n", "does not take \"\\x1b[31m\""},
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string file = dir / "dl.settings";
        if (c.before != "-") WriteFile(file, c.before);
        RunResult r = Configure(file, c.input);
        EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
        for (const auto& s : c.said) EXPECT_TRUE(Has(r.out, s)) << s << " in:\n" << r.out;
        EXPECT_EQ(r.out.find_first_of("\x1b\x07\x9b"), std::string::npos) << "a control character reached the output";
        const std::string saved = Exists(file) ? Lines(ReadFile(file)) : "";
        if (c.saved.empty()) {
            EXPECT_EQ(saved, c.before == "-" ? "" : c.before);
        }
        for (const auto& s : c.saved) EXPECT_TRUE(Has(saved, s)) << s << " in:\n" << saved;
        for (const auto& s : c.notSaved) EXPECT_FALSE(Has(saved, s)) << s << " in:\n" << saved;
    }
    // --configure needs the file, and nothing else.
    for (const auto& extra : std::vector<std::vector<std::string>>{{}, {"http://127.0.0.1:9/x"}, {"--proxy", "a:1"}}) {
        TempDir dir;
        RunResult r = Configure(extra.empty() ? "" : dir / "s", "ok\n", extra);
        EXPECT_EQ(r.exitCode, 1) << r.out;
        EXPECT_TRUE(Has(r.out, "--configure")) << r.out;
        EXPECT_FALSE(Exists(dir / "s"));
    }
}

#ifndef _WIN32
// GTK: the notebook with its two tabs and the host's buttons, pictures of both
// tabs in the test's output folder; a field typed into, Apply by its mnemonic,
// Escape to close.
TEST(NovalinkGetConfigure, GtkWindow) {
    if (const std::string missing = GtkTestsMissing(); !missing.empty()) GTEST_SKIP() << missing;
    VirtualDisplay display;
    ASSERT_TRUE(display.Up()) << "xvfb-run gave no display";
    TempDir dir;
    const std::string file = dir / "dl.settings";
    WriteFile(file, "server=S:\"files.example\"\nport=I:8080\nurl=S:\"/pub/pkg.zip\"\nproxyserver=S:\"px\"\n");
    SpawnOptions options;
    options.env = display.Env();
    options.env.push_back("NOVALINK_UI=gtk");
    options.env.push_back("ASAN_OPTIONS=detect_leaks=0:abort_on_error=1");
    options.outputFile = dir / "out.txt";
    ProcessId pid = Spawn({Tool(), "--configure", "--settings", file}, options);
    ASSERT_GT(pid, 0);

    const std::string outDir = BuildDir() + "/tests/output/tools.novalink_get_configure";
    std::filesystem::create_directories(outDir);
    const std::string name = "--name \"^Download settings - dl.settings$\"";
    const std::string find = "w=$(xdotool search --sync --onlyvisible " + name + " | head -1)";
    // Waits (bounded) until so many windows of that name are shown: the window,
    // or the window and its message box.
    auto shown = [&](int n) {
        const std::string count = "[ $(xdotool search --onlyvisible " + name + " | wc -l) -eq " + std::to_string(n) + " ]";
        return "for i in $(seq 100); do " + count + " && break; sleep 0.1; done; " + count;
    };
    const std::string focus = find + " && { xdotool windowactivate --sync $w 2>/dev/null || xdotool windowfocus --sync $w; }";
    ASSERT_EQ(display.Sh(focus + " && sleep 0.5 && import -window $w " + outDir + "/url.png", 30), 0)
        << ReadFile(dir / "out.txt");
    // The second tab, "Proxy Server", starts right after "URL" in the strip at the top.
    const std::string where = display.Out(find + " && xdotool getwindowgeometry --shell $w | tr \"\\n\" \" \"");
    int x = 0, y = 0;
    ASSERT_EQ(std::sscanf(where.c_str() + where.find("X="), "X=%d Y=%d", &x, &y), 2) << where;
    ASSERT_EQ(display.Sh(focus + " && xdotool mousemove " + std::to_string(x + 110) + " " + std::to_string(y + 20) +
                         " click 1 && sleep 0.3 && import -window $w " + outDir + "/proxy.png"),
              0);
    // The page's first field, the proxy, has the focus and its text selected:
    // what is typed replaces it.
    ASSERT_EQ(display.Sh(focus + " && xdotool type 127.0.0.1 && sleep 0.3 && xdotool key alt+a"),
              0);
    ASSERT_TRUE(WaitForFile(file, 1)) << ReadFile(dir / "out.txt");
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Has(ReadFile(file), "proxyserver=S:\"127.0.0.1\"") && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(Has(ReadFile(file), "proxyserver=S:\"127.0.0.1\"")) << ReadFile(file);
    EXPECT_TRUE(Has(ReadFile(file), "server=S:\"files.example\"")) << ReadFile(file);
    EXPECT_EQ(display.Sh(focus + " && sleep 0.2 && import -window $w " + outDir + "/applied.png"), 0);
    // A port that is no number: the apply fails with a message box over the
    // window (a second window of that name), which Escape answers; the proxy
    // written before the port keeps its value, and the window stays.
    ASSERT_EQ(display.Sh(focus + " && xdotool key ctrl+a && xdotool type 127.0.0.2 && xdotool key Tab ctrl+a && "
                         "xdotool type abc && xdotool key alt+a && " + shown(2) + " && sleep 0.3 && "
                         "import -window root " + outDir + "/failed.png && xdotool key Escape && " + shown(1)),
              0);
    EXPECT_TRUE(Has(ReadFile(file), "proxyserver=S:\"127.0.0.2\"")) << ReadFile(file);
    EXPECT_TRUE(Has(ReadFile(file), "proxyport=I:1080")) << ReadFile(file);
    EXPECT_EQ(display.Sh(focus + " && sleep 0.3 && xdotool key Escape"), 0);
    EXPECT_EQ(WaitExit(pid, 20000), 0) << ReadFile(dir / "out.txt");
    EXPECT_FALSE(Has(ReadFile(dir / "out.txt"), "CRITICAL")) << ReadFile(dir / "out.txt");
    // The two tabs look different: the second one was really shown.
    EXPECT_NE(ReadFile(outDir + "/url.png"), ReadFile(outDir + "/proxy.png"));
}
#endif
