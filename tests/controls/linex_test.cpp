#include <gtest/gtest.h>

#include "controls/LineX.h"

using nl::LineX;

namespace {

constexpr int kPx = nl::DrawingSurface::kTwipsPerPixel;

struct Drawn {
    int widthPx, heightPx;
    std::uint32_t edge, flags;
};

Drawn Look(const LineX& line) {
    const auto& s = line.Surface();
    EXPECT_EQ(s.Edges().size(), 1u) << "one edge per paint, nothing else";
    EXPECT_TRUE(s.Rects().empty());
    if (s.Edges().empty()) return {};
    const auto& e = s.Edges().front();
    EXPECT_EQ(e.x1, 0);
    EXPECT_EQ(e.y1, 0);
    EXPECT_EQ(e.x2, s.Width());
    EXPECT_EQ(e.y2, s.Height());
    return {s.Width() / kPx, s.Height() / kPx, e.edge, e.flags};
}

}  // namespace

TEST(LineX, ShapeFollowsOrientationAndStyle) {
    struct Case {
        const char* what;
        int startWidthPx, startHeightPx, orientation, style;
        Drawn want;
    } cases[] = {
        {"new line: horizontal, etched along the top", 100, 2, 0, 0, {100, 2, 6, 2}},
        {"raised frame is 3 pixels", 100, 2, 0, 1, {100, 3, 4, 15}},
        {"vertical etched: 2 wide, at least 10 high", 100, 2, 1, 0, {2, 10, 6, 1}},
        {"vertical keeps a long height", 40, 60, 1, 0, {2, 60, 6, 1}},
        {"style 5 is the sunken frame", 100, 2, 0, 5, {100, 3, 2, 15}},
        {"style 2 is the sunken frame", 30, 30, 1, 2, {3, 30, 2, 15}},
        {"short horizontal grows to 10", 4, 2, 0, 0, {10, 2, 6, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        LineX line;
        line.SetOrientation(c.orientation);
        line.SetStyle(c.style);
        line.Resize(c.startWidthPx * kPx, c.startHeightPx * kPx);
        Drawn d = Look(line);
        EXPECT_EQ(d.widthPx, c.want.widthPx);
        EXPECT_EQ(d.heightPx, c.want.heightPx);
        EXPECT_EQ(d.edge, c.want.edge);
        EXPECT_EQ(d.flags, c.want.flags);
    }
}

TEST(LineX, TurningAShortLineVerticalMakesItTenPixelsHigh) {
    LineX line;
    line.Resize(100 * kPx, 2 * kPx);
    line.SetOrientation(1);
    Drawn d = Look(line);
    EXPECT_EQ(d.widthPx, 2);
    EXPECT_EQ(d.heightPx, 10);
    EXPECT_EQ(d.flags, LineX::kLeft);
}

TEST(LineX, NewInstanceAndStyleBackToEtched) {
    LineX line;
    Drawn d = Look(line);
    EXPECT_EQ(d.heightPx, 2);
    EXPECT_EQ(d.edge, LineX::kEdgeEtched);
    EXPECT_EQ(d.flags, LineX::kTop);
    line.SetStyle(1);
    EXPECT_EQ(line.Thickness(), 3);
    line.SetStyle(0);
    d = Look(line);
    EXPECT_EQ(line.Thickness(), 2);
    EXPECT_EQ(d.heightPx, 2);
    EXPECT_EQ(d.edge, LineX::kEdgeEtched);
}

TEST(LineX, PersistsOnlyWhatDiffersFromTheDefaults) {
    nl::PropertyBag bag;
    LineX plain;
    plain.WriteProperties(bag);
    EXPECT_TRUE(bag.Entries().empty());

    LineX line;
    line.SetOrientation(1);
    line.SetStyle(2);
    line.WriteProperties(bag);
    ASSERT_EQ(bag.Entries().size(), 2u);
    EXPECT_EQ(bag.Entries()[0].first, "style") << "Style is written first";
    EXPECT_EQ(bag.Entries()[1].first, "orientation");

    LineX loaded;
    loaded.ReadProperties(bag);
    EXPECT_EQ(loaded.Orientation(), 1);
    EXPECT_EQ(loaded.style(), 2);
    Drawn d = Look(loaded);
    EXPECT_EQ(d.widthPx, 3) << "loading goes through the setters, which repaint";
    EXPECT_EQ(d.edge, LineX::kSunkenOuter);

    nl::PropertyBag empty;
    LineX fromNothing;
    fromNothing.SetStyle(1);
    fromNothing.ReadProperties(empty);
    EXPECT_EQ(fromNothing.style(), 0);
    EXPECT_EQ(fromNothing.Orientation(), 0);
}
