// What Linux adds to the forms' model (platform/FrontEndSystem.h): the choice of
// the front end (the terminal, or the GTK module when there is a display).
#include "platform/FrontEndSystem.h"

#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/LoopSignals.h"
#include "platform/PlatformFrontEndHost.h"
#include "platform/VisibleText.h"
#include "platform/frontends/gtk/GtkModule.h"
#include "platform/posix/EventLoop.h"

namespace plat {

namespace {

posix::EventLoop& Loop() { return posix::EventLoop::Instance(); }

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
    // Ctrl+C presses the active form's "&Cancel" (or closes it), and answers a
    // message box as FrontEnd::InterruptMessageBox says (Yes to the question
    // whether to give up: a Ctrl+C there never lets the work go on); SIGTERM and
    // SIGHUP end the run as a confirmed cancel.
    OnLoopSignal(LoopSignal::Interrupt, InterruptForms);
    OnLoopSignal(LoopSignal::Terminate, EndFormsRun);
    // When standard output is a pipe nobody reads any more, writes to it fail and
    // the run goes on to its end.
    signal(SIGPIPE, SIG_IGN);
    return frontEnd;
}

void RunFromLoop(std::function<void()> task) { Loop().Post(std::move(task)); }


}  // namespace plat
