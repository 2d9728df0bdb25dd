// What a front end (the terminal, or GTK) implements for platform/Forms.h on
// Linux. The forms' model (their controls and texts, which form is active) is
// kept in one place, platform/posix/Forms.cpp, which checks the calls and tells
// the front end what changed; the front end only shows it, keeps what the user
// edits (a text box's text, a check box's state, a list's choice, the tab shown)
// in the model, and turns the user's actions into posted messages.
//
// The GTK front end lives in a module loaded on demand (novalink-gtk.so), so a
// run in the terminal never maps the toolkit. The module reaches the platform
// only through FrontEndHost, never by calling platform functions directly: it
// is not linked with the platform library, and a second copy of the message
// loop must never exist.
//
// Internal to platform/; everything here runs on the user-interface thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Forms.h"
#include "platform/LoopHost.h"

namespace plat::posix {

struct FormControl {
    enum class Kind { Label, Button, Image, WebView, Surface, TextBox, CheckBox, DropDownList, Tabs, TabPage };
    Kind kind = Kind::Label;
    int id = 0;
    FormRect at;  // relative to the page when `parent` is set
    int parent = 0;  // the tab page holding it (a tab page: its tabs), 0 = the form
    std::string name;
    std::string text;  // label text, button, check box and tab caption, image path,
                       // web view address, text box text
    int value = 0;     // check box 0/1, list index (-1 none), tabs: the page shown
    std::vector<std::string> entries;  // a list's
    int selStart = 0, selLength = 0;   // a text box's selection
    std::string fontName;  // labels: empty = the form's font
    int fontPoints = 0;
    bool enabled = true;
    SurfacePicture picture;
    void* widget = nullptr;  // the front end's own
};

struct FormModel {
    HWND hwnd = 0;
    FormSpec spec;
    std::vector<std::unique_ptr<FormControl>> controls;
    bool shown = false;
    std::string icon;      // the picture SetFormIcon gave
    std::string iconFile;  // where it is (platform/PictureSource.h), "" for none
    void* widget = nullptr;  // the front end's own

    FormControl* Find(int id) const {
        for (const auto& c : controls)
            if (c->id == id) return c.get();
        return nullptr;
    }
    // The pages of a tab strip, in order.
    std::vector<FormControl*> PagesOf(int tabsId) const {
        std::vector<FormControl*> pages;
        for (const auto& c : controls)
            if (c->kind == FormControl::Kind::TabPage && c->parent == tabsId) pages.push_back(c.get());
        return pages;
    }
};

enum class ControlChange { Text, Enabled, Picture, Value, Selection, Parent, Name };

// What the platform offers a front end.
class FrontEndHost {
public:
    // PostMessageA.
    virtual void Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    // platform/LoopHost.h.
    virtual int LoopFd() = 0;
    virtual int LoopTimeoutMs() = 0;
    virtual bool LoopRunReady() = 0;
    virtual LoopHostIteration InstallLoopHost(LoopHostIteration iterate) = 0;
    // platform/SysColor.h.
    virtual DWORD SysColor(int index) = 0;

protected:
    ~FrontEndHost() = default;
};

class FrontEnd {
public:
    virtual ~FrontEnd() = default;
    virtual FrontEndKind Kind() const = 0;

    virtual void FormCreated(FormModel& form) = 0;
    // The form's window is gone; free what belongs to it (the model follows).
    virtual void FormDestroyed(FormModel& form) = 0;
    virtual void ControlAdded(FormModel& form, FormControl& control) = 0;
    virtual void ControlChanged(FormModel& form, FormControl& control, ControlChange what) = 0;
    virtual void FormShown(FormModel& form, bool shown) = 0;
    // The form became the active one (shown, or uncovered); it is shown.
    virtual void FormActivated(FormModel& form) {}
    // The form's icon changed (FormModel::icon, iconFile); the terminal shows none.
    virtual void FormIconChanged(FormModel& form) {}

    // Opens a message box and returns at once; `answer` is called once, later,
    // from the message loop, with PL_IDOK, PL_IDYES or PL_IDNO. Boxes nest: a
    // handler running while one is open may open another.
    virtual void OpenMessageBox(FormModel* owner, const std::string& text, const std::string& caption, UINT type,
                                std::function<void(int)> answer) = 0;
    // The caller of the innermost box stopped waiting (answered, or a quit came):
    // close it if it is still open. Its caller's handler goes on after this.
    virtual void CloseMessageBox() = 0;
    // Ctrl+C while a box is open: answers the innermost unanswered one with
    // InterruptAnswer.
    virtual void InterruptMessageBox() = 0;
};

// The default answer of a box of the given type.
inline int DefaultAnswer(UINT type) {
    if ((type & PL_MB_TYPEMASK) != PL_MB_YESNO) return PL_IDOK;
    return (type & PL_MB_DEFMASK) == PL_MB_DEFBUTTON2 ? PL_IDNO : PL_IDYES;
}

// Ctrl+C's answer to a box: Yes in a Yes/No box, which in this program always
// asks whether to give up (a Ctrl+C there never lets the work go on); OK in any
// other.
inline int InterruptAnswer(UINT type) { return (type & PL_MB_TYPEMASK) == PL_MB_YESNO ? PL_IDYES : PL_IDOK; }

// The letter a '&' marks in a caption (lower case), 0 when none. "&&" is a plain '&'.
inline char MnemonicOf(const std::string& caption) {
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        char c = caption[i + 1];
        if (c == '&') {
            ++i;
            continue;
        }
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return 0;
}

// A caption without its mnemonic marks ("&Install >>" -> "Install >>").
inline std::string PlainCaption(const std::string& caption) {
    std::string r;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) ++i;
        else if (caption[i] == '&') continue;
        r += caption[i];
    }
    return r;
}

std::unique_ptr<FrontEnd> MakeTerminalFrontEnd();

// A text's lines for a front end that shows them: CR LF, and a CR alone (as the
// message texts use it), end a line.
inline std::string FrontEndLines(const std::string& text) {
    std::string r;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            r += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            r += text[i];
        }
    }
    return r;
}

}  // namespace plat::posix

// The GTK module's entry point: a front end, or null with `error` set when the
// display cannot be opened.
extern "C" plat::posix::FrontEnd* NovalinkGtkFrontEnd(plat::posix::FrontEndHost* host, std::string* error);
