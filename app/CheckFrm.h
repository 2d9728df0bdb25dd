// The check window. For now it only opens and closes: it finds no update to
// offer, so the interactive run ends as soon as it has started. The catalogue
// check and the windows that follow it are built on top of this.
#pragma once

#include "platform/Types.h"

namespace nl {

class CheckFrm {
public:
    // Creates the window (once) and shows it without blocking.
    static void Show();
    // Unloads the window; when no window is left the run ends.
    static void Unload();
    static bool Loaded();
    static plat::HWND Handle();
};

}  // namespace nl
