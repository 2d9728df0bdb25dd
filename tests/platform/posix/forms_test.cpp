// The front ends, driven from outside as a user would: the probe form
// (tests/platform/posix/forms_probe.cpp) answered through the terminal with
// piped or file input and Ctrl+C, and shown by GTK under Xvfb, where xdotool
// presses its keys, WebKit fetches its page from nginx, and it idles.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "tests/common/NginxServer.h"
#include "tests/common/SpawnUtil.h"
#include "tests/common/TestUtil.h"
#include "tests/common/VirtualDisplay.h"

using namespace testutil;

namespace {

std::string Probe() { return BuildDir() + "/tests/forms_probe"; }

// A probe run: stdout and stderr in a file, stdin a pipe the test writes to,
// or a file.
class ProbeRun {
public:
    ProbeRun(const std::vector<std::string>& args, const std::vector<std::string>& env, const std::string* fileInput)
        : out_(dir_ / "out.txt") {
        int in[2] = {-1, -1};
        if (fileInput) {
            WriteFile(dir_ / "in.txt", *fileInput);
            in[0] = open((dir_ / "in.txt").c_str(), O_RDONLY | O_CLOEXEC);
        } else if (pipe2(in, O_CLOEXEC) != 0) {
            return;
        }
        std::vector<std::string> argv{Probe()};
        argv.insert(argv.end(), args.begin(), args.end());
        pid_ = fork();
        if (pid_ == 0) {
            for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
            int fd = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(in[0], 0);
            dup2(fd, 1);
            dup2(fd, 2);
            std::vector<char*> a;
            for (auto& s : argv) a.push_back(s.data());
            a.push_back(nullptr);
            execv(a[0], a.data());
            _exit(127);
        }
        close(in[0]);
        input_ = in[1];
    }
    ~ProbeRun() {
        CloseInput();
        if (pid_ > 0 && WaitExit(pid_, 0) == -2) ADD_FAILURE() << "the probe was still running:\n" << Output();
    }

    void Write(const std::string& s) { ASSERT_EQ(write(input_, s.data(), s.size()), ssize_t(s.size())); }
    void CloseInput() {
        if (input_ >= 0) close(input_);
        input_ = -1;
    }
    pid_t Pid() const { return pid_; }
    std::string Output() const { return ReadFile(out_); }
    // Waits (bounded) until the output holds `text`.
    bool WaitFor(const std::string& text, int timeoutMs = 20000) const {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Output().find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }
    int Exit(int timeoutMs = 20000) {
        CloseInput();
        int code = WaitExit(pid_, timeoutMs);
        pid_ = -1;
        return code;
    }

private:
    TempDir dir_;
    std::string out_;
    pid_t pid_ = -1;
    int input_ = -1;
};

// The lines in `events`, in order, each found after the one before.
void ExpectInOrder(const std::string& out, const std::vector<std::string>& events) {
    std::size_t at = 0;
    for (const auto& e : events) {
        std::size_t p = out.find(e, at);
        ASSERT_NE(p, std::string::npos) << "missing \"" << e << "\" (in order) in:\n" << out;
        at = p + e.size();
    }
}

struct TextCase {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    bool viaFile;  // stdin a regular file rather than a pipe
    std::vector<std::string> events;
    std::vector<std::string> absent;
};

TEST(FormsTerminal, AnswersFromInput) {
    const std::string url = "http://127.0.0.1:9/news.html";
    const TextCase cases[] = {
        {"install", {}, "i\n", false, {"News: " + url, "COMMAND 1", "END"}, {"COMMAND 2", "BOX"}},
        {"install upper case from a file", {}, "I\n", true, {"COMMAND 1", "END"}, {"BOX"}},
        {"an empty line asks again", {}, "\ni\n", false, {"COMMAND 1", "END"}, {"COMMAND 2", "BOX"}},
        {"end of input cancels, then closes",
         {},
         "",
         false,
         {"COMMAND 2", "Can you Cancel the Novalink? [y/N]", "BOX 7", "CLOSE", "END"},
         {"COMMAND 1"}},
        {"cancel confirmed", {}, "x\ny\n", false, {"COMMAND 2", "BOX 6", "END"}, {"CLOSE", "COMMAND 1"}},
        {"cancel declined, asked again", {}, "x\nNo\ni\n", true, {"COMMAND 2", "BOX 7", "COMMAND 1", "END"}, {"CLOSE"}},
        {"yes in any case", {}, "c\nYES\n", false, {"COMMAND 2", "BOX 6", "END"}, {}},
        {"commands ignore other lines",
         {"--commands"},
         "i x\nzz\n\nc\ny\n",
         false,
         {"COMMAND 2", "BOX 6", "END"},
         {"COMMAND 1", "News:"}},
        {"a label's burst is shown throttled, its last text kept",
         {"--commands", "--label-burst"},
         "c\ny\n",
         true,
         {"Initializing", "Downloading 500", "END"},
         {"Downloading 2\n", "Downloading 250\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--url", url});
        ProbeRun run(args, {"NOVALINK_UI=text"}, c.viaFile ? &c.input : nullptr);
        if (!c.viaFile) {
            run.Write(c.input);
            run.CloseInput();
        }
        ASSERT_EQ(run.Exit(), 0) << run.Output();
        std::string out = run.Output();
        ExpectInOrder(out, {"FRONTEND terminal"});
        ExpectInOrder(out, c.events);
        for (const auto& a : c.absent) EXPECT_EQ(out.find(a), std::string::npos) << a << " in:\n" << out;
        // The surface with its 40 % fill is a progress bar (output is not a terminal: plain lines).
        EXPECT_NE(out.find("[############..................] 40%"), std::string::npos) << out;
    }
}

// Ctrl+C presses the cancel button; in the question whether to give up it
// answers Yes, never the default No that would let the work go on.
TEST(FormsTerminal, CtrlCActsAsCancel) {
    ProbeRun run({"--commands"}, {"NOVALINK_UI=text"}, nullptr);
    ASSERT_TRUE(run.WaitFor("READY"));
    kill(run.Pid(), SIGINT);
    ASSERT_TRUE(run.WaitFor("Can you Cancel the Novalink?")) << run.Output();
    kill(run.Pid(), SIGINT);
    ASSERT_TRUE(run.WaitFor("BOX 6")) << run.Output();
    ASSERT_EQ(run.Exit(), 0) << run.Output();
    ExpectInOrder(run.Output(), {"COMMAND 2", "BOX 6", "END"});
}

// ---- GTK under Xvfb ----------------------------------------------------------

TEST(FormsGtk, KeysPageAndIdle) {
    if (const std::string missing = GtkTestsMissing(); !missing.empty()) GTEST_SKIP() << missing;

    NginxServer nginx;
    ASSERT_TRUE(nginx.Running());
    nginx.Put("news.html", "<html><body style='background:#eef'><h1>News</h1><p>Brightloom 2.01</p></body></html>");
    VirtualDisplay display;
    ASSERT_TRUE(display.Up()) << "xvfb-run gave no display";

    std::vector<std::string> env = display.Env();
    env.push_back("NOVALINK_UI=gtk");
    // Under the sanitizers: the leak checker cannot stop WebKit's threads at exit,
    // and what the toolkit keeps until then is not ours to free.
    env.push_back("ASAN_OPTIONS=detect_leaks=0:abort_on_error=1");
    const std::string url = "http://127.0.0.1:" + std::to_string(nginx.Port()) + "/news.html";
    TempDir pictures;
    ASSERT_EQ(std::system(("convert -size 32x32 xc:red " + pictures / "banner.png").c_str()), 0);
    ProbeRun run({"--url", url, "--image", pictures / "banner.png"}, env, nullptr);
    ASSERT_TRUE(run.WaitFor("READY")) << run.Output();
    ASSERT_NE(run.Output().find("FRONTEND gtk"), std::string::npos) << run.Output();

    // WebKit fetched the page.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (nginx.AccessLog().find("GET /news.html") == std::string::npos && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(nginx.AccessLog().find("GET /news.html"), std::string::npos) << nginx.AccessLog();

    // Let the page settle, then the open form idles.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    double cpu0 = CpuSecondsOf(run.Pid());
    std::this_thread::sleep_for(std::chrono::seconds(3));
    double idle = CpuSecondsOf(run.Pid()) - cpu0;
    EXPECT_LT(idle, 0.05) << "processor seconds over 3 s idle";
    std::printf("idle processor seconds over 3 s: %.3f\n", idle);

    std::string outDir = BuildDir() + "/tests/output/platform.posix.forms";
    std::filesystem::create_directories(outDir);
    EXPECT_EQ(display.Sh("import -window root " + outDir + "/offer.png"), 0);
    // The picture is really drawn: the image and the progress fill, in their
    // colours, where the form puts them (15 twips to a pixel).
    auto where = display.Out("xdotool search --name \"^Novalink Probe$\" getwindowgeometry --shell | tr \"\\n\" \" \"");
    int x = 0, y = 0;
    ASSERT_EQ(std::sscanf(where.c_str() + where.find("X="), "X=%d Y=%d", &x, &y), 2) << where;
    auto pixel = [&](int px, int py) {
        return display.Out("convert " + outDir + "/offer.png -format \"%[pixel:p{" + std::to_string(x + px) + "," +
                           std::to_string(y + py) + "}]\" info:");
    };
    EXPECT_EQ(pixel(476, 22), "srgb(255,0,0)");     // the 32 x 32 image at (460, 6)
    EXPECT_EQ(pixel(108, 455), "srgb(0,120,215)");  // the fill, 205 pixels from (8, 444)
    EXPECT_EQ(pixel(400, 447), "srgb(240,240,240)");  // the rest of the bar: its background
    EXPECT_EQ(pixel(200, 46), "srgb(160,160,160)");  // the etched line at 46: shadow,
    EXPECT_EQ(pixel(200, 47), "srgb(255,255,255)");  // then highlight

    // Without a window manager nothing activates windows: focus the form directly.
    const std::string focus = "w=$(xdotool search --sync --name \"^Novalink Probe$\" | head -1) && "
                              "{ xdotool windowactivate --sync $w 2>/dev/null || xdotool windowfocus --sync $w; }";
    // Alt+C presses "&Cancel"; the question's default button is No (Enter).
    ASSERT_EQ(display.Sh(focus + " && xdotool key alt+c"), 0);
    ASSERT_TRUE(run.WaitFor("COMMAND 2")) << run.Output();
    ASSERT_EQ(display.Sh("w=$(xdotool search --sync --name \"^Novalink$\" | head -1) && xdotool windowfocus --sync $w"
                         " && sleep 0.3 && import -window root " + outDir + "/question.png && xdotool key Return"),
              0);
    ASSERT_TRUE(run.WaitFor("BOX 7")) << run.Output();
    // Ctrl+C is the cancel button here too; the question's No by Enter again.
    kill(run.Pid(), SIGINT);
    ASSERT_TRUE(run.WaitFor("BOX 7\nCOMMAND 2")) << run.Output();
    ASSERT_EQ(display.Sh("w=$(xdotool search --sync --name \"^Novalink$\" | head -1) && xdotool windowfocus --sync $w"
                         " && sleep 0.3 && xdotool key Return"),
              0);
    ASSERT_TRUE(run.WaitFor("COMMAND 2\nBOX 7")) << run.Output();
    // Alt+I presses "&Install >>", which unloads the form and ends the run.
    ASSERT_EQ(display.Sh(focus + " && xdotool key alt+i"), 0);
    ASSERT_TRUE(run.WaitFor("COMMAND 1")) << run.Output();
    EXPECT_EQ(run.Exit(), 0) << run.Output();
    ExpectInOrder(run.Output(), {"ACTIVATE", "COMMAND 2", "BOX 7", "COMMAND 2", "BOX 7", "COMMAND 1", "END"});
}

}  // namespace
