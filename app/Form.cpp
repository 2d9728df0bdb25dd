#include "app/Form.h"

#include <algorithm>
#include <vector>

#include "app/MainModule.h"
#include "http/DownloadFile.h"
#include "platform/Forms.h"
#include "platform/Window.h"

namespace nl {
namespace {

// The forms there are (each is one for the whole program).
std::vector<Form*>& Forms() {
    static std::vector<Form*> forms;
    return forms;
}

}  // namespace

Form::Form() { Forms().push_back(this); }

Form::~Form() {
    auto& forms = Forms();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
}

plat::LRESULT Form::Proc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM w, plat::LPARAM l) {
    for (Form* f : Forms()) {
        if (f->hwnd_ == 0 || f->hwnd_ != hwnd) continue;
        switch (msg) {
            case SurfaceView::kRepaintMessage:
                f->view_.Repaint();
                return 0;
            case plat::PL_WM_COMMAND:
                f->Command(plat::LoWord(w));
                return 0;
            case plat::PL_WM_CLOSE:
                f->CloseRequested();
                return 0;
            default:
                return f->Message(msg, w, l);
        }
    }
    return plat::DefWindowProcA(hwnd, msg, w, l);
}

plat::LRESULT Form::Message(plat::UINT msg, plat::WPARAM w, plat::LPARAM l) {
    return plat::DefWindowProcA(hwnd_, msg, w, l);
}

bool Form::Open(const char* fontName, int clientWidth, int clientHeight, int cancelId, plat::LineInput input) {
    plat::FormSpec spec;
    spec.caption = kAppTitle;
    spec.fontName = fontName;
    spec.clientWidth = clientWidth;
    spec.clientHeight = clientHeight;
    spec.cancelId = cancelId;
    spec.input = input;
    hwnd_ = plat::CreateForm(spec, &Proc);
    return hwnd_ != 0;
}

void Form::Load() {
    if (hwnd_ == 0) Create();
}

void Form::Show() {
    Load();
    if (hwnd_ != 0) plat::ShowForm(hwnd_, true);
}

void Form::Unload() {
    if (hwnd_ == 0) return;
    Unloading();
    const plat::HWND hwnd = hwnd_;
    hwnd_ = 0;
    view_.Detach();
    plat::DestroyWindow(hwnd);
    Unloaded();
    // The last window is gone: a fault while the process tears down shows no
    // crash report.
    if (std::none_of(Forms().begin(), Forms().end(), [](const Form* f) { return f->Loaded(); }))
        SuppressFaultDialogs();
}

void Form::AttachDownloadBox(DownloadFile& box, int id, std::int32_t left, std::int32_t top) {
    view_.Attach(hwnd_, id, left, top, box.Surface(), {&box.ProgressLabel()}, &box.BorderShape());
    box.Host().OnPropertyChanged = [this](const std::string&) { view_.RequestRepaint(); };
}

}  // namespace nl
