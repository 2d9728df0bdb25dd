// The Win32 front end. A form is a top-level window of its own class carrying
// the system's controls: STATIC labels, BUTTON push buttons and check boxes,
// EDIT text boxes, COMBOBOX drop-down lists, the tab control with a child window
// per page. The product's window of the form (platform/Window.h) stays hidden
// and receives only what the model and this front end post to it, so nothing
// the system sends the visible window reaches the form's procedure directly.
//
// The loop hands every keystroke meant for a form to IsDialogMessage: Tab and
// Shift+Tab move between the controls, Alt+letter presses the control with that
// mnemonic, Enter the default button (DM_GETDEFID), Escape the cancel button
// (IDCANCEL). Ctrl+Tab and Ctrl+Shift+Tab turn the pages of a tab strip, as in
// a property sheet; the strip is a Tab stop of its own, its pages its siblings. The controls' own ids are the product's plus kIdBase, so that the
// IDOK and IDCANCEL the dialog manager sends never meet a control of the
// product.
#include "platform/frontends/win32/Win32FrontEnd.h"

// The system headers first: commctrl.h needs windows.h.
#include "platform/win32/WinApi.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "platform/VisibleText.h"
#include "platform/frontends/win32/GdiSurfacePainter.h"
#include "platform/win32/MessageLoop.h"
#include "platform/frontends/win32/NewsView.h"
#include "platform/frontends/win32/PictureLoader.h"
#include "platform/win32/WideText.h"

namespace plat::win32 {

namespace {

constexpr wchar_t kFormClass[] = L"NovalinkForm";
constexpr wchar_t kPageClass[] = L"NovalinkPage";
constexpr wchar_t kSurfaceClass[] = L"NovalinkSurface";
constexpr int kIdBase = 0x1000;
constexpr int kListLines = 8;  // a drop-down list's open height, in entries
// HWND_BOTTOM, spelled without the system's macro: inside namespace plat its
// HWND would name the platform's integer handle.
const ::HWND kBottom = reinterpret_cast<::HWND>(1);

int Dpi() {
    static int dpi = [] {
        ::HDC screen = ::GetDC(nullptr);
        int d = screen ? ::GetDeviceCaps(screen, LOGPIXELSX) : 96;
        if (screen) ::ReleaseDC(nullptr, screen);
        return d > 0 ? d : 96;
    }();
    return dpi;
}

int Px(int twips) { return ::MulDiv(twips, Dpi(), 1440); }

::HWND Widget(const FormControl& c) { return static_cast<::HWND>(c.widget); }

class Win32FrontEnd;

// The front end's part of a form's visible window.
struct Frame {
    Win32FrontEnd* owner;
    FormModel* form;
    ::HWND window;
    ::HFONT font;
    ::HWND focus;  // the control that had the focus when the window was left
    bool placed;
    std::vector<::HBITMAP> pictures;  // the images' bitmaps, deleted with the window
};

Frame* FrameOf(::HWND window) {
    return window ? reinterpret_cast<Frame*>(::GetWindowLongPtrW(window, GWLP_USERDATA)) : nullptr;
}

class Win32FrontEnd final : public FrontEnd {
public:
    explicit Win32FrontEnd(FrontEndHost* host) : host_(host) {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&icc);
        ::HINSTANCE instance = ::GetModuleHandleW(nullptr);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<::HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpfnWndProc = &Win32FrontEnd::FormProc;
        // The program's icon, by the name it has in its resources (resources/novalink.rc).
        wc.hIcon = ::LoadIconW(instance, L"NOVALINK");
        wc.lpszClassName = kFormClass;
        ::RegisterClassExW(&wc);
        wc.hIcon = nullptr;
        wc.lpfnWndProc = &Win32FrontEnd::PageProc;
        wc.lpszClassName = kPageClass;
        ::RegisterClassExW(&wc);
        wc.hbrBackground = nullptr;
        wc.lpfnWndProc = &Win32FrontEnd::SurfaceProc;
        wc.lpszClassName = kSurfaceClass;
        ::RegisterClassExW(&wc);
        MessageLoop::Instance().SetPreTranslate([this](MSG& m) { return DialogKey(m); });
    }

    FrontEndKind Kind() const override { return FrontEndKind::Win32; }

    void FormCreated(FormModel& form) override {
        const ::DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
        const ::DWORD exStyle = WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
        ::RECT r{0, 0, Px(form.spec.clientWidth), Px(form.spec.clientHeight)};
        ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
        ::HWND window = ::CreateWindowExW(exStyle, kFormClass, Wide(form.spec.caption).c_str(), style, CW_USEDEFAULT,
                                          CW_USEDEFAULT, r.right - r.left, r.bottom - r.top, nullptr, nullptr,
                                          ::GetModuleHandleW(nullptr), nullptr);
        if (!window) return;
        auto* frame = new Frame{this, &form, window, Font(form.spec.fontName, form.spec.fontPoints), nullptr, false, {}};
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(frame));
        form.widget = frame;
        frames_.insert(window);
    }

    void FormDestroyed(FormModel& form) override {
        auto* frame = static_cast<Frame*>(form.widget);
        if (!frame) return;
        form.widget = nullptr;
        for (auto& c : form.controls) {
            c->widget = nullptr;
        }
        frames_.erase(frame->window);
        ::SetWindowLongPtrW(frame->window, GWLP_USERDATA, 0);
        ::DestroyWindow(frame->window);
        for (::HBITMAP picture : frame->pictures) ::DeleteObject(picture);
        delete frame;
    }

    void ControlAdded(FormModel& form, FormControl& c) override {
        auto* frame = static_cast<Frame*>(form.widget);
        if (!frame) return;
        ::HINSTANCE instance = ::GetModuleHandleW(nullptr);
        const std::wstring text = Wide(c.text);
        const wchar_t* cls = L"STATIC";
        ::DWORD style = WS_CHILD | WS_VISIBLE;
        ::DWORD exStyle = 0;
        int height = Px(c.at.height);
        ::HWND parent = frame->window;
        ::RECT at{Px(c.at.left), Px(c.at.top), Px(c.at.left + c.at.width), Px(c.at.top + c.at.height)};
        switch (c.kind) {
            case FormControl::Kind::Label:
                style |= SS_LEFT;
                break;
            case FormControl::Kind::Button:
                cls = L"BUTTON";
                style |= WS_TABSTOP | (c.id == form.spec.defaultId ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
                break;
            case FormControl::Kind::CheckBox:
                cls = L"BUTTON";
                style |= WS_TABSTOP | BS_AUTOCHECKBOX;
                break;
            case FormControl::Kind::TextBox:
                cls = L"EDIT";
                style |= WS_TABSTOP | ES_AUTOHSCROLL;
                exStyle |= WS_EX_CLIENTEDGE;
                break;
            case FormControl::Kind::DropDownList:
                cls = L"COMBOBOX";
                style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
                height += Px(c.at.height) * kListLines;  // the open list below the field
                break;
            case FormControl::Kind::Image:
                style |= SS_BITMAP | SS_CENTERIMAGE;
                break;
            case FormControl::Kind::Surface:
                cls = kSurfaceClass;
                style |= WS_CLIPSIBLINGS;  // under the labels and pictures drawn on it
                break;
            case FormControl::Kind::WebView:
                c.widget = NewsView::Open(frame->window, at, kIdBase + c.id, frame->font);
                return;
            case FormControl::Kind::Tabs:
                // Not a control parent: the dialog manager would then pass over it.
                cls = WC_TABCONTROLW;
                style |= WS_TABSTOP | WS_CLIPSIBLINGS;
                break;
            case FormControl::Kind::TabPage: {
                // A page lies over its tab strip's display area, a sibling just above
                // the strip, so that the strip (clipping its siblings) leaves it be.
                FormControl* tabs = form.Find(c.parent);
                if (!tabs || !Widget(*tabs)) return;
                const int index = static_cast<int>(form.PagesOf(c.parent).size()) - 1;
                std::wstring caption = text;
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = caption.data();
                ::SendMessageW(Widget(*tabs), TCM_INSERTITEMW, static_cast<::WPARAM>(index),
                               reinterpret_cast<::LPARAM>(&item));
                ::RECT area;
                ::GetClientRect(Widget(*tabs), &area);
                ::SendMessageW(Widget(*tabs), TCM_ADJUSTRECT, FALSE, reinterpret_cast<::LPARAM>(&area));
                ::MapWindowPoints(Widget(*tabs), frame->window, reinterpret_cast<::POINT*>(&area), 2);
                ::HWND page = ::CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, L"", WS_CHILD | WS_CLIPSIBLINGS,
                                                area.left, area.top, area.right - area.left, area.bottom - area.top,
                                                frame->window, nullptr, instance, nullptr);
                ::HWND above = ::GetWindow(Widget(*tabs), GW_HWNDPREV);
                ::SetWindowPos(page, above ? above : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
                c.widget = page;
                ShowPages(form, *tabs);
                return;
            }
        }
        ::HWND widget = ::CreateWindowExW(exStyle, cls, text.c_str(), style, at.left, at.top, at.right - at.left,
                                          height, parent, reinterpret_cast<::HMENU>(static_cast<INT_PTR>(kIdBase + c.id)),
                                          instance, nullptr);
        if (!widget) return;
        c.widget = widget;
        ::HFONT font = (!c.fontName.empty() || c.fontPoints > 0)
                           ? Font(c.fontName.empty() ? form.spec.fontName : c.fontName,
                                  c.fontPoints > 0 ? c.fontPoints : form.spec.fontPoints)
                           : frame->font;
        ::SendMessageW(widget, WM_SETFONT, reinterpret_cast<::WPARAM>(font), FALSE);
        if (c.kind == FormControl::Kind::Surface) ::SetWindowLongPtrW(widget, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&c));
        if (c.kind == FormControl::Kind::Image && !c.text.empty()) {
            // Laid on what is under it: a drawn surface's background, or the form's.
            const FormControl* under = SurfaceUnder(form, c);
            const ::COLORREF back = under ? static_cast<::COLORREF>(under->picture.background) : ::GetSysColor(COLOR_BTNFACE);
            if (::HBITMAP picture = LoadPicture(c.text, back, nullptr, Dpi())) {
                frame->pictures.push_back(picture);
                ::SendMessageW(widget, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<::LPARAM>(picture));
            }
        }
        // The drawn surfaces stay at the bottom of the order, so that the labels
        // and pictures on them show (a new control comes below the others).
        for (const auto& other : form.controls)
            if (other->kind == FormControl::Kind::Surface && Widget(*other))
                ::SetWindowPos(Widget(*other), kBottom, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        if (c.kind == FormControl::Kind::DropDownList) {
            ++updating_;
            for (const auto& e : c.entries)
                ::SendMessageW(widget, CB_ADDSTRING, 0, reinterpret_cast<::LPARAM>(Wide(e).c_str()));
            ::SendMessageW(widget, CB_SETCURSEL, static_cast<::WPARAM>(c.value), 0);
            --updating_;
        }
    }

    void ControlChanged(FormModel& form, FormControl& c, ControlChange what) override {
        ::HWND widget = Widget(c);
        if (!widget) return;
        ++updating_;  // what the program sets is not reported back as the user's doing
        Update(form, c, widget, what);
        --updating_;
    }

    void FormShown(FormModel& form, bool shown) override {
        auto* frame = static_cast<Frame*>(form.widget);
        if (!frame) return;
        if (!shown) {
            ::ShowWindow(frame->window, SW_HIDE);
            return;
        }
        if (!frame->placed) {
            Centre(frame->window);
            frame->placed = true;
        }
        ::ShowWindow(frame->window, SW_SHOW);
        ::SetForegroundWindow(frame->window);
        // The default button has the focus; a form without one gives it to no
        // control, so that Enter presses nothing until the user picks one.
        FormControl* def = form.Find(form.spec.defaultId);
        frame->focus = def ? Widget(*def) : nullptr;
        ::SetFocus(frame->focus ? frame->focus : frame->window);
    }

    void FormIconChanged(FormModel& form) override {
        auto* frame = static_cast<Frame*>(form.widget);
        if (!frame) return;
        ::HICON big = form.iconFile.empty() ? nullptr : LoadPictureIcon(form.iconFile, false);
        ::HICON small = form.iconFile.empty() ? nullptr : LoadPictureIcon(form.iconFile, true);
        ::SendMessageW(frame->window, WM_SETICON, ICON_BIG, reinterpret_cast<::LPARAM>(big));
        ::SendMessageW(frame->window, WM_SETICON, ICON_SMALL, reinterpret_cast<::LPARAM>(small));
    }

    void FormActivated(FormModel& form) override {
        auto* frame = static_cast<Frame*>(form.widget);
        if (frame && ::IsWindowVisible(frame->window)) ::SetForegroundWindow(frame->window);
    }

    // The system's box is modal: its own loop keeps dispatching the queue (the
    // sockets' and timers' messages too) until it is answered, and the answer is
    // there when it returns.
    void OpenMessageBox(FormModel* owner, const std::string& text, const std::string& caption, UINT type,
                        std::function<void(int)> answer) override {
        const UINT allowed = PL_MB_TYPEMASK | PL_MB_ICONMASK | PL_MB_DEFMASK;
        auto* frame = owner ? static_cast<Frame*>(owner->widget) : nullptr;
        ::HWND ownerWindow = frame && ::IsWindowVisible(frame->window) ? frame->window : nullptr;
        int a = ::MessageBoxW(ownerWindow, Wide(text).c_str(), Wide(caption).c_str(),
                              (type & allowed) | MB_SETFOREGROUND | (ownerWindow ? 0 : MB_TASKMODAL));
        // Not answered (the box could not be shown): its default button.
        if (a != PL_IDOK && a != PL_IDYES && a != PL_IDNO) a = DefaultAnswer(type);
        answer(a);
    }
    void CloseMessageBox() override {}
    void InterruptMessageBox() override {}

private:
    ::HFONT Font(const std::string& name, int points) {
        auto key = std::make_pair(name, points);
        auto it = fonts_.find(key);
        if (it != fonts_.end()) return it->second;
        ::HFONT font = ::CreateFontW(-::MulDiv(points > 0 ? points : 8, Dpi(), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE,
                                     FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     DEFAULT_PITCH | FF_DONTCARE, Wide(name).c_str());
        fonts_[key] = font;
        return font;
    }

    // In the middle of the active form of ours, or of the screen's work area.
    void Centre(::HWND window) {
        ::RECT area;
        ::HWND active = ::GetForegroundWindow();
        if (active && active != window && frames_.count(active) && ::IsWindowVisible(active))
            ::GetWindowRect(active, &area);
        else
            ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        ::RECT r;
        ::GetWindowRect(window, &r);
        const int w = r.right - r.left, h = r.bottom - r.top;
        const int x = std::max(0, static_cast<int>(area.left + (area.right - area.left - w) / 2));
        const int y = std::max(0, static_cast<int>(area.top + (area.bottom - area.top - h) / 2));
        ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // The drawn surface a control lies on, nullptr when none.
    static const FormControl* SurfaceUnder(const FormModel& form, const FormControl& c) {
        for (const auto& s : form.controls) {
            if (s->kind != FormControl::Kind::Surface || s->parent != c.parent) continue;
            if (c.at.left >= s->at.left && c.at.top >= s->at.top &&
                c.at.left + c.at.width <= s->at.left + s->at.width && c.at.top + c.at.height <= s->at.top + s->at.height)
                return s.get();
        }
        return nullptr;
    }

    ::HBRUSH Brush(::COLORREF colour) {
        ::HBRUSH& brush = brushes_[colour];
        if (!brush) brush = ::CreateSolidBrush(colour);
        return brush;
    }

    void ShowPages(FormModel& form, FormControl& tabs) {
        const auto pages = form.PagesOf(tabs.id);
        for (std::size_t i = 0; i < pages.size(); ++i)
            if (Widget(*pages[i])) ::ShowWindow(Widget(*pages[i]), static_cast<int>(i) == tabs.value ? SW_SHOW : SW_HIDE);
    }

    void Update(FormModel& form, FormControl& c, ::HWND widget, ControlChange what) {
        switch (what) {
            case ControlChange::Enabled:
                ::EnableWindow(widget, c.enabled);
                return;
            case ControlChange::Name:
                return;  // the system's controls have no names of their own
            case ControlChange::Parent: {
                FormControl* page = form.Find(c.parent);
                if (!page || !Widget(*page)) return;
                ::SetParent(widget, Widget(*page));
                // Last in the page's order, so that Tab follows the order the controls came in.
                ::SetWindowPos(widget, kBottom, Px(c.at.left), Px(c.at.top), 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
                return;
            }
            case ControlChange::Selection: {
                if (c.kind != FormControl::Kind::TextBox) return;
                const auto start = Wide(c.text.substr(0, static_cast<std::size_t>(c.selStart))).size();
                const auto end = Wide(c.text.substr(0, static_cast<std::size_t>(c.selStart + c.selLength))).size();
                ::SendMessageW(widget, EM_SETSEL, start, static_cast<::LPARAM>(end));
                return;
            }
            case ControlChange::Value:
                if (c.kind == FormControl::Kind::CheckBox) {
                    ::SendMessageW(widget, BM_SETCHECK, c.value ? BST_CHECKED : BST_UNCHECKED, 0);
                } else if (c.kind == FormControl::Kind::DropDownList) {
                    ::SendMessageW(widget, CB_SETCURSEL, static_cast<::WPARAM>(c.value), 0);
                } else if (c.kind == FormControl::Kind::Tabs) {
                    ::SendMessageW(widget, TCM_SETCURSEL, static_cast<::WPARAM>(c.value), 0);
                    ShowPages(form, c);
                }
                return;
            case ControlChange::Picture:
                ::InvalidateRect(widget, nullptr, FALSE);
                return;
            case ControlChange::Text:
                if (c.kind == FormControl::Kind::WebView)
                    NewsView::Navigate(widget, c.text);
                else
                    ::SetWindowTextW(widget, Wide(c.text).c_str());
                return;
        }
    }

    // A keystroke for one of the forms goes through the dialog manager.
    bool DialogKey(MSG& m) {
        if (m.message < WM_KEYFIRST || m.message > WM_KEYLAST || !m.hwnd) return false;
        ::HWND root = ::GetAncestor(m.hwnd, GA_ROOT);
        if (!frames_.count(root)) return false;
        if (m.message == WM_KEYDOWN && m.wParam == VK_TAB && ::GetKeyState(VK_CONTROL) < 0 &&
            TurnPage(*FrameOf(root), ::GetKeyState(VK_SHIFT) < 0 ? -1 : 1))
            return true;
        return ::IsDialogMessageW(root, &m) != 0;
    }

    // Ctrl+Tab: the form's tab strip shows its next page (`step` -1: the one
    // before), round. The focus, when it was on the page left, goes to the
    // first control of the new one.
    bool TurnPage(Frame& frame, int step) {
        FormModel& form = *frame.form;
        for (const auto& tabs : form.controls) {
            if (tabs->kind != FormControl::Kind::Tabs || !Widget(*tabs)) continue;
            const auto pages = form.PagesOf(tabs->id);
            if (pages.empty()) return false;
            const int count = static_cast<int>(pages.size());
            const int from = std::clamp(tabs->value, 0, count - 1), to = (from + step + count) % count;
            ::HWND focus = ::GetFocus();
            const bool onPage = Widget(*pages[from]) && ::IsChild(Widget(*pages[from]), focus);
            tabs->value = to;
            ::SendMessageW(Widget(*tabs), TCM_SETCURSEL, static_cast<::WPARAM>(to), 0);
            ShowPages(form, *tabs);
            if (onPage && Widget(*pages[to]))
                if (::HWND first = ::GetNextDlgTabItem(Widget(*pages[to]), nullptr, FALSE))
                    ::SetFocus(first);  // the form is no dialog: WM_NEXTDLGCTL would go unheard
            return true;
        }
        return false;
    }

    void Post(FormModel& form, int id, std::uint16_t code) {
        host_->Post(form.hwnd, PL_WM_COMMAND,
                    static_cast<WPARAM>(MakeLong(static_cast<std::uint16_t>(id), code)), 0);
    }

    // Escape presses the cancel button, or closes by the frame where there is none.
    void Cancel(FormModel& form) {
        FormControl* cancel = form.Find(form.spec.cancelId);
        if (cancel && cancel->enabled)
            Post(form, cancel->id, PL_BN_CLICKED);
        else if (!cancel)
            host_->Post(form.hwnd, PL_WM_CLOSE, 0, 0);
    }

    // A control reports what the user did.
    void Command(Frame& frame, int realId, std::uint16_t code, ::HWND control) {
        FormModel& form = *frame.form;
        if (!control || realId < kIdBase) {
            if (realId == IDCANCEL) Cancel(form);
            return;  // IDOK: Enter where there is no default button
        }
        FormControl* c = form.Find(realId - kIdBase);
        if (!c || Widget(*c) != control) return;
        switch (c->kind) {
            case FormControl::Kind::Button:
                if (code == BN_CLICKED) Post(form, c->id, PL_BN_CLICKED);
                break;
            case FormControl::Kind::CheckBox:
                if (code != BN_CLICKED || updating_) break;
                c->value = ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
                Post(form, c->id, PL_BN_CLICKED);
                break;
            case FormControl::Kind::TextBox:
                if (code == EN_SETFOCUS) {
                    Post(form, c->id, PL_EN_SETFOCUS);
                } else if (code == EN_CHANGE && !updating_) {
                    c->text = WindowTextUtf8(control);
                    c->selStart = static_cast<int>(c->text.size());
                    c->selLength = 0;
                    Post(form, c->id, PL_EN_CHANGE);
                }
                break;
            case FormControl::Kind::DropDownList:
                if (code != CBN_SELCHANGE || updating_) break;
                c->value = static_cast<int>(::SendMessageW(control, CB_GETCURSEL, 0, 0));
                Post(form, c->id, PL_CBN_SELCHANGE);
                break;
            default:
                break;
        }
    }

    static ::LRESULT CALLBACK FormProc(::HWND window, ::UINT msg, ::WPARAM w, ::LPARAM l) {
        Frame* frame = FrameOf(window);
        if (!frame) return ::DefWindowProcW(window, msg, w, l);
        switch (msg) {
            case WM_COMMAND:
                frame->owner->Command(*frame, LOWORD(w), HIWORD(w), reinterpret_cast<::HWND>(l));
                return 0;
            case WM_NOTIFY: {
                const auto* n = reinterpret_cast<const NMHDR*>(l);
                if (n->code == static_cast<::UINT>(TCN_SELCHANGE) && static_cast<int>(n->idFrom) >= kIdBase) {
                    // The user chose another tab: the model follows, nobody is told.
                    if (FormControl* tabs = frame->form->Find(static_cast<int>(n->idFrom) - kIdBase)) {
                        tabs->value = static_cast<int>(::SendMessageW(n->hwndFrom, TCM_GETCURSEL, 0, 0));
                        frame->owner->ShowPages(*frame->form, *tabs);
                    }
                }
                return 0;
            }
            case DM_GETDEFID: {
                FormControl* def = frame->form->Find(frame->form->spec.defaultId);
                if (!def || !def->enabled) return 0;
                return MAKELRESULT(kIdBase + def->id, DC_HASDEFID);
            }
            case WM_CTLCOLORSTATIC: {
                // A label or picture on a drawn surface takes the surface's background.
                const int id = ::GetDlgCtrlID(reinterpret_cast<::HWND>(l)) - kIdBase;
                const FormControl* c = frame->form->Find(id);
                const FormControl* under = c && Widget(*c) == reinterpret_cast<::HWND>(l) ? SurfaceUnder(*frame->form, *c) : nullptr;
                if (!under) break;
                const auto back = static_cast<::COLORREF>(under->picture.background);
                ::SetBkColor(reinterpret_cast<::HDC>(w), back);
                return reinterpret_cast<::LRESULT>(frame->owner->Brush(back));
            }
            case WM_CLOSE:
                // The frame's close button: the procedure decides.
                frame->owner->host_->Post(frame->form->hwnd, PL_WM_CLOSE, 0, 0);
                return 0;
            case WM_ACTIVATE:
                // As a dialog does: the focus comes back to where the user left it.
                if (LOWORD(w) == WA_INACTIVE) {
                    ::HWND focus = ::GetFocus();
                    frame->focus = focus && ::IsChild(window, focus) ? focus : nullptr;
                } else {
                    ::SetFocus(frame->focus && ::IsChild(window, frame->focus) ? frame->focus : window);
                }
                return 0;
            default:
                break;
        }
        return ::DefWindowProcW(window, msg, w, l);
    }

    // A tab page passes what its controls report on to the form.
    static ::LRESULT CALLBACK PageProc(::HWND window, ::UINT msg, ::WPARAM w, ::LPARAM l) {
        switch (msg) {
            case WM_COMMAND:
            case WM_NOTIFY:
            case WM_CTLCOLORSTATIC:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORLISTBOX:
                return ::SendMessageW(::GetAncestor(window, GA_ROOT), msg, w, l);
            default:
                return ::DefWindowProcW(window, msg, w, l);
        }
    }

    // A drawn surface, painted off screen and then copied, so that it never flickers.
    static ::LRESULT CALLBACK SurfaceProc(::HWND window, ::UINT msg, ::WPARAM w, ::LPARAM l) {
        if (msg == WM_ERASEBKGND) return 1;
        if (msg != WM_PAINT) return ::DefWindowProcW(window, msg, w, l);
        PAINTSTRUCT ps;
        ::HDC dc = ::BeginPaint(window, &ps);
        auto* c = reinterpret_cast<FormControl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        Frame* frame = FrameOf(::GetAncestor(window, GA_ROOT));
        ::RECT r;
        ::GetClientRect(window, &r);
        if (c && frame && r.right > 0 && r.bottom > 0) {
            ::HDC memory = ::CreateCompatibleDC(dc);
            ::HBITMAP bitmap = ::CreateCompatibleBitmap(dc, r.right, r.bottom);
            ::HGDIOBJ old = ::SelectObject(memory, bitmap);
            GdiSurfacePainter(frame->font, Dpi()).Paint(memory, c->picture);
            ::BitBlt(dc, 0, 0, r.right, r.bottom, memory, 0, 0, SRCCOPY);
            ::SelectObject(memory, old);
            ::DeleteObject(bitmap);
            ::DeleteDC(memory);
        }
        ::EndPaint(window, &ps);
        return 0;
    }

    FrontEndHost* host_;
    std::set<::HWND> frames_;
    std::map<std::pair<std::string, int>, ::HFONT> fonts_;
    std::map<::COLORREF, ::HBRUSH> brushes_;
    int updating_ = 0;
};

}  // namespace

std::unique_ptr<FrontEnd> MakeWin32FrontEnd(FrontEndHost* host) { return std::make_unique<Win32FrontEnd>(host); }

}  // namespace plat::win32
