// A drawn control on a form: the form's surface control that shows the control's
// drawing surface, with the labels and the border shape it carries. Repaints go
// one at a time: a request posts the form kRepaintMessage unless one is on its
// way already, and the form answers that message with Repaint.
#pragma once

#include <cstdint>
#include <vector>

#include "controls/DrawingSurface.h"
#include "controls/Label.h"
#include "controls/Shape.h"
#include "platform/Types.h"

namespace nl {

class SurfaceView {
public:
    static constexpr plat::UINT kRepaintMessage = plat::PL_WM_USER + 1;

    // Adds the surface control `id` to `form` with its top left corner at
    // (left, top) and the surface's size (twips); nothing is painted yet. The
    // surface, labels and border must live until Detach.
    bool Attach(plat::HWND form, int id, std::int32_t left, std::int32_t top, const DrawingSurface& surface,
                std::vector<const Label*> labels = {}, const Shape* border = nullptr);
    // Asks for a repaint: posts kRepaintMessage to the form unless one is pending.
    void RequestRepaint();
    // Paints what the surface holds now.
    void Repaint();
    // The form is going: nothing more is posted or painted.
    void Detach();

private:
    plat::HWND form_ = 0;
    int id_ = 0;
    const DrawingSurface* surface_ = nullptr;
    std::vector<const Label*> labels_;
    const Shape* border_ = nullptr;
    bool posted_ = false;
};

}  // namespace nl
