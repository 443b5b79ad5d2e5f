#include "platform/raster/canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <set>
#include <utility>
#include <vector>

#include "platform/raster/raster.h"

namespace quorel::platform {
namespace {

constexpr Color kInk = rgb(0, 0, 0);
constexpr Color kPaper = rgb(255, 255, 255);

using PixelSet = std::set<std::pair<int, int>>;

Bitmap paper(int w, int h) {
    Bitmap b = createBitmap(w, h);
    fillRect(b, {0, 0, w, h}, kPaper);
    return b;
}

PixelSet inked(const Bitmap& b) {
    PixelSet s;
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; ++x) {
            if (pixelAt(b, x, y) != kPaper) s.insert({x, y});
        }
    }
    return s;
}

// The pixels one line paints; a 1-bit bottom-up bitmap, written pixel by pixel, must get
// the same ones as the 32-bit one.
PixelSet line(int w, int h, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, int width) {
    Bitmap b = paper(w, h);
    Bitmap dib = createDib(w, h, 1, std::vector<Color>{kInk, kPaper});
    fillRect(dib, {0, 0, w, h}, kPaper);
    drawLine(b, x0, y0, x1, y1, Pen{kInk, width});
    drawLine(dib, x0, y0, x1, y1, Pen{kInk, width});
    EXPECT_EQ(inked(dib), inked(b)) << x0 << "," << y0 << " -> " << x1 << "," << y1 << " width " << width;
    return inked(b);
}

// A line whose ends lie far outside must paint exactly what a short piece of the same
// line paints inside the bitmap.
TEST(Lines, FarAwayEndsDrawTheSameVisiblePart) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    const struct {
        std::int64_t x0, y0, x1, y1;      // far ends
        std::int64_t nx0, ny0, nx1, ny1;  // the same line, near
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
            << c.x0 << "," << c.y0 << " width " << c.width;
    }
    for (const int width : {1, 4}) {  // passing just below the bitmap's corner
        EXPECT_TRUE(line(30, 12, -1'000'000, -999'950, 1'000'000, 1'000'050, width).empty()) << width;
    }
}

TEST(WideLines, AreExactlyAsThickAsThePenWithRoundEnds) {
    for (int width = 2; width <= 7; ++width) {
        const PixelSet h = line(40, 30, 10, 15, 30, 15, width);
        const PixelSet v = line(40, 30, 20, 5, 20, 25, width);
        int column = 0, row = 0, right = 0;
        for (const auto& [x, y] : h) column += x == 20, right = std::max(right, x);
        for (const auto& [x, y] : v) row += y == 15;
        EXPECT_EQ(column, width) << "horizontal, width " << width;
        EXPECT_EQ(row, width) << "vertical, width " << width;
        EXPECT_EQ(right, 30 + (width - 1) / 2) << width;  // the round end reaches about half the width beyond
    }
    EXPECT_EQ(line(16, 12, 6, 2, 6, 9, 4).size(), 40u);
    EXPECT_TRUE(line(16, 12, 6, 6, 6, 6, 4).empty());
    EXPECT_FALSE(line(8, 8, 0, 3, 5, 3, std::numeric_limits<int>::max()).empty());
}

// Short wide segments are drawn from kept shapes and polyline joints are painted once;
// both must paint what the row-by-row computation of every segment paints. So must the
// polyline marked in a coverage and painted at the end onto a bottom-up 24-bit bitmap,
// and the coverage must know which boxes it covers wholly.
TEST(WideLines, ShortSegmentShapesAndJointsPaintTheSamePixels) {
    std::uint32_t seed = 12345;
    const auto next = [&seed](int n) {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int>((seed >> 8) % static_cast<std::uint32_t>(n));
    };
    for (int width : {2, 3, 4, 6, 7, 11}) {
        for (int trial = 0; trial < 60; ++trial) {
            Bitmap shaped = paper(48, 40), direct = paper(48, 40), joined = paper(48, 40);
            Bitmap covered = createDib(48, 40, 24);
            fillRect(covered, {0, 0, 48, 40}, kPaper);
            Coverage marks(48, 40);
            Canvas polyline(joined), marked(covered);
            polyline.pen = marked.pen = Pen{kInk, width};
            marked.coverage = &marks;
            std::int64_t x = next(60) - 6, y = next(52) - 6;
            moveTo(polyline, x, y);
            moveTo(marked, x, y);
            for (int k = 0; k < 8; ++k) {
                const int reach = k % 4 == 3 ? 30 : 13;  // mostly short, some beyond the shapes
                const std::int64_t nx = x + next(2 * reach + 1) - reach, ny = y + next(2 * reach + 1) - reach;
                drawLine(shaped, x, y, nx, ny, Pen{kInk, width});
                detail::drawWideLineWithoutShapes(direct, x, y, nx, ny, Pen{kInk, width});
                lineTo(polyline, nx, ny);
                lineTo(marked, nx, ny);
                x = nx;
                y = ny;
            }
            EXPECT_EQ(inked(shaped), inked(direct)) << "width " << width << " trial " << trial;
            EXPECT_EQ(inked(joined), inked(direct)) << "width " << width << " trial " << trial;
            const PixelSet ink = inked(direct);
            for (int box = 0; box < 20; ++box) {
                const int left = next(56) - 4, top = next(48) - 4, right = left + next(20), bottom = top + next(20);
                bool all = true;
                for (int py = std::max(top, 0); py < std::min(bottom, 40); ++py) {
                    for (int px = std::max(left, 0); px < std::min(right, 48); ++px) {
                        all = all && ink.count({px, py}) > 0;
                    }
                }
                EXPECT_EQ(marks.covers({left, top, right, bottom}), all)
                    << left << "," << top << " " << right << "," << bottom;
            }
            marks.paintOnto(covered, kInk);
            EXPECT_EQ(inked(covered), ink) << "width " << width << " trial " << trial;
        }
    }
}

}  // namespace
}  // namespace quorel::platform
