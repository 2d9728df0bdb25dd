// The host of property pages: one form with a tab for each page and the
// buttons OK, Cancel and Apply. The pages read the selection when the sheet
// opens; Apply is enabled while a page carries the changed mark.
//
// Apply writes the changed pages in tab order. A page that fails stops the
// apply: its error report is shown in a message box, the page keeps its mark
// and its fields, and what the pages wrote before the failure stays written.
// A page applied whole reads its properties back, so its fields show what the
// control made of them. OK applies and closes, unless the apply failed; Cancel,
// Escape and the frame close without applying.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls/PropertyPage.h"
#include "platform/Forms.h"
#include "support/Liveness.h"

namespace nl {

class PropertySheet {
public:
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;
    static constexpr int kApply = 3;
    static constexpr int kTabs = 10;

    PropertySheet(std::string caption, std::vector<PropertyPage*> pages);
    ~PropertySheet();  // closes the form when it is still open
    PropertySheet(const PropertySheet&) = delete;
    PropertySheet& operator=(const PropertySheet&) = delete;

    // Creates the form with the pages, lets them read the selection, and shows
    // it. False when the front end cannot make it.
    bool Open();
    bool IsOpen() const { return form_ != 0; }
    plat::HWND Form() const { return form_; }
    int PageId(std::size_t index) const { return kTabs + 1 + static_cast<int>(index); }

    // Applies the changed pages (above). True when every page was applied and
    // OnApplied agreed.
    bool Apply();

    // After every apply that reached a page, failed or not: the host keeps what
    // the controls now hold (saves it). False, with the reason, when it could not;
    // the sheet shows the reason.
    std::function<bool(std::string& why)> OnApplied;
    // The form is gone (OK or Cancel); the sheet may be destroyed from here.
    std::function<void()> OnClosed;

private:
    static plat::LRESULT Proc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM wParam, plat::LPARAM lParam);
    void Command(int id, std::uint16_t code);
    void UpdateApply();
    void Close();

    std::string caption_;
    std::vector<PropertyPage*> pages_;
    plat::HWND form_ = 0;
    Liveness life_;  // a handler may destroy the sheet while a message box is open
};

}  // namespace nl
