#include "controls/SurfacePainter.h"

namespace nl {

plat::SurfacePicture SurfacePainter::Picture(const DrawingSurface& surface, const std::vector<const Label*>& labels,
                                             const Shape* border) {
    plat::SurfacePicture p;
    p.width = surface.Width();
    p.height = surface.Height();
    p.background = DrawingSurface::ResolveColor(surface.BackColor());
    for (const auto& r : surface.Rects()) p.fills.push_back({r.x1, r.y1, r.x2, r.y2, r.rgb});
    for (const auto& e : surface.Edges()) p.edges.push_back({e.x1, e.y1, e.x2, e.y2, e.edge, e.flags});
    for (const Label* l : labels) {
        if (!l) continue;
        // A label drawn across the whole surface is centred on it, as the
        // progress text is.
        p.texts.push_back({l->Left, l->Top, l->Width, l->Height, l->Caption, DrawingSurface::ResolveColor(l->ForeColor),
                           l->Width >= p.width});
    }
    if (border && border->Width > 0 && border->Height > 0) {
        p.border = true;
        p.borderRgb = DrawingSurface::ResolveColor(border->BorderColor);
    }
    return p;
}

}  // namespace nl
