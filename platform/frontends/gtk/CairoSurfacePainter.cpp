#include "platform/frontends/gtk/CairoSurfacePainter.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace plat::gtk {

namespace {

constexpr double kTwipsPerPixel = 15.0;

int Px(int twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

void SetColor(cairo_t* cr, DWORD rgb) {
    cairo_set_source_rgb(cr, (rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, ((rgb >> 16) & 0xFF) / 255.0);
}

void Box(cairo_t* cr, int x, int y, int w, int h) {
    if (w <= 0 || h <= 0) return;
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
}

// System colour indexes of DrawEdge's borders.
constexpr int kLight = 22;      // 3-D light
constexpr int kDarkShadow = 21;  // 3-D dark shadow
constexpr int kShadow = 16;      // button shadow
constexpr int kHighlight = 20;   // button highlight

constexpr UINT kLeft = 1, kTop = 2, kRight = 4, kBottom = 8;

}  // namespace

void CairoSurfacePainter::Paint(cairo_t* cr, const SurfacePicture& p) const {
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    SetColor(cr, p.background);
    cairo_paint(cr);
    for (const auto& f : p.fills) {
        SetColor(cr, f.rgb);
        int x1 = Px(std::min(f.x1, f.x2)), x2 = Px(std::max(f.x1, f.x2));
        int y1 = Px(std::min(f.y1, f.y2)), y2 = Px(std::max(f.y1, f.y2));
        Box(cr, x1, y1, x2 - x1, y2 - y1);
    }
    for (const auto& e : p.edges) Edge(cr, e);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    // Each text once for the background and once for each fill, each clipped to
    // its part (ReadableOn).
    for (const auto& t : p.texts) {
        cairo_save(cr);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        cairo_rectangle(cr, 0, 0, Px(p.width), Px(p.height));
        for (const auto& f : p.fills)
            cairo_rectangle(cr, Px(std::min(f.x1, f.x2)), Px(std::min(f.y1, f.y2)), Px(std::abs(f.x2 - f.x1)),
                            Px(std::abs(f.y2 - f.y1)));
        cairo_clip(cr);
        Text(cr, t, ReadableOn(t.rgb, p.background));
        cairo_restore(cr);
        for (const auto& f : p.fills) {
            cairo_save(cr);
            cairo_rectangle(cr, Px(std::min(f.x1, f.x2)), Px(std::min(f.y1, f.y2)), Px(std::abs(f.x2 - f.x1)),
                            Px(std::abs(f.y2 - f.y1)));
            cairo_clip(cr);
            Text(cr, t, ReadableOn(t.rgb, f.rgb));
            cairo_restore(cr);
        }
    }
    if (p.border) {
        cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
        SetColor(cr, p.borderRgb);
        cairo_set_line_width(cr, 1);
        cairo_rectangle(cr, 0.5, 0.5, Px(p.width) - 1, Px(p.height) - 1);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

// Each ring of the edge is one pixel: the outer one (raised or sunken) along the
// rectangle's flagged sides, the inner one a pixel inside it. Left and top take
// the first colour, right and bottom the second.
void CairoSurfacePainter::Edge(cairo_t* cr, const SurfacePicture::Edge& e) const {
    int l = Px(e.left), t = Px(e.top), r = Px(e.right), b = Px(e.bottom);
    struct Ring {
        UINT bit;
        int lightSide, darkSide;
    };
    const Ring rings[] = {
        {1, kLight, kDarkShadow},     // raised outer
        {2, kShadow, kHighlight},     // sunken outer
        {4, kHighlight, kShadow},     // raised inner
        {8, kDarkShadow, kLight},     // sunken inner
    };
    for (int pass = 0; pass < 2; ++pass) {
        const Ring* ring = nullptr;
        for (int i = pass * 2; i < pass * 2 + 2; ++i)
            if (e.edge & rings[i].bit) ring = &rings[i];
        if (!ring) continue;
        DWORD lt = host_->SysColor(ring->lightSide), rb = host_->SysColor(ring->darkSide);
        if (e.flags & kLeft) SetColor(cr, lt), Box(cr, l, t, 1, b - t);
        if (e.flags & kTop) SetColor(cr, lt), Box(cr, l, t, r - l, 1);
        if (e.flags & kRight) SetColor(cr, rb), Box(cr, r - 1, t, 1, b - t);
        if (e.flags & kBottom) SetColor(cr, rb), Box(cr, l, b - 1, r - l, 1);
        if (e.flags & kLeft) ++l;
        if (e.flags & kTop) ++t;
        if (e.flags & kRight) --r;
        if (e.flags & kBottom) --b;
    }
}

void CairoSurfacePainter::Text(cairo_t* cr, const SurfacePicture::Text& t, DWORD rgb) const {
    if (t.text.empty()) return;
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, fontName_.empty() ? "Sans" : fontName_.c_str());
    pango_font_description_set_size(font, (fontPoints_ > 0 ? fontPoints_ : 8) * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_text(layout, t.text.c_str(), -1);
    int w = Px(t.width), h = Px(t.height);
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    double x = Px(t.left), y = Px(t.top);
    if (t.centered) {
        x += (w - tw) / 2.0;
        y += (h - th) / 2.0;
    }
    SetColor(cr, rgb);
    cairo_move_to(cr, std::floor(x), std::floor(y));
    pango_cairo_show_layout(cr, layout);
    pango_font_description_free(font);
    g_object_unref(layout);
}

}  // namespace plat::gtk
