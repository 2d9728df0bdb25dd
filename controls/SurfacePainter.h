// Turns a control's drawing surface, with the labels and the border shape it
// carries, into the picture a form shows (platform/Forms.h): sizes stay in twips,
// colours are resolved, and the labels become the picture's texts.
#pragma once

#include <vector>

#include "controls/DrawingSurface.h"
#include "controls/Label.h"
#include "controls/Shape.h"
#include "platform/Forms.h"

namespace nl {

class SurfacePainter {
public:
    static plat::SurfacePicture Picture(const DrawingSurface& surface, const std::vector<const Label*>& labels = {},
                                        const Shape* border = nullptr);
};

}  // namespace nl
