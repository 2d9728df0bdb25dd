#include "platform/Controls.h"

#include "platform/win32/WinApi.h"

#include <commctrl.h>

namespace plat {

bool InitCommonControlsEx(DWORD structSize, DWORD classes) {
    INITCOMMONCONTROLSEX icc{};
    icc.dwSize = structSize;
    icc.dwICC = classes;
    return ::InitCommonControlsEx(&icc) != 0;
}

}  // namespace plat
