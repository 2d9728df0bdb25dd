#include "platform/frontends/win32/GdiSurfacePainter.h"

#include <algorithm>

#include "platform/win32/WideText.h"

namespace plat::win32 {

namespace {

void Fill(::HDC dc, const ::RECT& r, DWORD rgb) {
    ::HBRUSH brush = ::CreateSolidBrush(static_cast<::COLORREF>(rgb));
    ::FillRect(dc, &r, brush);
    ::DeleteObject(brush);
}

}  // namespace

::RECT GdiSurfacePainter::Area(const SurfacePicture::Fill& f) const {
    return {Px(std::min(f.x1, f.x2)), Px(std::min(f.y1, f.y2)), Px(std::max(f.x1, f.x2)), Px(std::max(f.y1, f.y2))};
}

void GdiSurfacePainter::Text(::HDC dc, const SurfacePicture::Text& t, DWORD rgb) const {
    ::RECT r{Px(t.left), Px(t.top), Px(t.left + t.width), Px(t.top + t.height)};
    ::SetTextColor(dc, static_cast<::COLORREF>(rgb));
    const std::wstring text = Wide(t.text);
    const ::UINT format = DT_NOPREFIX | DT_NOCLIP |
                          (t.centered ? DT_CENTER | DT_VCENTER | DT_SINGLELINE : DT_LEFT | DT_TOP | DT_WORDBREAK);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
}

void GdiSurfacePainter::Paint(::HDC dc, const SurfacePicture& p) const {
    const ::RECT all{0, 0, Px(p.width), Px(p.height)};
    Fill(dc, all, p.background);
    for (const auto& f : p.fills) Fill(dc, Area(f), f.rgb);
    for (const auto& e : p.edges) {
        ::RECT r{Px(e.left), Px(e.top), Px(e.right), Px(e.bottom)};
        ::DrawEdge(dc, &r, e.edge, e.flags);
    }
    ::HGDIOBJ oldFont = ::SelectObject(dc, font_);
    ::SetBkMode(dc, TRANSPARENT);
    // Each text once for the background and once for each fill, each clipped to
    // its part (ReadableOn): a percentage over the bar reads at any fill.
    for (const auto& t : p.texts) {
        if (t.text.empty()) continue;
        const int saved = ::SaveDC(dc);
        for (const auto& f : p.fills) {
            const ::RECT r = Area(f);
            ::ExcludeClipRect(dc, r.left, r.top, r.right, r.bottom);
        }
        Text(dc, t, ReadableOn(t.rgb, p.background));
        ::RestoreDC(dc, saved);
        for (const auto& f : p.fills) {
            const int inFill = ::SaveDC(dc);
            const ::RECT r = Area(f);
            ::IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
            Text(dc, t, ReadableOn(t.rgb, f.rgb));
            ::RestoreDC(dc, inFill);
        }
    }
    ::SelectObject(dc, oldFont);
    if (p.border) {
        ::HBRUSH brush = ::CreateSolidBrush(static_cast<::COLORREF>(p.borderRgb));
        ::FrameRect(dc, &all, brush);
        ::DeleteObject(brush);
    }
}

}  // namespace plat::win32
