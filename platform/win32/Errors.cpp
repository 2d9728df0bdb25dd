#include "platform/Errors.h"

#include "platform/win32/WinApi.h"

namespace plat {

DWORD GetLastError() { return win32::Dw(::GetLastError()); }
void SetLastError(DWORD code) { ::SetLastError(code); }

}  // namespace plat
