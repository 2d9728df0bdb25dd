// The offer window: the update's news page, "&Install >>" (the download window)
// and "&Cancel" (with a question).
#pragma once

#include <memory>

#include "platform/Types.h"

namespace nl {

class LineX;

class MainFrm {
public:
    // The one offer window, created on first use.
    static MainFrm& Instance();

    // Loads the window when it is not (it navigates to the news page), then shows it.
    void Show();
    void Unload();
    bool Loaded() const { return hwnd_ != 0; }
    plat::HWND Handle() const { return hwnd_; }

    ~MainFrm();

private:
    MainFrm();
    static plat::LRESULT Proc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM w, plat::LPARAM l);

    void Form_Load();
    void CButton_Click(int index);

    plat::HWND hwnd_ = 0;
    std::unique_ptr<LineX> LX;
};

}  // namespace nl
