#include "platform/win32/Win32FrontEnd.h"

#include "platform/win32/MessageLoop.h"

namespace plat::win32 {

namespace {

class Win32FrontEnd final : public FrontEnd {
public:
    explicit Win32FrontEnd(FrontEndHost* host) : host_(host) {}

    FrontEndKind Kind() const override { return FrontEndKind::Win32; }
    void FormCreated(FormModel&) override {}
    void FormDestroyed(FormModel&) override {}
    void ControlAdded(FormModel&, FormControl&) override {}
    void ControlChanged(FormModel&, FormControl&, ControlChange) override {}
    void FormShown(FormModel&, bool) override {}

    // The system's box is modal: its own loop keeps dispatching the queue (the
    // sockets' and timers' messages too) until it is answered.
    void OpenMessageBox(FormModel* owner, const std::string& text, const std::string& caption, UINT type,
                        std::function<void(int)> answer) override {
        UINT allowed = PL_MB_TYPEMASK | PL_MB_ICONMASK | PL_MB_DEFMASK;
        ::HWND ownerWindow = owner ? MessageLoop::Instance().Real(owner->hwnd) : nullptr;
        int a = ::MessageBoxA(ownerWindow, text.c_str(), caption.c_str(), (type & allowed) | MB_SETFOREGROUND);
        // Not answered (the box could not be shown): its default button.
        if (a != PL_IDOK && a != PL_IDYES && a != PL_IDNO) a = DefaultAnswer(type);
        answer(a);
    }
    void CloseMessageBox() override {}
    void InterruptMessageBox() override {}

private:
    FrontEndHost* host_;
};

}  // namespace

std::unique_ptr<FrontEnd> MakeWin32FrontEnd(FrontEndHost* host) { return std::make_unique<Win32FrontEnd>(host); }

}  // namespace plat::win32
