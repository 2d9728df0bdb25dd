// A three-dimensional separator line or frame, drawn with the system's edge
// drawing: horizontal or vertical, etched, raised or sunken. It keeps its size
// along the line's thickness and a minimum length of 10 pixels.
#pragma once

#include <cstdint>

#include "controls/DrawingSurface.h"
#include "controls/PropertyBag.h"

namespace nl {

class LineX {
public:
    // Edge types and flags as DrawEdge takes them.
    static constexpr std::uint32_t kEdgeEtched = 6;
    static constexpr std::uint32_t kRaisedInner = 4;
    static constexpr std::uint32_t kSunkenOuter = 2;
    static constexpr std::uint32_t kLeft = 1;
    static constexpr std::uint32_t kTop = 2;
    static constexpr std::uint32_t kRect = 15;

    LineX();

    // 0: horizontal; any other value: vertical.
    std::int32_t Orientation() const { return orientation_; }
    void SetOrientation(std::int32_t orientation);
    // 0: etched line; 1: raised frame; any other value: sunken frame.
    std::int32_t style() const { return style_; }
    void SetStyle(std::int32_t lstyle);
    // The line's thickness in pixels: 2 for the etched line, 3 for a frame.
    std::int32_t Thickness() const { return thickness_; }

    // The host resized the control (twips); it repaints.
    void Resize(std::int32_t width, std::int32_t height);
    const DrawingSurface& Surface() const { return surface_; }

    void WriteProperties(PropertyBag& bag) const;
    // Hands each saved value to its setter, so loading repaints.
    void ReadProperties(PropertyBag& bag);

private:
    void Paint();

    std::int32_t orientation_ = 0;
    std::int32_t style_ = 0;
    std::int32_t thickness_ = 2;
    DrawingSurface surface_;
};

}  // namespace nl
