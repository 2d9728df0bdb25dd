// Forms on Linux: the model of every form, the active form, Ctrl+C and the
// other signals that end a run, and the choice of front end
// (platform/posix/FrontEnd.h).
#include "platform/Forms.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/PictureSource.h"
#include "platform/SysColor.h"
#include "platform/VisibleText.h"
#include "platform/Window.h"
#include "platform/posix/EventLoop.h"
#include "platform/posix/FrontEnd.h"

namespace plat {

namespace {

using posix::FormControl;
using posix::FormModel;

posix::EventLoop& Loop() { return posix::EventLoop::Instance(); }

class Host final : public posix::FrontEndHost {
public:
    void Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) override { PostMessageA(hwnd, msg, wParam, lParam); }
    int LoopFd() override { return LoopBackendFd(); }
    int LoopTimeoutMs() override { return plat::LoopTimeoutMs(); }
    bool LoopRunReady() override { return plat::LoopRunReady(); }
    LoopHostIteration InstallLoopHost(LoopHostIteration iterate) override {
        return plat::InstallLoopHost(std::move(iterate));
    }
    DWORD SysColor(int index) override { return GetSysColor(index); }
};

// A message box waiting for its answer; 0 until it has one.
struct OpenBox {
    std::shared_ptr<int> answer;
    UINT type;
};

struct State {
    FrontEndKind kind = FrontEndKind::NotStarted;
    posix::FrontEnd* frontEnd = nullptr;  // lives as long as the process
    std::map<HWND, std::unique_ptr<FormModel>> forms;
    std::vector<HWND> shownOrder;  // shown forms, the active one last
    std::vector<OpenBox> boxes;    // the innermost last
    bool ending = false;           // the run was asked to end (EndRun)
};

State& S() {
    static State state;
    return state;
}

// ---- signals -----------------------------------------------------------------
// The handler only writes the signal's number to a pipe that the loop watches;
// the loop then acts on the forms:
// - Ctrl+C (SIGINT) presses the active form's "&Cancel" (or closes it); in a
//   message box it answers as FrontEnd::InterruptMessageBox says (Yes to the
//   question whether to give up: a Ctrl+C there never lets the work go on).
// - SIGTERM and SIGHUP end the run as a confirmed cancel (EndRun).
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

FormModel* ActiveForm() {
    auto& s = S();
    if (s.shownOrder.empty()) return nullptr;
    auto it = s.forms.find(s.shownOrder.back());
    return it == s.forms.end() ? nullptr : it->second.get();
}

// Closes every form as its frame would; each form decides what that means, and a
// question it asks on the way is answered at once.
void CloseForms() {
    std::vector<HWND> hwnds;
    for (const auto& [hwnd, form] : S().forms) hwnds.push_back(hwnd);
    for (HWND hwnd : hwnds) PostMessageA(hwnd, PL_WM_CLOSE, 0, 0);
}

// The run ends as a confirmed cancel: every open box is answered as Ctrl+C
// answers it (Yes to the question whether to give up, OK to a message),
// every box opened from now on is answered at once without being shown, and
// every form is closed once no box is open any more, so that the handlers that
// asked go on first and the forms unload the usual way (removing what they
// remove when they unload). False when there is nothing to end.
bool EndRun() {
    auto& s = S();
    if (s.forms.empty() && s.boxes.empty()) return false;
    s.ending = true;
    // The front end answers its boxes, innermost first, as it shows them.
    for (std::size_t i = 0; i < s.boxes.size(); ++i) s.frontEnd->InterruptMessageBox();
    for (OpenBox& box : s.boxes)
        if (*box.answer == 0) *box.answer = posix::InterruptAnswer(box.type);
    if (s.boxes.empty()) CloseForms();  // otherwise when the last box has closed (MessageBoxA)
    return true;
}

// Nothing of ours to end: the signal does what it always does.
void DefaultAction(int sig) {
    signal(sig, SIG_DFL);
    raise(sig);
}

void OnInterrupt() {
    auto& s = S();
    if (!s.boxes.empty()) {
        s.frontEnd->InterruptMessageBox();
        return;
    }
    FormModel* form = ActiveForm();
    if (!form && !s.forms.empty()) form = s.forms.rbegin()->second.get();
    if (!form) {
        DefaultAction(SIGINT);
        return;
    }
    if (form->spec.cancelId != 0 && form->Find(form->spec.cancelId))
        PostMessageA(form->hwnd, PL_WM_COMMAND, static_cast<WPARAM>(form->spec.cancelId), 0);
    else
        PostMessageA(form->hwnd, PL_WM_CLOSE, 0, 0);
}

void OnSignalsArrived() {
    char buf[64];
    ssize_t n;
    while ((n = read(g_sigPipe[0], buf, sizeof buf)) > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            const int sig = static_cast<unsigned char>(buf[i]);
            if (sig == SIGINT) {
                g_sigPending = 0;
                OnInterrupt();
            } else if (!EndRun()) {
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

// ---- the forms -------------------------------------------------------------

void Activate(FormModel& form) {
    PostMessageA(form.hwnd, PL_WM_ACTIVATE, 1, 0);
    S().frontEnd->FormActivated(form);
}

// Takes the form out of the shown ones; the one shown before it becomes active
// again when this one was the active one.
void Unshow(HWND hwnd) {
    auto& order = S().shownOrder;
    auto it = std::find(order.begin(), order.end(), hwnd);
    if (it == order.end()) return;
    bool wasActive = (it + 1 == order.end());
    order.erase(it);
    if (wasActive) {
        if (FormModel* next = ActiveForm()) Activate(*next);
    }
}

void OnWindowDestroyed(HWND hwnd) {
    auto& s = S();
    auto it = s.forms.find(hwnd);
    if (it == s.forms.end()) return;
    std::unique_ptr<FormModel> form = std::move(it->second);
    s.forms.erase(it);
    s.frontEnd->FormDestroyed(*form);
    Unshow(hwnd);
}

FormModel* FindForm(HWND hwnd) {
    auto& forms = S().forms;
    auto it = forms.find(hwnd);
    return it == forms.end() ? nullptr : it->second.get();
}

// The GTK module: next to the program, or where the build put it.
posix::FrontEnd* LoadGtk(std::string* error) {
    std::vector<std::string> places;
    char exe[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        std::string dir(exe, static_cast<std::size_t>(n));
        dir = dir.substr(0, dir.rfind('/'));
        places.push_back(dir + "/novalink-gtk.so");
        places.push_back(dir.substr(0, dir.rfind('/')) + "/novalink-gtk.so");
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
    static Host host;
    return make(&host, error);
}

}  // namespace

FrontEndKind StartFrontEnd() {
    auto& s = S();
    if (s.kind != FrontEndKind::NotStarted) return s.kind;
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
        s.frontEnd = LoadGtk(&error);
        if (s.frontEnd) {
            s.kind = FrontEndKind::Gtk;
        } else {
            std::fprintf(stderr, "novalink: no graphical display (%s); using the terminal\n", error.c_str());
        }
    }
    if (!s.frontEnd) {
        s.frontEnd = posix::MakeTerminalFrontEnd().release();
        s.kind = FrontEndKind::Terminal;
    }
    Loop().SetDestroyHook(OnWindowDestroyed);
    InstallSignals();
    return s.kind;
}

FrontEndKind CurrentFrontEnd() { return S().kind; }

HWND CreateForm(const FormSpec& spec, WindowProc proc) {
    StartFrontEnd();
    if (!proc) return 0;
    HWND hwnd = CreateTopLevelWindow(spec.caption);
    if (!hwnd) return 0;
    SetWindowProc(hwnd, proc);
    auto form = std::make_unique<FormModel>();
    form->hwnd = hwnd;
    form->spec = spec;
    FormModel& ref = *form;
    S().forms[hwnd] = std::move(form);
    S().frontEnd->FormCreated(ref);
    return hwnd;
}

namespace {

bool AddControl(HWND hwnd, FormControl::Kind kind, int id, const FormRect& at, const std::string& text,
                const std::string& fontName = "", int fontPoints = 0) {
    FormModel* form = FindForm(hwnd);
    if (!form || form->Find(id)) return false;
    auto c = std::make_unique<FormControl>();
    c->kind = kind;
    c->id = id;
    c->at = at;
    c->text = text;
    c->fontName = fontName;
    c->fontPoints = fontPoints;
    if (kind == FormControl::Kind::Surface) {
        c->picture.width = at.width;
        c->picture.height = at.height;
    }
    FormControl& ref = *c;
    form->controls.push_back(std::move(c));
    S().frontEnd->ControlAdded(*form, ref);
    return true;
}

FormControl* FindControl(HWND hwnd, int id, FormModel** formOut) {
    FormModel* form = FindForm(hwnd);
    if (!form) return nullptr;
    *formOut = form;
    return form->Find(id);
}

}  // namespace

bool AddLabel(HWND form, int id, const FormRect& at, const std::string& text, const std::string& fontName,
              int fontPoints) {
    return AddControl(form, FormControl::Kind::Label, id, at, text, fontName, fontPoints);
}

bool AddButton(HWND form, int id, const FormRect& at, const std::string& caption) {
    return AddControl(form, FormControl::Kind::Button, id, at, caption);
}

bool AddImage(HWND form, int id, const FormRect& at, const std::string& picture) {
    return AddControl(form, FormControl::Kind::Image, id, at, PictureSource(picture));
}

bool AddWebView(HWND form, int id, const FormRect& at) { return AddControl(form, FormControl::Kind::WebView, id, at, ""); }

bool AddSurface(HWND form, int id, const FormRect& at) { return AddControl(form, FormControl::Kind::Surface, id, at, ""); }

bool AddTextBox(HWND form, int id, const FormRect& at, const std::string& text) {
    return AddControl(form, FormControl::Kind::TextBox, id, at, text);
}

bool AddCheckBox(HWND form, int id, const FormRect& at, const std::string& caption) {
    return AddControl(form, FormControl::Kind::CheckBox, id, at, caption);
}

bool AddDropDownList(HWND hwnd, int id, const FormRect& at, const std::vector<std::string>& entries) {
    FormModel* form = FindForm(hwnd);
    if (!form || form->Find(id)) return false;
    auto c = std::make_unique<FormControl>();
    c->kind = FormControl::Kind::DropDownList;
    c->id = id;
    c->at = at;
    c->entries = entries;
    c->value = -1;
    FormControl& ref = *c;
    form->controls.push_back(std::move(c));
    S().frontEnd->ControlAdded(*form, ref);
    return true;
}

bool AddTabs(HWND form, int id, const FormRect& at) { return AddControl(form, FormControl::Kind::Tabs, id, at, ""); }

bool AddTabPage(HWND hwnd, int tabsId, int pageId, const std::string& caption) {
    FormModel* form = FindForm(hwnd);
    if (!form || form->Find(pageId)) return false;
    FormControl* tabs = form->Find(tabsId);
    if (!tabs || tabs->kind != FormControl::Kind::Tabs) return false;
    auto c = std::make_unique<FormControl>();
    c->kind = FormControl::Kind::TabPage;
    c->id = pageId;
    c->parent = tabsId;
    c->at = {0, 0, tabs->at.width, tabs->at.height};
    c->text = caption;
    FormControl& ref = *c;
    form->controls.push_back(std::move(c));
    S().frontEnd->ControlAdded(*form, ref);
    return true;
}

bool MoveToPage(HWND hwnd, int id, int pageId) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind == FormControl::Kind::Tabs || c->kind == FormControl::Kind::TabPage) return false;
    FormControl* page = form->Find(pageId);
    if (!page || page->kind != FormControl::Kind::TabPage) return false;
    if (c->parent == pageId) return true;
    c->parent = pageId;
    S().frontEnd->ControlChanged(*form, *c, posix::ControlChange::Parent);
    return true;
}

bool SelectTab(HWND hwnd, int tabsId, int index) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, tabsId, &form);
    if (!c || c->kind != FormControl::Kind::Tabs) return false;
    if (index < 0 || index >= static_cast<int>(form->PagesOf(tabsId).size())) return false;
    if (c->value == index) return true;
    c->value = index;
    S().frontEnd->ControlChanged(*form, *c, posix::ControlChange::Value);
    return true;
}

bool SetControlName(HWND hwnd, int id, const std::string& name) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || name.empty()) return false;
    for (char ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_') return false;
    c->name = name;
    S().frontEnd->ControlChanged(*form, *c, posix::ControlChange::Name);
    return true;
}

bool SetControlText(HWND hwnd, int id, const std::string& text) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || (c->kind != FormControl::Kind::Label && c->kind != FormControl::Kind::Button &&
               c->kind != FormControl::Kind::TextBox && c->kind != FormControl::Kind::CheckBox))
        return false;
    if (c->text == text) return true;
    c->text = text;
    if (c->kind == FormControl::Kind::TextBox) {
        // As an edit control does: the caret goes to the start, nothing selected.
        c->selStart = 0;
        c->selLength = 0;
    }
    S().frontEnd->ControlChanged(*form, *c, posix::ControlChange::Text);
    return true;
}

bool GetControlText(HWND hwnd, int id, std::string* text) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || !text || (c->kind != FormControl::Kind::Label && c->kind != FormControl::Kind::Button &&
                        c->kind != FormControl::Kind::TextBox && c->kind != FormControl::Kind::CheckBox))
        return false;
    *text = c->text;
    return true;
}

bool SelectText(HWND hwnd, int id, int start, int length) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind != FormControl::Kind::TextBox) return false;
    const int size = static_cast<int>(c->text.size());
    c->selStart = std::clamp(start, 0, size);
    c->selLength = std::clamp(length, 0, size - c->selStart);
    S().frontEnd->ControlChanged(*form, *c, posix::ControlChange::Selection);
    return true;
}

bool GetTextSelection(HWND hwnd, int id, int* start, int* length) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind != FormControl::Kind::TextBox || !start || !length) return false;
    *start = c->selStart;
    *length = c->selLength;
    return true;
}

bool SetCheck(HWND hwnd, int id, int value) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind != FormControl::Kind::CheckBox || (value != 0 && value != 1)) return false;
    if (c->value == value) return true;
    c->value = value;
    S().frontEnd->ControlChanged(*form, *c, posix::ControlChange::Value);
    return true;
}

int GetCheck(HWND hwnd, int id) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    return c && c->kind == FormControl::Kind::CheckBox ? c->value : 0;
}

bool SetListIndex(HWND hwnd, int id, int index) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind != FormControl::Kind::DropDownList) return false;
    if (index < 0 || index >= static_cast<int>(c->entries.size())) index = -1;
    if (c->value == index) return true;
    c->value = index;
    S().frontEnd->ControlChanged(*form, *c, posix::ControlChange::Value);
    return true;
}

int GetListIndex(HWND hwnd, int id) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    return c && c->kind == FormControl::Kind::DropDownList ? c->value : -1;
}

bool EnableControl(HWND hwnd, int id, bool enabled) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c) return false;
    if (c->enabled == enabled) return true;
    c->enabled = enabled;
    S().frontEnd->ControlChanged(*form, *c, posix::ControlChange::Enabled);
    return true;
}

bool Navigate(HWND hwnd, int id, const std::string& url) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind != FormControl::Kind::WebView) return false;
    c->text = url;
    S().frontEnd->ControlChanged(*form, *c, posix::ControlChange::Text);
    return true;
}

bool PaintSurface(HWND hwnd, int id, const SurfacePicture& picture) {
    FormModel* form = nullptr;
    FormControl* c = FindControl(hwnd, id, &form);
    if (!c || c->kind != FormControl::Kind::Surface) return false;
    c->picture = picture;
    S().frontEnd->ControlChanged(*form, *c, posix::ControlChange::Picture);
    return true;
}

bool SetFormIcon(HWND hwnd, const std::string& picture) {
    FormModel* form = FindForm(hwnd);
    if (!form) return false;
    form->icon = picture;
    form->iconFile = PictureSource(picture);
    S().frontEnd->FormIconChanged(*form);
    return true;
}

std::string FormIcon(HWND hwnd) {
    FormModel* form = FindForm(hwnd);
    return form ? form->icon : std::string();
}

bool ShowForm(HWND hwnd, bool show) {
    FormModel* form = FindForm(hwnd);
    if (!form) return false;
    if (form->shown == show) return true;
    form->shown = show;
    S().frontEnd->FormShown(*form, show);
    if (show) {
        S().shownOrder.push_back(hwnd);
        Activate(*form);
    } else {
        Unshow(hwnd);
    }
    return true;
}

int MessageBoxA(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    auto& s = S();
    StartFrontEnd();
    if (s.ending) return posix::InterruptAnswer(type);
    auto answer = std::make_shared<int>(0);
    s.boxes.push_back({answer, type});
    // The first answer counts: the user's, or the one the end of the run gave.
    s.frontEnd->OpenMessageBox(FindForm(owner), text, caption, type, [answer](int a) {
        if (*answer == 0) *answer = a;
    });
    bool answered = PumpUntil([answer] { return *answer != 0; });
    s.boxes.pop_back();
    s.frontEnd->CloseMessageBox();
    // The run is ending: the forms close after the handler that asked has gone on.
    if (s.ending && s.boxes.empty()) Loop().Post(CloseForms);
    return answered ? *answer : posix::DefaultAnswer(type);
}

}  // namespace plat
