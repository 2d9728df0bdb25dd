// What a front end (the terminal, GTK, Win32) implements for platform/Forms.h.
// The forms' model (their controls and texts, which form is active) is kept in
// one place, platform/FormModel.cpp, on every system; it checks the calls and
// tells the front end what changed. The front end only shows it, keeps what the
// user edits (a text box's text, a check box's state, a list's choice, the tab
// shown) in the model, and turns the user's actions into posted messages.
//
// The front ends live side by side in platform/frontends/<name>/, each with its
// surface painter and what it adds to the loop. Choosing one is the system's
// (platform/<system>/FrontEndSystem.cpp, platform/FrontEndSystem.h); Ctrl+C and
// the requests to end reach the forms as the loop's signals
// (platform/LoopSignals.h).
//
// Internal to platform/; everything here runs on the user-interface thread.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "platform/FormModel.h"
#include "platform/Forms.h"
#include "platform/FrontEndHost.h"
#include "platform/VisibleText.h"

namespace plat {

enum class ControlChange { Text, Enabled, Picture, Value, Selection, Parent, Name };

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
    // The form's icon changed (FormModel::icon, iconFile): GTK sets the window's
    // icon, Win32 the frame's (WM_SETICON with platform/frontends/win32/PictureLoader.h's
    // LoadPictureIcon, big and small); the terminal shows none.
    virtual void FormIconChanged(FormModel& form) {}

    // Opens a message box; `answer` is called once, with PL_IDOK, PL_IDYES or
    // PL_IDNO: later, from the message loop, or before the call returns where the
    // system's box is modal and runs the loop itself. Boxes nest: a handler
    // running while one is open may open another.
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

// Perceived brightness of a 0x00BBGGRR colour, 0 (black) to 1 (white).
inline double Luma(DWORD rgb) {
    return (0.299 * (rgb & 0xFF) + 0.587 * ((rgb >> 8) & 0xFF) + 0.114 * ((rgb >> 16) & 0xFF)) / 255.0;
}

// The colour a surface's text is drawn in over what lies beneath it: its own
// where it stands out, else black or white, whichever stands out more. A text
// over a bar that fills up (a percentage) is drawn once over the background and
// once over each fill, each part in its own colour, so that it reads at any fill.
inline DWORD ReadableOn(DWORD text, DWORD beneath) {
    const double t = Luma(text), b = Luma(beneath);
    if (t - b >= 0.4 || b - t >= 0.4) return text;
    return b > 0.5 ? 0x000000 : 0xFFFFFF;
}

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

// The one line on standard error about an address a news view refused: `what`
// names it ("the news page", ...). The same on every front end that shows pages.
inline void SayNewsRefused(const char* what, const std::string& address) {
    std::fprintf(stderr, "novalink: %s refused: %s (the news view shows only http: and https: pages)\n", what,
                 VisibleText(address).c_str());
}

// The line-oriented front end.
std::unique_ptr<FrontEnd> MakeTerminalFrontEnd();

}  // namespace plat
