#include "controls/PropertySheet.h"

#include <map>
#include <utility>

#include "platform/Window.h"
#include "support/ErrorReport.h"

namespace nl {

namespace {

// The open sheets by their forms.
std::map<plat::HWND, PropertySheet*>& Sheets() {
    static std::map<plat::HWND, PropertySheet*> sheets;
    return sheets;
}

// Twips: the tab area, and the buttons under it at the right.
constexpr int kMargin = 120;
constexpr int kTabsWidth = 5640;
constexpr int kTabsHeight = 3900;
constexpr int kButtonWidth = 1050;
constexpr int kButtonHeight = 345;
constexpr int kGap = 90;

}  // namespace

PropertySheet::PropertySheet(std::string caption, std::vector<PropertyPage*> pages)
    : caption_(std::move(caption)), pages_(std::move(pages)) {}

PropertySheet::~PropertySheet() {
    life_.End();
    OnClosed = nullptr;
    for (PropertyPage* page : pages_) page->OnChangedMark = nullptr;
    Close();
}

bool PropertySheet::Open() {
    if (form_) return true;
    plat::FormSpec spec;
    spec.caption = caption_;
    spec.clientWidth = kTabsWidth + 2 * kMargin;
    spec.clientHeight = kTabsHeight + 3 * kMargin + kButtonHeight;
    spec.defaultId = kOk;
    spec.cancelId = kCancel;
    spec.input = plat::LineInput::Fields;
    const plat::HWND form = plat::CreateForm(spec, &PropertySheet::Proc);
    if (!form) return false;
    form_ = form;
    Sheets()[form] = this;
    bool ok = plat::AddTabs(form, kTabs, {kMargin, kMargin, kTabsWidth, kTabsHeight});
    for (std::size_t i = 0; ok && i < pages_.size(); ++i) {
        PropertyPage* page = pages_[i];
        ok = plat::AddTabPage(form, kTabs, PageId(i), page->Caption()) &&
             plat::SetControlName(form, PageId(i), page->Name()) &&
             page->Create(form, PageId(i), 100 * static_cast<int>(i + 1));
        page->OnChangedMark = [this] { UpdateApply(); };
    }
    const int top = kMargin * 2 + kTabsHeight;
    int left = spec.clientWidth - kMargin - 3 * kButtonWidth - 2 * kGap;
    for (auto [id, caption] : {std::pair{kOk, "OK"}, std::pair{kCancel, "Cancel"}, std::pair{kApply, "&Apply"}}) {
        ok = ok && plat::AddButton(form, id, {left, top, kButtonWidth, kButtonHeight}, caption);
        left += kButtonWidth + kGap;
    }
    if (!ok) {
        Close();
        return false;
    }
    for (PropertyPage* page : pages_) {
        page->SelectionChanged();
        page->SetChanged(false);
    }
    UpdateApply();
    plat::ShowForm(form, true);
    return true;
}

void PropertySheet::UpdateApply() {
    bool any = false;
    for (PropertyPage* page : pages_) any = any || page->Changed();
    plat::EnableControl(form_, kApply, any);
}

bool PropertySheet::Apply() {
    bool reached = false;
    ErrorReport failure;
    for (PropertyPage* page : pages_) {
        if (!page->Changed()) continue;
        reached = true;
        try {
            page->ApplyChanges();
        } catch (const RaisedError& e) {
            failure = e.Report();
            break;
        }
        page->SetChanged(false);
        page->SelectionChanged();
    }
    std::string why;
    const auto life = life_.Watch();
    const bool kept = !reached || !OnApplied || OnApplied(why);
    if (!life.Alive()) return false;
    // The boxes run the loop: the sheet may be closed, or gone, when they return.
    const plat::HWND form = form_;
    const std::string caption = caption_;
    if (failure.IsSet()) {
        plat::MessageBoxA(form,
                          failure.description + "\r\n\r\n(error " + std::to_string(failure.number) +
                              (failure.source.empty() ? "" : " in " + failure.source) + ")",
                          caption, plat::PL_MB_OK | plat::PL_MB_ICONEXCLAMATION);
    }
    if (!kept) plat::MessageBoxA(form, why, caption, plat::PL_MB_OK | plat::PL_MB_ICONHAND);
    if (!life.Alive()) return false;
    UpdateApply();
    return !failure.IsSet() && kept && form_ != 0;
}

void PropertySheet::Command(int id, std::uint16_t code) {
    if (id == kApply && code == plat::PL_BN_CLICKED) {
        Apply();
    } else if (id == kOk && code == plat::PL_BN_CLICKED) {
        if (Apply()) Close();
    } else if (id == kCancel && code == plat::PL_BN_CLICKED) {
        Close();
    } else {
        for (PropertyPage* page : pages_)
            if (page->HandleCommand(id, code)) break;
    }
}

void PropertySheet::Close() {
    if (!form_) return;
    const plat::HWND form = form_;
    form_ = 0;
    Sheets().erase(form);
    plat::DestroyWindow(form);
    if (OnClosed) OnClosed();
}

plat::LRESULT PropertySheet::Proc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM wParam, plat::LPARAM) {
    auto it = Sheets().find(hwnd);
    if (it == Sheets().end()) return 0;
    PropertySheet* sheet = it->second;
    if (msg == plat::PL_WM_COMMAND)
        sheet->Command(plat::LoWord(wParam), plat::HiWord(wParam));
    else if (msg == plat::PL_WM_CLOSE)
        sheet->Close();
    return 0;
}

}  // namespace nl
