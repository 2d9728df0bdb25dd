// A control's drawing surface as a model: its size in twips, background and fill
// colours, and the filled rectangles and edges painted on it since the last clear. A GUI
// front end renders it; tests inspect it.
//
// Colours are 0x00BBGGRR values; a value with the top bit set names a system
// colour by the index in its low byte and is resolved through the platform.
#pragma once

#include <cstdint>
#include <vector>

namespace nl {

class DrawingSurface {
public:
    struct FilledRect {
        std::int32_t x1, y1, x2, y2;  // twips
        std::uint32_t color;          // as given
        std::uint32_t rgb;            // resolved
    };

    // A three-dimensional edge, as DrawEdge draws it into the rectangle.
    struct Edge {
        std::int32_t x1, y1, x2, y2;  // twips
        std::uint32_t edge;           // EDGE_ETCHED (6), BDR_RAISEDINNER (4), BDR_SUNKENOUTER (2), ...
        std::uint32_t flags;          // BF_LEFT (1), BF_TOP (2), BF_RECT (15), ...
    };

    static constexpr std::int32_t kTwipsPerPixel = 15;  // at 96 dots per inch
    static std::uint32_t ResolveColor(std::uint32_t color);

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    void SetSize(std::int32_t width, std::int32_t height);

    std::uint32_t BackColor() const { return backColor_; }
    void SetBackColor(std::uint32_t c) { backColor_ = c; ++repaints_; }
    std::uint32_t FillColor() const { return fillColor_; }
    void SetFillColor(std::uint32_t c) { fillColor_ = c; }

    // Paints a rectangle from (x1, y1) to (x2, y2) in the fill colour, over what is there.
    void FillRect(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2);
    // Draws an edge along the sides of the rectangle that `flags` names.
    void DrawEdge(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2, std::uint32_t edge,
                  std::uint32_t flags) {
        edges_.push_back({x1, y1, x2, y2, edge, flags});
    }
    // Erases everything painted.
    void Clear() {
        rects_.clear();
        edges_.clear();
    }

    const std::vector<FilledRect>& Rects() const { return rects_; }
    const std::vector<Edge>& Edges() const { return edges_; }
    // How often the background was assigned (each assignment repaints it).
    int BackgroundRepaints() const { return repaints_; }

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::uint32_t backColor_ = 0x8000000F;  // button face
    std::uint32_t fillColor_ = 0;
    std::vector<FilledRect> rects_;
    std::vector<Edge> edges_;
    int repaints_ = 0;
};

}  // namespace nl
