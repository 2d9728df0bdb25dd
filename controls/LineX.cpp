#include "controls/LineX.h"

#include <cmath>

namespace nl {

namespace {
constexpr std::int32_t kPx = DrawingSurface::kTwipsPerPixel;
constexpr std::int32_t kMinLengthPx = 10;

std::int32_t ToPixels(std::int32_t twips) {
    return static_cast<std::int32_t>(std::lround(static_cast<double>(twips) / kPx));
}
}  // namespace

LineX::LineX() {
    // A new line sits in a 100-pixel wide place until its host sizes it.
    surface_.SetSize(100 * kPx, thickness_ * kPx);
    Paint();
}

void LineX::SetOrientation(std::int32_t orientation) {
    orientation_ = orientation;
    Paint();
}

void LineX::SetStyle(std::int32_t lstyle) {
    style_ = lstyle;
    thickness_ = lstyle != 0 ? 3 : 2;
    Paint();
}

void LineX::Resize(std::int32_t width, std::int32_t height) {
    surface_.SetSize(width, height);
    Paint();
}

void LineX::WriteProperties(PropertyBag& bag) const {
    bag.WriteProperty("Style", style_, 0);
    bag.WriteProperty("Orientation", orientation_, 0);
}

void LineX::ReadProperties(PropertyBag& bag) {
    SetOrientation(bag.ReadInt32("Orientation", 0));
    SetStyle(bag.ReadInt32("Style", 0));
}

void LineX::Paint() {
    // Size along the thickness, and the minimum length.
    std::int32_t width = surface_.Width();
    std::int32_t height = surface_.Height();
    if (orientation_ == 0) {
        height = thickness_ * kPx;
        if (ToPixels(width) < kMinLengthPx) width = kMinLengthPx * kPx;
    } else {
        width = thickness_ * kPx;
        if (ToPixels(height) < kMinLengthPx) height = kMinLengthPx * kPx;
    }
    surface_.SetSize(width, height);

    std::uint32_t edge = kSunkenOuter;
    std::uint32_t flags = kRect;
    if (style_ == 0) {
        edge = kEdgeEtched;
        flags = orientation_ == 0 ? kTop : kLeft;
    } else if (style_ == 1) {
        edge = kRaisedInner;
    }
    surface_.Clear();
    surface_.DrawEdge(0, 0, ToPixels(width) * kPx, ToPixels(height) * kPx, edge, flags);
}

}  // namespace nl
