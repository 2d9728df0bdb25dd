#include "controls/SurfaceView.h"

#include <utility>

#include "controls/SurfacePainter.h"
#include "platform/Forms.h"
#include "platform/Window.h"

namespace nl {

bool SurfaceView::Attach(plat::HWND form, int id, std::int32_t left, std::int32_t top,
                         const DrawingSurface& surface, std::vector<const Label*> labels, const Shape* border) {
    form_ = form;
    id_ = id;
    surface_ = &surface;
    labels_ = std::move(labels);
    border_ = border;
    posted_ = false;
    return plat::AddSurface(form, id, {left, top, surface.Width(), surface.Height()});
}

void SurfaceView::RequestRepaint() {
    if (posted_ || form_ == 0) return;
    posted_ = plat::PostMessageA(form_, kRepaintMessage, 0, 0);
}

void SurfaceView::Repaint() {
    posted_ = false;
    if (form_ == 0 || !surface_) return;
    plat::PaintSurface(form_, id_, SurfacePainter::Picture(*surface_, labels_, border_));
}

void SurfaceView::Detach() {
    form_ = 0;
    surface_ = nullptr;
    labels_.clear();
    border_ = nullptr;
    posted_ = false;
}

}  // namespace nl
