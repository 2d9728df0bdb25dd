// The forms on Windows. The system's message box is here; the forms themselves
// (a dialog of the system per form, its labels, buttons, web view and drawn
// surfaces) are not built yet: until they are, creating a form fails (0) and
// every call on a form's controls answers false, so a caller takes the path it
// takes when a window cannot be made.
#include "platform/Forms.h"

#include "platform/win32/MessageLoop.h"

namespace plat {

namespace {

bool g_started = false;

}  // namespace

FrontEndKind StartFrontEnd() {
    g_started = true;
    return FrontEndKind::Win32;
}

FrontEndKind CurrentFrontEnd() { return g_started ? FrontEndKind::Win32 : FrontEndKind::NotStarted; }

HWND CreateForm(const FormSpec&, WindowProc) {
    StartFrontEnd();
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
}

bool AddLabel(HWND, int, const FormRect&, const std::string&, const std::string&, int) { return false; }
bool AddButton(HWND, int, const FormRect&, const std::string&) { return false; }
bool AddImage(HWND, int, const FormRect&, const std::string&) { return false; }
bool AddWebView(HWND, int, const FormRect&) { return false; }
bool AddSurface(HWND, int, const FormRect&) { return false; }
bool AddTextBox(HWND, int, const FormRect&, const std::string&) { return false; }
bool AddCheckBox(HWND, int, const FormRect&, const std::string&) { return false; }
bool AddDropDownList(HWND, int, const FormRect&, const std::vector<std::string>&) { return false; }
bool AddTabs(HWND, int, const FormRect&) { return false; }
bool AddTabPage(HWND, int, int, const std::string&) { return false; }
bool MoveToPage(HWND, int, int) { return false; }
bool SelectTab(HWND, int, int) { return false; }
bool SetControlName(HWND, int, const std::string&) { return false; }
bool SetControlText(HWND, int, const std::string&) { return false; }
bool GetControlText(HWND, int, std::string*) { return false; }
bool SelectText(HWND, int, int, int) { return false; }
bool GetTextSelection(HWND, int, int*, int*) { return false; }
bool SetCheck(HWND, int, int) { return false; }
int GetCheck(HWND, int) { return 0; }
bool SetListIndex(HWND, int, int) { return false; }
int GetListIndex(HWND, int) { return -1; }
bool EnableControl(HWND, int, bool) { return false; }
bool Navigate(HWND, int, const std::string&) { return false; }
bool PaintSurface(HWND, int, const SurfacePicture&) { return false; }
// The icon of a form's frame: platform/PictureSource.h names where its picture
// is (the program's own are the RCDATA resources of resources/novalink.rc, the
// frame's icon the ICON resource NOVALINK); the form keeps it for FormIcon.
bool SetFormIcon(HWND, const std::string&) { return false; }
std::string FormIcon(HWND) { return {}; }
bool ShowForm(HWND, bool) { return false; }

int MessageBoxA(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    StartFrontEnd();
    UINT allowed = PL_MB_TYPEMASK | PL_MB_ICONMASK | PL_MB_DEFMASK;
    int answer = ::MessageBoxA(win32::MessageLoop::Instance().Real(owner), text.c_str(), caption.c_str(),
                               (type & allowed) | MB_SETFOREGROUND);
    if (answer == PL_IDOK || answer == PL_IDYES || answer == PL_IDNO) return answer;
    // Not answered (the box could not be shown): its default button.
    if ((type & PL_MB_TYPEMASK) == PL_MB_YESNO) return (type & PL_MB_DEFMASK) == PL_MB_DEFBUTTON2 ? PL_IDNO : PL_IDYES;
    return PL_IDOK;
}

}  // namespace plat
