// System colours by index (COLOR_BTNFACE = 15, ...), as 0x00BBGGRR values.
#pragma once

#include "platform/Types.h"

namespace plat {

// The colour of a display element; indexes without a colour give 0 (black).
DWORD GetSysColor(int index);

}  // namespace plat
