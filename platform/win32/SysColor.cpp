#include "platform/SysColor.h"

#include "platform/win32/WinApi.h"

namespace plat {

DWORD GetSysColor(int index) { return win32::Dw(::GetSysColor(index)); }

}  // namespace plat
