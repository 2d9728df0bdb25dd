// The windows' pictures on Windows (platform/Forms.h, AddImage and SetFormIcon):
// the program's own are resources of the .exe (resources/novalink.rc: the PNGs
// as RCDATA under their names in upper case, the icon as ICON NOVALINK); any
// other picture is a PNG file. The PNGs are decoded by the system's imaging
// component (WIC, through COM). Internal to the Win32 front end.
#pragma once

#include <string>

#include "platform/win32/WinApi.h"

namespace plat::win32 {

// The picture that platform/PictureSource.h names (a resource of `module`, the
// program when null, or a file), as a 32-bit bitmap with its transparent parts
// laid on `background`; nullptr when it cannot be had. Its size is its own at 96
// dots per inch, scaled to the screen's `dpi`. The caller deletes it
// (DeleteObject).
::HBITMAP LoadPicture(const std::string& source, ::COLORREF background, ::HMODULE module = nullptr,
                      int dpi = 96);

// The icon of that name (an ICON resource of `module`) at the size the system
// uses for it (ICON_BIG or ICON_SMALL), for WM_SETICON; nullptr when there is
// none. Shared: never destroyed.
::HICON LoadPictureIcon(const std::string& source, bool small, ::HMODULE module = nullptr);

}  // namespace plat::win32
