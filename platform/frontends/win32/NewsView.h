// The offer's news page on Windows: a child window in the form that shows the
// page with the system's WebBrowser control or, where that control cannot be
// made or cannot show the page, its address as a link that opens the page in
// the user's browser. Only http: and https: addresses are shown or opened; any
// other gets one line on standard error. Internal to the Win32 front end.
#pragma once

#include <string>

#include "platform/win32/WinApi.h"

namespace plat::win32 {

class BrowserSite;

class NewsView {
public:
    // The view's window, a child of `parent` at `at` (pixels); nullptr on failure.
    // It goes away with its parent.
    static ::HWND Open(::HWND parent, const ::RECT& at, int id, ::HFONT font);
    static void Navigate(::HWND view, const std::string& url);

private:
    explicit NewsView(::HWND window, ::HFONT font);
    ~NewsView();

    void ShowLink(const std::string& url);
    bool ShowPage(const std::string& url);
    void OpenInBrowser() const;

    static ::LRESULT CALLBACK Proc(::HWND window, ::UINT msg, ::WPARAM w, ::LPARAM l);

    ::HWND window_;
    ::HFONT font_;
    ::HWND note_ = nullptr;
    ::HWND link_ = nullptr;
    BrowserSite* browser_ = nullptr;
    bool noBrowser_ = false;  // the system's control could not be made: the link it is
    std::string url_;
};

}  // namespace plat::win32
