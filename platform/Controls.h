// Common controls set-up (InitCommonControlsEx).
#pragma once

#include "platform/Types.h"

namespace plat {

constexpr DWORD PL_ICC_USEREX_CLASSES = 0x200;

// Registers the common control classes named by `classes`; `structSize` is the
// size of the Windows parameter block (8). On Linux the widgets need no
// registration; the call checks its arguments and answers.
bool InitCommonControlsEx(DWORD structSize, DWORD classes);

}  // namespace plat
