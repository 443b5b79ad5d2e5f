#include "platform/raster/canvas.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <vector>
#include <algorithm>
#include <utility>

#include "platform/raster/raster.h"
#include "tests/support/golden.h"

namespace quorel::platform {
namespace {

constexpr Color kInk = rgb(0, 0, 0);
constexpr Color kPaper = rgb(255, 255, 255);

using PixelSet = std::set<std::pair<int, int>>;

PixelSet inked(const Bitmap& b) {
    PixelSet s;
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; ++x) {
            if (pixelAt(b, x, y) != kPaper) s.insert({x, y});
        }
    }
    return s;
}

PixelSet line(int w, int h, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, int width) {
    Bitmap b = createBitmap(w, h);
    fillRect(b, {0, 0, w, h}, kPaper);
    drawLine(b, x0, y0, x1, y1, Pen{kInk, width});
    return inked(b);
}

TEST(ThinLines, PaintFromTheStartUpToButNotIncludingTheEnd) {
    const struct {
        std::int64_t x0, y0, x1, y1;
        PixelSet pixels;
    } cases[] = {
        {0, 0, 4, 0, {{0, 0}, {1, 0}, {2, 0}, {3, 0}}},
        {4, 0, 0, 0, {{4, 0}, {3, 0}, {2, 0}, {1, 0}}},
        {2, 5, 2, 2, {{2, 5}, {2, 4}, {2, 3}}},
        {0, 0, 4, 2, {{0, 0}, {1, 1}, {2, 1}, {3, 2}}},  // a half-way minor step rounds forward
        {0, 0, 1, 3, {{0, 0}, {0, 1}, {1, 2}}},
        {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
        {5, 5, 5, 5, {}},                                // no length, no pixel
        {-3, 1, 3, 1, {{0, 1}, {1, 1}, {2, 1}}},         // starts outside
    };
    for (const auto& c : cases) {
        EXPECT_EQ(line(8, 8, c.x0, c.y0, c.x1, c.y1, 1), c.pixels)
            << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
    }
}

TEST(ThinLines, ClosedPolylinePaintsEveryCornerOnce) {
    Bitmap b = createBitmap(6, 6);
    fillRect(b, {0, 0, 6, 6}, kPaper);
    Canvas canvas(b);
    canvas.pen = Pen{kInk, 1};
    moveTo(canvas, 1, 1);
    for (const auto& [x, y] : {std::pair{4, 1}, {4, 4}, {1, 4}, {1, 1}}) lineTo(canvas, x, y);
    EXPECT_EQ(inked(b).size(), 12u);
    EXPECT_TRUE(inked(b).count({1, 1}));
    EXPECT_EQ(canvas.currentX, 1);
    EXPECT_EQ(canvas.currentY, 1);
}

// A line whose ends lie far outside must paint exactly what a short piece of the same
// line paints inside the bitmap.
TEST(Lines, FarAwayEndsDrawTheSameVisiblePart) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    const struct {
        std::int64_t x0, y0, x1, y1;       // far ends
        std::int64_t nx0, ny0, nx1, ny1;   // the same line, near
        int width;
    } cases[] = {
        {-3'000'000'000, -1'000'000'000, 3'000'000'030, 1'000'000'010, 0, 0, 30, 10, 1},
        {-300'000'000'000'000'000, -100'000'000'000'000'000, 30, 10, 0, 0, 30, 10, 1},
        {kMin, 5, kMax, 5, -1, 5, 40, 5, 1},
        {5, kMin, 5, kMax, 5, -1, 5, 40, 1},
        {kMin, kMin, kMax, kMax, -1, -1, 40, 40, 1},  // saturates at +-2^60 on both axes alike
        {-1'000'000'000'000, 5, 1'000'000'000'000, 5, -10, 5, 50, 5, 4},
        {-1'000'000'000, -1'000'000'000 + 3, 1'000'000'000, 1'000'000'000 + 3, -10, -7, 40, 43, 4},
        {-1'000'000'000, -1'000'000'000 + 3, 1'000'000'000, 1'000'000'000 + 3, -10, -7, 40, 43, 3},
        {kMin, 7, kMax, 7, -10, 7, 50, 7, 2},
    };
    for (const auto& c : cases) {
        const PixelSet far = line(30, 12, c.x0, c.y0, c.x1, c.y1, c.width);
        EXPECT_FALSE(far.empty());
        EXPECT_EQ(far, line(30, 12, c.nx0, c.ny0, c.nx1, c.ny1, c.width))
            << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1 << " width " << c.width;
    }
}

TEST(Lines, LinesThatMissTheBitmapPaintNothing) {
    const struct {
        std::int64_t x0, y0, x1, y1;
        int width;
    } cases[] = {
        {-100, 50, 200, 60, 1},  {-100, 50, 200, 60, 6}, {40, -5, 40, 100, 2},
        {-1'000'000, -999'950, 1'000'000, 1'000'050, 1},  // passes below the bitmap's corner
        {-1'000'000, -999'950, 1'000'000, 1'000'050, 4},
    };
    for (const auto& c : cases) EXPECT_TRUE(line(30, 12, c.x0, c.y0, c.x1, c.y1, c.width).empty()) << c.x0;
}

TEST(WideLines, AreExactlyAsThickAsThePenWithRoundEnds) {
    for (int width = 2; width <= 7; ++width) {
        const PixelSet h = line(40, 30, 10, 15, 30, 15, width);
        const PixelSet v = line(40, 30, 20, 5, 20, 25, width);
        int column = 0, row = 0;
        for (const auto& [x, y] : h) column += x == 20;
        for (const auto& [x, y] : v) row += y == 15;
        EXPECT_EQ(column, width) << "horizontal, width " << width;
        EXPECT_EQ(row, width) << "vertical, width " << width;
        // Round ends reach about half the width beyond each end point.
        int right = 0;
        for (const auto& [x, y] : h) right = std::max(right, x);
        EXPECT_EQ(right, 30 + (width - 1) / 2) << width;
    }
    // Width 2: rows y - 1 and y, one extra column at each end.
    PixelSet two;
    for (int y = 4; y <= 5; ++y) {
        for (int x = 1; x <= 10; ++x) two.insert({x, y});
    }
    EXPECT_EQ(line(16, 12, 2, 5, 10, 5, 2), two);
    EXPECT_EQ(line(16, 12, 6, 2, 6, 9, 4).size(), 40u);
    EXPECT_TRUE(line(16, 12, 6, 6, 6, 6, 4).empty());
}

// Short segments are drawn from shapes kept per extent, and a polyline paints each joint
// once; neither may change a pixel. Random segments of every short extent, near and over
// the edges, against the plain row-by-row computation.
TEST(WideLines, ShortSegmentShapesAndJointsPaintTheSamePixels) {
    std::uint32_t seed = 12345;
    const auto next = [&seed](int n) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(n));
    };
    for (int width : {2, 3, 4, 6, 7, 11}) {
        for (int trial = 0; trial < 60; ++trial) {
            Bitmap shaped = createBitmap(48, 40), direct = createBitmap(48, 40), joined = createBitmap(48, 40);
            for (Bitmap* b : {&shaped, &direct, &joined}) fillRect(*b, {0, 0, 48, 40}, kPaper);
            Canvas polyline(joined);
            polyline.pen = Pen{kInk, width};
            std::int64_t x = next(60) - 6, y = next(52) - 6;
            moveTo(polyline, x, y);
            for (int k = 0; k < 8; ++k) {
                const int reach = k % 4 == 3 ? 30 : 13;  // mostly short, some beyond the shapes
                const std::int64_t nx = x + next(2 * reach + 1) - reach, ny = y + next(2 * reach + 1) - reach;
                drawLine(shaped, x, y, nx, ny, Pen{kInk, width});
                detail::drawWideLineWithoutShapes(direct, x, y, nx, ny, Pen{kInk, width});
                lineTo(polyline, nx, ny);
                x = nx;
                y = ny;
            }
            EXPECT_EQ(inked(shaped), inked(direct)) << "width " << width << " trial " << trial;
            EXPECT_EQ(inked(joined), inked(direct)) << "width " << width << " trial " << trial;
        }
    }
}

TEST(WideLines, PenWidthsBelowTwoDrawThin) {
    EXPECT_EQ(line(8, 8, 0, 3, 5, 3, 0), line(8, 8, 0, 3, 5, 3, 1));
    EXPECT_EQ(line(8, 8, 0, 3, 5, 3, -4), line(8, 8, 0, 3, 5, 3, 1));
    EXPECT_FALSE(line(8, 8, 0, 3, 5, 3, std::numeric_limits<int>::max()).empty());
}

TEST(Canvas, LinesIntoDibsUseTheirColourTable) {
    Bitmap dib = createDib(8, 8, 4, std::vector<Color>{kPaper, kInk, rgb(255, 0, 0)});
    fillRect(dib, {0, 0, 8, 8}, kPaper);
    drawLine(dib, 0, 2, 8, 2, Pen{rgb(250, 5, 5), 1});
    drawLine(dib, 0, 5, 8, 5, Pen{kInk, 2});
    EXPECT_EQ(pixelAt(dib, 3, 2), rgb(255, 0, 0));
    EXPECT_EQ(pixelAt(dib, 3, 4), kInk);
    EXPECT_EQ(pixelAt(dib, 3, 3), kPaper);
}

// Pens of width 2 and 4 as the map uses them: tile borders, tracks, the scale bar's
// bracket and a dart-shaped arrow, with a line crossing from far outside.
TEST(PenGolden, WidthsTwoAndFour) {
    Bitmap b = createBitmap(64, 48);
    fillRect(b, {0, 0, 64, 48}, rgb(240, 236, 224));
    Canvas canvas(b);
    canvas.pen = Pen{rgb(255, 0, 0), 2};
    for (const int x : {0, 32}) {
        moveTo(canvas, x, 0);
        lineTo(canvas, x, 48);
    }
    moveTo(canvas, 0, 24);
    lineTo(canvas, 64, 24);
    canvas.pen = Pen{rgb(0, 255, 255), 4};
    moveTo(canvas, 4, 44);
    for (const auto& [x, y] : {std::pair{14, 30}, {22, 34}, {30, 12}, {44, 18}}) lineTo(canvas, x, y);
    canvas.pen = Pen{rgb(255, 0, 255), 4};
    moveTo(canvas, -4'000'000'000LL, -3'000'000'000LL);
    lineTo(canvas, 4'000'000'000LL, 3'000'000'000LL + 40);
    canvas.pen = Pen{kInk, 2};
    moveTo(canvas, 60, 40);
    lineTo(canvas, 60, 44);
    lineTo(canvas, 48, 44);
    lineTo(canvas, 48, 40);
    moveTo(canvas, 54, 6);
    for (const auto& [x, y] : {std::pair{47, 9}, {51, 12}, {50, 5}, {54, 6}}) lineTo(canvas, x, y);
    EXPECT_TRUE(test::matchesGolden(b, "pen_widths"));
}

}  // namespace
}  // namespace quorel::platform
