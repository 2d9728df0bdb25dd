// What Linux adds to the forms' model (platform/FrontEndSystem.h): the choice of
// the front end (the terminal, or the GTK module when there is a display), and
// Ctrl+C and the other signals that end a run.
#include "platform/FrontEndSystem.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/PlatformFrontEndHost.h"
#include "platform/VisibleText.h"
#include "platform/posix/EventLoop.h"
#include "platform/posix/GtkModule.h"

namespace plat {

namespace {

posix::EventLoop& Loop() { return posix::EventLoop::Instance(); }

// ---- signals -----------------------------------------------------------------
// The handler only writes the signal's number to a pipe that the loop watches;
// the loop then acts on the forms:
// - Ctrl+C (SIGINT) presses the active form's "&Cancel" (or closes it); in a
//   message box it answers as FrontEnd::InterruptMessageBox says (Yes to the
//   question whether to give up: a Ctrl+C there never lets the work go on).
// - SIGTERM and SIGHUP end the run as a confirmed cancel (EndFormsRun).
// When the loop has not taken the previous Ctrl+C yet (it is stuck), a second one
// ends the process at once. SIGPIPE is ignored: when standard output is a pipe
// nobody reads any more, writes to it fail and the run goes on to its end.

int g_sigPipe[2] = {-1, -1};
volatile sig_atomic_t g_sigPending = 0;

void OnSignal(int sig) {
    if (sig == SIGINT) {
        if (g_sigPending) _exit(130);
        g_sigPending = 1;
    }
    int saved = errno;
    char c = static_cast<char>(sig);
    ssize_t r = write(g_sigPipe[1], &c, 1);
    (void)r;
    errno = saved;
}

// Nothing of ours to end: the signal does what it always does.
void DefaultAction(int sig) {
    signal(sig, SIG_DFL);
    raise(sig);
}

void OnSignalsArrived() {
    char buf[64];
    ssize_t n;
    while ((n = read(g_sigPipe[0], buf, sizeof buf)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            const int sig = static_cast<unsigned char>(buf[i]);
            if (sig == SIGINT) {
                g_sigPending = 0;
                if (!InterruptForms()) DefaultAction(SIGINT);
            } else if (!EndFormsRun()) {
                DefaultAction(sig);
            }
        }
    }
}

void InstallSignals() {
    if (pipe2(g_sigPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    Loop().Watch(g_sigPipe[0], EPOLLIN, [](std::uint32_t) { OnSignalsArrived(); });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
    // Started programs get every signal's default back (platform/posix/Process.cpp).
    signal(SIGPIPE, SIG_IGN);
}

// The GTK module: next to the program, or where the build put it.
FrontEnd* LoadGtk(std::string* error) {
    std::vector<std::string> places;
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string dir(exe, static_cast<std::size_t>(n));
        dir = dir.substr(0, dir.rfind('/'));
        places.push_back(dir + "/novalink-gtk.so");
        places.push_back(dir.substr(0, dir.rfind('/')) + "/novalink-gtk.so");
#ifdef NOVALINK_GTK_MODULE_BESIDE_BIN
        // Installed under another prefix than the one built for: prefix/bin's
        // neighbour prefix/lib.../novalink.
        places.push_back(dir.substr(0, dir.rfind('/')) + "/" + NOVALINK_GTK_MODULE_BESIDE_BIN);
#endif
    }
#ifdef NOVALINK_GTK_MODULE
    places.push_back(NOVALINK_GTK_MODULE);
#endif
    void* module = nullptr;
    std::string why = "the GTK front end is not installed";
    for (const auto& p : places) {
        if (access(p.c_str(), R_OK) != 0) continue;
        module = dlopen(p.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module) break;
        const char* e = dlerror();
        why = e ? e : "cannot load " + p;
    }
    if (!module) {
        *error = why;
        return nullptr;
    }
    auto make = reinterpret_cast<decltype(&NovalinkGtkFrontEnd)>(dlsym(module, "NovalinkGtkFrontEnd"));
    if (!make) {
        *error = "the GTK front end has no entry point";
        return nullptr;
    }
    return make(&PlatformFrontEndHost::Instance(), error);
}

}  // namespace

FrontEnd* OpenSystemFrontEnd(FrontEndKind* kind) {
    FrontEnd* frontEnd = nullptr;
    const char* ui = std::getenv("NOVALINK_UI");
    std::string choice = ui ? ui : "";
    bool wantGtk = choice == "gtk";
    if (choice.empty()) {
        const char* x = std::getenv("DISPLAY");
        const char* w = std::getenv("WAYLAND_DISPLAY");
        wantGtk = (x && *x) || (w && *w);
    } else if (choice != "text" && choice != "gtk") {
        std::fprintf(stderr, "novalink: NOVALINK_UI=%s is neither \"text\" nor \"gtk\"; using the terminal\n",
                     VisibleText(choice).c_str());
    }
    if (wantGtk) {
        std::string error;
        frontEnd = LoadGtk(&error);
        if (frontEnd) {
            *kind = FrontEndKind::Gtk;
        } else {
            std::fprintf(stderr, "novalink: no graphical display (%s); using the terminal\n", error.c_str());
        }
    }
    if (!frontEnd) {
        frontEnd = MakeTerminalFrontEnd().release();
        *kind = FrontEndKind::Terminal;
    }
    Loop().SetDestroyHook(FormWindowDestroyed);
    InstallSignals();
    return frontEnd;
}

void RunFromLoop(std::function<void()> task) { Loop().Post(std::move(task)); }


}  // namespace plat
