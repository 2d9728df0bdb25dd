// Paints a drawn surface's picture (platform/Forms.h, SurfacePicture) as one
// line of text: the share of its width that its fills cover as a bar of '#' and
// '.', followed by the surface's own texts, or by the share in per cent when it
// writes none. Edges and the background have no text; a surface without fills
// (a banner, a separator line) paints no line at all. Every text passes through
// VisibleText.
#pragma once

#include <string>

#include "platform/Forms.h"

namespace plat {

class TextSurfacePainter {
public:
    explicit TextSurfacePainter(int cells = 30) : cells_(cells) {}

    // The line, or "" when the picture has nothing to show as text.
    std::string Paint(const SurfacePicture& picture) const;

private:
    int cells_;
};

}  // namespace plat
