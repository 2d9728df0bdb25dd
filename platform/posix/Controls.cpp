#include "platform/Controls.h"

namespace plat {

bool InitCommonControlsEx(DWORD structSize, DWORD classes) {
    // The parameter block of Windows is 8 bytes: its own size and the class set.
    return structSize == 8 && classes != 0;
}

}  // namespace plat
