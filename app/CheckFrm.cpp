#include "app/CheckFrm.h"

#include "app/MainModule.h"
#include "platform/Window.h"

namespace nl {
namespace {

plat::HWND g_hwnd = 0;

plat::LRESULT Proc(plat::HWND hwnd, plat::UINT msg, plat::WPARAM w, plat::LPARAM l) {
    if (msg == plat::PL_WM_CLOSE) {
        CheckFrm::Unload();
        return 0;
    }
    if (msg == plat::PL_WM_DESTROY) {
        g_hwnd = 0;
        // The last window is gone: a fault while the process tears down shows
        // no crash report.
        SuppressFaultDialogs();
        return 0;
    }
    return plat::DefWindowProcA(hwnd, msg, w, l);
}

}  // namespace

void CheckFrm::Show() {
    if (g_hwnd != 0) return;
    g_hwnd = plat::CreateTopLevelWindow(kAppTitle);
    if (g_hwnd == 0) return;
    plat::SetWindowProc(g_hwnd, &Proc);
    // Nothing to check yet: the window closes itself once the loop runs.
    plat::PostMessageA(g_hwnd, plat::PL_WM_CLOSE, 0, 0);
}

void CheckFrm::Unload() {
    if (g_hwnd != 0) plat::DestroyWindow(g_hwnd);
}

bool CheckFrm::Loaded() { return g_hwnd != 0; }

plat::HWND CheckFrm::Handle() { return g_hwnd; }

}  // namespace nl
