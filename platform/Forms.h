// The windows the user sees: forms carrying labels, buttons, a web view and drawn
// surfaces, and message boxes. One interface, served by whichever front end runs:
// GTK with a web engine where there is a display, a line-oriented terminal where
// there is none, and dialogs of the system on Windows.
//
// A form is a top-level window of the message loop (platform/Window.h): it is
// created with a window procedure, and everything the user does reaches that
// procedure as a message, on the user-interface thread:
//
//   PL_WM_COMMAND   LoWord(wParam) = the id of the button pressed (a click, its
//                   mnemonic with Alt, Enter on the default button, Escape or
//                   Ctrl+C on the cancel button, or the terminal's answer);
//                   HiWord(wParam) = 0 (a click), lParam = 0. Text boxes, check
//                   boxes and lists report here too: LoWord = the control's id,
//                   HiWord = its notification (PL_EN_CHANGE, PL_EN_SETFOCUS,
//                   PL_BN_CLICKED, PL_CBN_SELCHANGE). Only what the user does is
//                   reported; a value the program sets is not.
//   PL_WM_CLOSE     the user closed the form by its frame (Escape or Ctrl+C on a
//                   form without a cancel button, end of input on the terminal
//                   when its cancel button did not unload it)
//   PL_WM_ACTIVATE  wParam = 1 when the form became the active one: when it is
//                   shown, and again when a form shown after it goes away
//
// All three are posted, never sent: they arrive from the message loop, not from
// inside the call that caused them. The procedure decides what happens (nothing
// is closed behind its back); DestroyWindow unloads the form and its controls,
// and the run ends when no top-level window is left. Controls are addressed by the ids
// the product gives them. Geometry is in twips (1/1440 inch, 15 to a pixel at
// 96 dots per inch); texts are UTF-8 and a '&' in a caption marks its mnemonic
// ("&&" is a plain '&').
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Types.h"

namespace plat {

constexpr UINT PL_WM_ACTIVATE = 0x0006;
constexpr UINT PL_WM_COMMAND = 0x0111;

// Notifications in HiWord(wParam) of PL_WM_COMMAND, with the values Windows gives them.
constexpr std::uint16_t PL_BN_CLICKED = 0x0000;     // a button pressed, a check box clicked
constexpr std::uint16_t PL_CBN_SELCHANGE = 0x0001;  // the user chose another entry of a list
constexpr std::uint16_t PL_EN_SETFOCUS = 0x0100;    // a text box received the focus
constexpr std::uint16_t PL_EN_CHANGE = 0x0300;      // the user edited a text box

// Message box styles and answers, with the values MessageBox uses.
constexpr UINT PL_MB_OK = 0x0000;
constexpr UINT PL_MB_YESNO = 0x0004;
constexpr UINT PL_MB_ICONHAND = 0x0010;  // the critical icon
constexpr UINT PL_MB_ICONQUESTION = 0x0020;
constexpr UINT PL_MB_ICONEXCLAMATION = 0x0030;
constexpr UINT PL_MB_ICONINFORMATION = 0x0040;
constexpr UINT PL_MB_DEFBUTTON1 = 0x0000;
constexpr UINT PL_MB_DEFBUTTON2 = 0x0100;
constexpr UINT PL_MB_TYPEMASK = 0x000F;
constexpr UINT PL_MB_ICONMASK = 0x00F0;
constexpr UINT PL_MB_DEFMASK = 0x0F00;
constexpr int PL_IDOK = 1;
constexpr int PL_IDCANCEL = 2;
constexpr int PL_IDYES = 6;
constexpr int PL_IDNO = 7;

// (No enumerator is called None: the X11 headers a toolkit pulls in define it.)
enum class FrontEndKind { NotStarted, Terminal, Gtk, Win32 };

// Chooses and starts the front end, once, before the first form: NOVALINK_UI
// "text" or "gtk" forces one; otherwise the GUI when a display is present
// (DISPLAY or WAYLAND_DISPLAY on Linux; always on Windows), else the terminal.
// A GUI that cannot be opened falls back to the terminal with a line on stderr.
// CreateForm and MessageBoxA start it when nobody did. From then on Ctrl+C
// (SIGINT) acts on the active form: its cancel button, or PL_WM_CLOSE where it
// has none; in an open message box, the box's default button. With no form and
// no box, Ctrl+C ends the process as usual.
FrontEndKind StartFrontEnd();
FrontEndKind CurrentFrontEnd();

struct FormRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// How the line-oriented terminal takes input while the form is the active one.
// The graphical front ends ignore it: there the buttons and mnemonics act.
enum class LineInput {
    NoInput,   // reads nothing
    Choice,    // reads one line: a button's mnemonic letter presses that button;
               // anything else, or the end of input, presses the cancel button;
               // while the form stays the active one it asks again, and a second
               // end of input closes it (PL_WM_CLOSE)
    Commands,  // reads lines while the form is shown: a button's mnemonic letter
               // presses that button; other lines and the end of input are ignored
    Fields,    // lists the named fields (text boxes, check boxes, lists) as lines
               // "name = value", a field on a named tab page as "page.name = value",
               // and prints a field again when the program changes it; then reads
               // lines while the form is shown: "name=value" (or "page.name=value")
               // edits that field as the user would (its change notification
               // follows), a button's caption without its '&' (any case) or its
               // mnemonic letter presses that enabled button, and the end of input
               // presses the cancel button (PL_WM_CLOSE where there is none). A check
               // box takes 1 or 0, a list an entry's text or its index.
};

struct FormSpec {
    std::string caption;
    std::string fontName = "Tahoma";  // where the system has it
    int fontPoints = 8;
    int clientWidth = 0;  // twips
    int clientHeight = 0;
    int defaultId = 0;    // the button Enter presses (0: none)
    int cancelId = 0;     // the button Escape and Ctrl+C press (0: they close by the frame)
    LineInput input = LineInput::NoInput;
};

// A drawn control's picture, in twips from its top-left corner, colours resolved
// to 0x00BBGGRR. The surface shows the background, then the fills, edges and
// texts in that order. The terminal shows a surface that has fills as a progress
// bar: the share of the width its fills cover, with its texts beside it.
struct SurfacePicture {
    struct Fill {
        int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
        DWORD rgb = 0;
    };
    struct Edge {  // an edge as DrawEdge draws it
        int left = 0, top = 0, right = 0, bottom = 0;
        UINT edge = 0;   // EDGE_ETCHED (6), BDR_RAISEDINNER (4), BDR_SUNKENOUTER (2), ...
        UINT flags = 0;  // BF_LEFT (1), BF_TOP (2), BF_RECT (15), ...
    };
    struct Text {
        int left = 0, top = 0, width = 0, height = 0;
        std::string text;
        DWORD rgb = 0;
        bool centered = false;
    };
    int width = 0;
    int height = 0;
    DWORD background = 0xFFFFFF;
    std::vector<Fill> fills;
    std::vector<Edge> edges;
    std::vector<Text> texts;
    DWORD borderRgb = 0;
    bool border = false;  // a one-pixel frame around the whole surface
};

// Creates a form (a top-level window of the message loop, platform/Window.h)
// with the procedure that receives its messages; hidden until ShowForm. 0 on
// failure. DestroyWindow unloads it with its controls.
HWND CreateForm(const FormSpec& spec, WindowProc proc);

// Child controls. Each returns false for an unknown form or a duplicate id.
bool AddLabel(HWND form, int id, const FormRect& at, const std::string& text, const std::string& fontName = "",
              int fontPoints = 0);
bool AddButton(HWND form, int id, const FormRect& at, const std::string& caption);
// A picture: one of the program's own by its name ("novalink", "check",
// "download": the PNGs of resources/, kept beside the program or, on Windows,
// in it as resources), or the path of a PNG file. A picture that cannot be had
// leaves the place empty; the terminal shows no picture.
bool AddImage(HWND form, int id, const FormRect& at, const std::string& picture);
bool AddWebView(HWND form, int id, const FormRect& at);
bool AddSurface(HWND form, int id, const FormRect& at);

// A single-line text box (plain: the characters are shown), with its text.
bool AddTextBox(HWND form, int id, const FormRect& at, const std::string& text = "");
// A check box with its caption, unchecked.
bool AddCheckBox(HWND form, int id, const FormRect& at, const std::string& caption);
// A drop-down list the user chooses one of `entries` from (no typing); nothing is
// chosen until SetListIndex.
bool AddDropDownList(HWND form, int id, const FormRect& at, const std::vector<std::string>& entries);

// Tabs: a tab strip with the area of its pages. AddTabPage adds a page with the
// caption of its tab (pages in the order added; the first one is shown first);
// the page is a control of its own id, and MoveToPage puts a control into it: the
// control's place is then relative to the page's area.
bool AddTabs(HWND form, int id, const FormRect& at);
bool AddTabPage(HWND form, int tabsId, int pageId, const std::string& caption);
bool MoveToPage(HWND form, int id, int pageId);
// Shows the page with this index (0 = the first); false when there is none.
bool SelectTab(HWND form, int tabsId, int index);

// Gives a control a name (letters, digits and '_'). The terminal lists and edits
// the fields by their names and the names of their pages; the GUI gives it to
// the widget.
bool SetControlName(HWND form, int id, const std::string& name);

// A label's text or a button's caption; also a check box's caption and a text
// box's text.
bool SetControlText(HWND form, int id, const std::string& text);
// The same texts, as they are now (a text box's as the user left it).
bool GetControlText(HWND form, int id, std::string* text);
// Selects `length` characters of a text box's text from `start` (0 = the first),
// in bytes of the UTF-8 text. GetTextSelection tells the selection as SelectText
// or the user's last edit (the caret after the text) left it.
bool SelectText(HWND form, int id, int start, int length);
bool GetTextSelection(HWND form, int id, int* start, int* length);
// A check box: 1 checked, 0 unchecked.
bool SetCheck(HWND form, int id, int value);
int GetCheck(HWND form, int id);  // 0 also for an unknown control
// A drop-down list: the index of the entry chosen, -1 for none (an index out of
// range chooses none).
bool SetListIndex(HWND form, int id, int index);
int GetListIndex(HWND form, int id);  // -1 also for an unknown control
bool EnableControl(HWND form, int id, bool enabled);
// The web view shows the page at `url` (the terminal prints the address).
bool Navigate(HWND form, int id, const std::string& url);
// Replaces what the surface shows and repaints it.
bool PaintSurface(HWND form, int id, const SurfacePicture& picture);

// The form's icon, a picture as AddImage takes it: the window's icon in GTK,
// the frame's and the task bar's on Windows; the terminal shows none. FormIcon
// tells the picture last given ("" for none, and for an unknown form), so that
// one form can give another its icon.
bool SetFormIcon(HWND form, const std::string& picture);
std::string FormIcon(HWND form);

// Shows or hides the form. Showing makes it the active form (PL_WM_ACTIVATE).
bool ShowForm(HWND form, bool show);

// A modal message box, owned by `owner` (a form, or 0): the loop keeps
// dispatching (nested) until it is answered. `type` combines PL_MB_OK or
// PL_MB_YESNO, one icon and one default button. Returns PL_IDOK, PL_IDYES or
// PL_IDNO; a box that cannot be answered (a quit posted meanwhile) gives its
// default button. The terminal prints the caption and the
// text; a Yes/No box reads one line, "y" or "yes" (any case) being Yes and
// anything else or the end of input the default button.
int MessageBoxA(HWND owner, const std::string& text, const std::string& caption, UINT type);

}  // namespace plat
