// Paints a drawn control's picture with cairo, the way the system draws it:
// background, fills, edges (DrawEdge's etched, raised and sunken borders in the
// system's highlight and shadow colours), texts, then the frame.
#pragma once

#include <cairo.h>

#include <string>

#include "platform/FrontEnd.h"

namespace plat::gtk {

class CairoSurfacePainter {
public:
    CairoSurfacePainter(FrontEndHost* host, std::string fontName, int fontPoints)
        : host_(host), fontName_(std::move(fontName)), fontPoints_(fontPoints) {}

    void Paint(cairo_t* cr, const SurfacePicture& picture) const;

private:
    void Edge(cairo_t* cr, const SurfacePicture::Edge& edge) const;
    void Text(cairo_t* cr, const SurfacePicture::Text& text, DWORD rgb) const;

    FrontEndHost* host_;
    std::string fontName_;
    int fontPoints_;
};

}  // namespace plat::gtk
