// Paints a drawn surface's picture (platform/Forms.h, SurfacePicture) with GDI:
// the background and fills with FillRect, the edges with DrawEdge, the texts
// with DrawText in the form's font (each in two colours where a fill splits it),
// and the one-pixel border. Internal to the Win32 front end.
#pragma once

#include "platform/FrontEnd.h"
#include "platform/win32/WinApi.h"

namespace plat::win32 {

class GdiSurfacePainter {
public:
    // `font` is the form's; `dpi` the screen's pixels to an inch.
    GdiSurfacePainter(::HFONT font, int dpi) : font_(font), dpi_(dpi) {}

    // Paints the whole picture into `dc` (a memory DC the size of the surface).
    void Paint(::HDC dc, const SurfacePicture& picture) const;

private:
    int Px(int twips) const { return ::MulDiv(twips, dpi_, 1440); }
    ::RECT Area(const SurfacePicture::Fill& fill) const;
    void Text(::HDC dc, const SurfacePicture::Text& text, DWORD rgb) const;

    ::HFONT font_;
    int dpi_;
};

}  // namespace plat::win32
