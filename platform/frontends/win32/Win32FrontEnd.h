// The Win32 front end: each form a top-level window of the system with the
// system's own controls, drawn surfaces painted with GDI, and the system's
// message boxes. Internal to platform/win32.
#pragma once

#include <memory>

#include "platform/FrontEnd.h"

namespace plat::win32 {

std::unique_ptr<FrontEnd> MakeWin32FrontEnd(FrontEndHost* host);

}  // namespace plat::win32
