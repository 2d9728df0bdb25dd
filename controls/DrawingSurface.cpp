#include "controls/DrawingSurface.h"

#include "platform/SysColor.h"

namespace nl {

std::uint32_t DrawingSurface::ResolveColor(std::uint32_t color) {
    if (color & 0x80000000u) return plat::GetSysColor(static_cast<int>(color & 0xFF));
    return color & 0x00FFFFFFu;
}

void DrawingSurface::SetSize(std::int32_t width, std::int32_t height) {
    width_ = width;
    height_ = height;
}

void DrawingSurface::FillRect(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2) {
    // A rectangle that covers the last one in the same colour replaces it: a growing
    // bar stays one entry however often it is repainted.
    if (!rects_.empty()) {
        const FilledRect& last = rects_.back();
        if (last.color == fillColor_ && x1 <= last.x1 && y1 <= last.y1 && x2 >= last.x2 && y2 >= last.y2) {
            rects_.back() = {x1, y1, x2, y2, fillColor_, ResolveColor(fillColor_)};
            return;
        }
    }
    rects_.push_back({x1, y1, x2, y2, fillColor_, ResolveColor(fillColor_)});
}

}  // namespace nl
