#include "platform/frontends/win32/NewsView.h"

#include "platform/win32/WinApi.h"

#include <commctrl.h>
#include <shellapi.h>

#include "platform/VisibleText.h"
#include "platform/frontends/win32/BrowserSite.h"
// After the COM interfaces, which spell the system's DWORD, not the platform's.
#include "platform/FrontEnd.h"
#include "platform/win32/WideText.h"

namespace plat::win32 {

namespace {

constexpr wchar_t kViewClass[] = L"NovalinkNews";
constexpr int kLinkId = 1;

// http: and https: addresses, whatever the case of the scheme.
bool IsWebAddress(const std::string& url) {
    auto starts = [&](const char* scheme) {
        std::size_t i = 0;
        for (; scheme[i]; ++i) {
            if (i >= url.size()) return false;
            char c = url[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c != scheme[i]) return false;
        }
        return true;
    };
    return starts("http://") || starts("https://");
}

}  // namespace

NewsView::NewsView(::HWND window, ::HFONT font) : window_(window), font_(font) {}

NewsView::~NewsView() = default;

::HWND NewsView::Open(::HWND parent, const ::RECT& at, int id, ::HFONT font) {
    static bool registered = false;
    ::HINSTANCE instance = ::GetModuleHandleW(nullptr);
    if (!registered) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.hInstance = instance;
        wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<::HBRUSH>(COLOR_WINDOW + 1);
        wc.lpfnWndProc = &NewsView::Proc;
        wc.lpszClassName = kViewClass;
        registered = ::RegisterClassExW(&wc) != 0;
    }
    ::HWND window = ::CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, kViewClass, L"",
                                      WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, at.left, at.top, at.right - at.left,
                                      at.bottom - at.top, parent,
                                      reinterpret_cast<::HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (!window) return nullptr;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(new NewsView(window, font)));
    return window;
}

void NewsView::Navigate(::HWND view, const std::string& url) {
    auto* self = reinterpret_cast<NewsView*>(::GetWindowLongPtrW(view, GWLP_USERDATA));
    if (!self) return;
    // Nothing but a web page: any other kind of address shows as an empty view.
    if (!url.empty() && !IsWebAddress(url)) SayNewsRefused("the news page", url);
    self->url_ = IsWebAddress(url) ? url : "";
    if (!self->url_.empty() && self->ShowPage(self->url_)) return;
    self->ShowLink(self->url_);
}

bool NewsView::ShowPage(const std::string& url) {
    if (!browser_ && !noBrowser_) {
        browser_ = BrowserSite::Create(window_);
        noBrowser_ = browser_ == nullptr;
    }
    if (!browser_ || !browser_->Navigate(url)) return false;
    if (note_) ::ShowWindow(note_, SW_HIDE);
    if (link_) ::ShowWindow(link_, SW_HIDE);
    return true;
}

// The address as a link (the system's SysLink): a Tab stop that shows its focus,
// opened by a click or Enter.
void NewsView::ShowLink(const std::string& url) {
    ::HINSTANCE instance = ::GetModuleHandleW(nullptr);
    ::RECT r;
    ::GetClientRect(window_, &r);
    if (!note_) {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LINK_CLASS};
        ::InitCommonControlsEx(&icc);
        LOGFONTW lf{};
        ::GetObjectW(font_, sizeof lf, &lf);
        const int line = lf.lfHeight < 0 ? -lf.lfHeight * 2 : 24;
        note_ = ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | SS_LEFT | SS_NOPREFIX, 8, 8, r.right - 16, line * 2,
                                  window_, nullptr, instance, nullptr);
        link_ = ::CreateWindowExW(0, WC_LINK, L"", WS_CHILD | WS_TABSTOP, 8, 8 + line * 2, r.right - 16, line * 3,
                                  window_, reinterpret_cast<::HMENU>(static_cast<INT_PTR>(kLinkId)), instance, nullptr);
        ::SendMessageW(note_, WM_SETFONT, reinterpret_cast<::WPARAM>(font_), FALSE);
        if (link_) ::SendMessageW(link_, WM_SETFONT, reinterpret_cast<::WPARAM>(font_), FALSE);
    }
    ::SetWindowTextW(note_, url.empty() ? L"" : L"The news page cannot be shown here. Open it in your browser:");
    ::ShowWindow(note_, url.empty() ? SW_HIDE : SW_SHOW);
    if (!link_) return;
    // The link's markup knows no escapes: '<' and '>', which no address holds
    // unencoded, are shown encoded. (The blank at its end keeps Wine's SysLink
    // from dropping the last character of some addresses.)
    std::string shown;
    for (char c : VisibleText(url)) shown += c == '<' ? "%3C" : c == '>' ? "%3E" : std::string(1, c);
    ::SetWindowTextW(link_, url.empty() ? L"" : (L"<a>" + Wide(shown) + L" </a>").c_str());
    ::ShowWindow(link_, url.empty() ? SW_HIDE : SW_SHOW);
}

void NewsView::OpenInBrowser() const {
    if (!IsWebAddress(url_)) return;
    ::ShellExecuteW(window_, L"open", Wide(url_).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

::LRESULT CALLBACK NewsView::Proc(::HWND window, ::UINT msg, ::WPARAM w, ::LPARAM l) {
    auto* self = reinterpret_cast<NewsView*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return ::DefWindowProcW(window, msg, w, l);
    switch (msg) {
        case WM_NOTIFY: {
            const auto* n = reinterpret_cast<const NMHDR*>(l);
            if (n->idFrom == kLinkId && (n->code == NM_CLICK || n->code == NM_RETURN)) self->OpenInBrowser();
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            // The note and the link on the view's background.
            ::SetBkMode(reinterpret_cast<::HDC>(w), TRANSPARENT);
            ::SetTextColor(reinterpret_cast<::HDC>(w), ::GetSysColor(COLOR_WINDOWTEXT));
            return reinterpret_cast<::LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        case WM_DESTROY:
            if (self->browser_) self->browser_->Close();
            self->browser_ = nullptr;
            break;
        case WM_NCDESTROY:
            ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            delete self;
            return ::DefWindowProcW(window, msg, w, l);
        default:
            break;
    }
    return ::DefWindowProcW(window, msg, w, l);
}

}  // namespace plat::win32
