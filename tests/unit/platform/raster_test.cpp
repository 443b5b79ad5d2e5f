#include "platform/raster/raster.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <string>
#include <cstdint>
#include <vector>

namespace quorel::platform {
namespace {

constexpr Color kRed = rgb(255, 0, 0);
constexpr Color kGreen = rgb(0, 255, 0);
constexpr Color kBlue = rgb(0, 0, 255);
constexpr Color kGrey = rgb(128, 128, 128);

// A bitmap whose every pixel has its own colour, so a misplaced copy is visible.
Bitmap numbered(int w, int h) {
    Bitmap b = createBitmap(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) setPixel(b, x, y, rgb(x + 1, y + 1, 200));
    }
    return b;
}

Bitmap filled(int w, int h, Color c) {
    Bitmap b = createBitmap(w, h);
    fillRect(b, {0, 0, w, h}, c);
    return b;
}

TEST(Bitmaps, CreationRefusesEmptyAndOversizedRequests) {
    const struct {
        int w, h;
        bool valid;
    } cases[] = {
        {1, 1, true}, {800, 480, true}, {0, 10, false}, {10, 0, false}, {-5, 5, false},
        {INT_MAX, INT_MAX, false}, {1 << 14, 1 << 13, false},  // 2^27 pixels: over the budget
    };
    for (const auto& c : cases) {
        const Bitmap b = createBitmap(c.w, c.h);
        EXPECT_EQ(b.valid(), c.valid) << c.w << "x" << c.h;
        EXPECT_EQ(usableBitmap(b), c.valid) << c.w << "x" << c.h;
        if (c.valid) {
            EXPECT_EQ(b.stride, c.w * 4);
            EXPECT_EQ(pixelAt(b, c.w - 1, c.h - 1), 0u);
        }
    }
    EXPECT_FALSE(createDib(4, 4, 2).valid());  // 2 bits is not a bitmap depth
    EXPECT_FALSE(createDib(4, INT_MIN, 8).valid());
}

TEST(Bitmaps, DibTablesArePaddedOrCutToTheDepth) {
    const std::vector<Color> three = {kRed, kGreen, kBlue};
    EXPECT_EQ(createDib(3, 3, 1, three).palette, (std::vector<Color>{kRed, kGreen}));
    const Bitmap four = createDib(3, 3, 4, three);
    ASSERT_EQ(four.palette.size(), 16u);
    EXPECT_EQ(four.palette[2], kBlue);
    EXPECT_EQ(four.palette[3], 0u);
    EXPECT_TRUE(createDib(3, 3, 24).palette.empty());
}

// Where each layout keeps pixel (x, y), checked byte by byte: rows bottom-up for a
// positive height, 4-bit pixels high nibble first, 1-bit pixels high bit first, 24-bit
// pixels blue, green, red, rows padded to 4 bytes.
TEST(Bitmaps, PixelsLandWhereTheDibLayoutPutsThem) {
    const std::vector<Color> table = {kGrey, kRed, kGreen, kBlue};
    const struct {
        int bpp;
        int height;  // sign chooses the row order
        int x, y;
        Color color;
        int stride;
        std::size_t byte;
        std::uint8_t value;
    } cases[] = {
        {8, 3, 2, 0, kBlue, 8, 2 * 8 + 2, 3},     // bottom-up: row 0 is the last in memory
        {8, -3, 2, 0, kBlue, 8, 2, 3},            // top-down
        {4, 3, 1, 2, kGreen, 4, 0, 0x02},         // x = 1: low nibble; y = 2: first row
        {4, 3, 4, 1, kRed, 4, 4 + 2, 0x10},       // x = 4: high nibble of byte 2
        {1, 3, 9, 0, kRed, 4, 2 * 4 + 1, 0x40},   // x = 9: bit 6 of byte 1
        {24, 3, 1, 1, rgb(1, 2, 3), 16, 16 + 3, 3},  // 15 bytes padded to 16; blue first
        {24, 3, 1, 1, rgb(1, 2, 3), 16, 16 + 5, 1},  // red last
    };
    for (const auto& c : cases) {
        Bitmap b = createDib(c.bpp == 1 ? 11 : 5, c.height, c.bpp, table);
        setPixel(b, c.x, c.y, c.color);
        EXPECT_EQ(b.stride, c.stride) << c.bpp;
        ASSERT_LT(c.byte, b.bits.size());
        EXPECT_EQ(b.bits[c.byte], c.value) << "depth " << c.bpp << " byte " << c.byte;
        EXPECT_EQ(pixelAt(b, c.x, c.y), c.color) << "depth " << c.bpp;
    }
}

TEST(Bitmaps, PaletteWritesTakeTheNearestEntryAndReadsOutsideAreBlack) {
    Bitmap b = createDib(4, 4, 8, std::vector<Color>{kRed, kGreen, kBlue});
    setPixel(b, 1, 1, rgb(20, 30, 220));
    EXPECT_EQ(pixelAt(b, 1, 1), kBlue);
    EXPECT_EQ(pixelAt(b, -1, 0), 0u);
    EXPECT_EQ(pixelAt(b, 4, 0), 0u);
    setPixel(b, 99, 99, kRed);  // ignored
    // A hand-made record with a short table: indices beyond it read black.
    Bitmap shortTable = b;
    shortTable.palette.resize(2);
    EXPECT_EQ(pixelAt(shortTable, 1, 1), 0u);
    Bitmap broken = b;
    broken.bits.resize(3);
    EXPECT_FALSE(usableBitmap(broken));
    EXPECT_EQ(pixelAt(broken, 0, 0), 0u);
    fillRect(broken, {0, 0, 4, 4}, kRed);
}

// The copy a blit makes, worked out pixel by pixel.
Bitmap expectedBlit(const Bitmap& dst, const Bitmap& src, int dx, int dy, int w, int h, int sx, int sy) {
    Bitmap out = dst;
    for (int y = 0; y < dst.height; ++y) {
        for (int x = 0; x < dst.width; ++x) {
            const std::int64_t u = std::int64_t{x} - dx, v = std::int64_t{y} - dy;
            if (u < 0 || v < 0 || u >= w || v >= h) continue;
            const std::int64_t fx = sx + u, fy = sy + v;
            if (fx < 0 || fy < 0 || fx >= src.width || fy >= src.height) continue;
            setPixel(out, x, y, pixelAt(src, static_cast<int>(fx), static_cast<int>(fy)));
        }
    }
    return out;
}

TEST(Blit, ClipsAgainstBothBitmapsWhereverTheRectanglesLie) {
    const Bitmap src = numbered(7, 5);
    const struct {
        int dx, dy, w, h, sx, sy;
    } cases[] = {
        {0, 0, 7, 5, 0, 0},        {2, 1, 3, 2, 1, 1},          {-3, -2, 7, 5, 0, 0},      {6, 4, 10, 10, 0, 0},
        {0, 0, 7, 5, -2, -3},      {1, 1, 9, 9, 5, 3},          {-100, 0, 7, 5, 0, 0},     {0, 0, 7, 5, 7, 0},
        {3, 3, 0, 4, 0, 0},        {3, 3, -4, 4, 0, 0},         {INT_MAX, 0, 5, 5, 0, 0},  {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0},
        {0, 0, INT_MAX, INT_MAX, INT_MIN, INT_MIN}, {2, 2, INT_MAX, INT_MAX, -1, -1},
    };
    for (const auto& c : cases) {
        Bitmap dst = filled(9, 6, kGrey);
        const Bitmap want = expectedBlit(dst, src, c.dx, c.dy, c.w, c.h, c.sx, c.sy);
        blit(dst, c.dx, c.dy, c.w, c.h, src, c.sx, c.sy);
        EXPECT_EQ(dst.bits, want.bits) << c.dx << "," << c.dy << " " << c.w << "x" << c.h << " from " << c.sx << ","
                                       << c.sy;
    }
}

TEST(Blit, ConvertsEveryDibDepthThroughItsColourTable) {
    const std::vector<Color> table = {rgb(10, 20, 30), rgb(40, 50, 60), rgb(70, 80, 90), rgb(100, 110, 120)};
    for (const int bpp : {1, 4, 8, 24}) {
        for (const int height : {6, -6}) {
            Bitmap dib = createDib(13, height, bpp, table);
            Bitmap reference = createBitmap(13, 6);
            for (int y = 0; y < 6; ++y) {
                for (int x = 0; x < 13; ++x) {
                    const Color c = bpp == 24 ? rgb(x * 9, y * 40, 7) : table[static_cast<std::size_t>((x + y) % (bpp == 1 ? 2 : 4))];
                    setPixel(dib, x, y, c);
                    setPixel(reference, x, y, c);
                }
            }
            Bitmap out = filled(13, 6, kGrey);
            blit(out, 0, 0, 13, 6, dib, 0, 0);
            EXPECT_EQ(out.bits, reference.bits) << "depth " << bpp << " height " << height;
            EXPECT_EQ(toBitmap32(dib).bits, reference.bits) << "depth " << bpp;
            // An odd starting column inside packed bytes.
            Bitmap part = filled(4, 2, kGrey);
            blit(part, 0, 0, 4, 2, dib, 3, 1);
            for (int x = 0; x < 4; ++x) EXPECT_EQ(pixelAt(part, x, 1), pixelAt(reference, 3 + x, 2)) << bpp;
        }
    }
}

TEST(Blit, AndKeepsTheDestinationUnderWhiteAndDarkensElsewhere) {
    Bitmap dst = numbered(4, 1);
    const Bitmap before = dst;
    Bitmap sprite = filled(4, 1, rgb(255, 255, 255));
    setPixel(sprite, 1, 0, rgb(255, 0, 0));
    setPixel(sprite, 2, 0, 0);
    blit(dst, 0, 0, 4, 1, sprite, 0, 0, RasterOp::SrcAnd);
    EXPECT_EQ(pixelAt(dst, 0, 0), pixelAt(before, 0, 0));
    EXPECT_EQ(pixelAt(dst, 1, 0), pixelAt(before, 1, 0) & kRed);
    EXPECT_EQ(pixelAt(dst, 2, 0), 0u);
    EXPECT_EQ(pixelAt(dst, 3, 0), pixelAt(before, 3, 0));
}

TEST(Blit, WritesIntoDibTargets) {
    Bitmap rgb24 = createDib(3, 2, 24);
    blit(rgb24, 0, 0, 3, 2, numbered(3, 2), 0, 0);
    EXPECT_EQ(pixelAt(rgb24, 2, 1), rgb(3, 2, 200));
    Bitmap indexed = createDib(3, 2, 4, std::vector<Color>{0, kRed, rgb(255, 255, 255)});
    fillRect(indexed, {0, 0, 3, 2}, rgb(255, 255, 255));
    blit(indexed, 0, 0, 3, 2, filled(3, 2, rgb(250, 10, 10)), 0, 0, RasterOp::SrcAnd);
    EXPECT_EQ(pixelAt(indexed, 1, 1), kRed);
}

TEST(Blit, OverlappingCopiesWithinOneBitmapReadTheOriginalPixels) {
    Bitmap b = numbered(6, 4);
    const Bitmap before = b;
    blit(b, 1, 1, 5, 3, b, 0, 0);
    for (int y = 1; y < 4; ++y) {
        for (int x = 1; x < 6; ++x) EXPECT_EQ(pixelAt(b, x, y), pixelAt(before, x - 1, y - 1));
    }
    stretchBlit(b, 6, 0, -6, 4, b, 0, 0, 6, 4);
    EXPECT_EQ(pixelAt(b, 0, 0), pixelAt(before, 5, 0));
}

// One row of a stretch as the letters of its source pixels ('.' untouched).
std::string stretchRow(int srcW, int dstW, int dx, int dw, int sx, int sw) {
    Bitmap src = createBitmap(srcW, 1);
    for (int x = 0; x < srcW; ++x) setPixel(src, x, 0, rgb(0, 0, 'A' + x));
    Bitmap dst = filled(dstW, 1, rgb(0, 0, '.'));
    stretchBlit(dst, dx, 0, dw, 1, src, sx, 0, sw, 1);
    std::string row;
    for (int x = 0; x < dstW; ++x) row.push_back(static_cast<char>(blueOf(pixelAt(dst, x, 0))));
    return row;
}

TEST(Stretch, NearestNeighbourWithMirroringByNegativeExtents) {
    const struct {
        int srcW, dstW, dx, dw, sx, sw;
        const char* row;
    } cases[] = {
        {4, 4, 0, 4, 0, 4, "ABCD"},      // plain copy
        {4, 4, 4, -4, 0, 4, "DCBA"},     // destination mirrored: covers 0..3 from the right
        {4, 4, 0, 4, 4, -4, "DCBA"},     // source mirrored
        {4, 4, 4, -4, 4, -4, "ABCD"},    // both: no mirror
        {2, 4, 0, 4, 0, 2, "AABB"},      // enlarged
        {4, 2, 0, 2, 0, 4, "BD"},        // reduced: centres of the source pairs
        {3, 6, 6, -6, 0, 3, "CCBBAA"},
        {5, 3, 0, 3, 0, 5, "ACE"},
        {4, 6, 1, 4, 0, 4, ".ABCD."},    // inside a wider row
        {4, 4, -2, 4, 0, 4, "CD.."},     // partly left of the bitmap
        {4, 4, 2, -4, 0, 4, "BA.."},     // mirrored, partly outside
        {4, 4, 0, 4, 2, 4, "CD.."},      // source runs off its right edge: untouched
        {4, 4, 0, 4, -2, 4, "..AB"},     // and off its left edge
        {4, 4, 0, 0, 0, 4, "...."},      // empty extents draw nothing
        {4, 4, 0, 4, 0, 0, "...."},
        {4, 4, INT_MIN, INT_MAX, 0, 4, "...."},
        {4, 4, 0, INT_MAX, 0, INT_MAX, "ABCD"},
        {4, 4, INT_MAX, INT_MIN + 1, 0, 4, "DDDD"},  // the far end of an enormous mirrored run
    };
    for (const auto& c : cases) {
        EXPECT_EQ(stretchRow(c.srcW, c.dstW, c.dx, c.dw, c.sx, c.sw), c.row)
            << c.srcW << "->" << c.dstW << " at " << c.dx << " dw " << c.dw << " sx " << c.sx << " sw " << c.sw;
    }
}

TEST(Stretch, EnlargesAPaletteTileQuarterAndAndsOntoItself) {
    // The coarser-tile substitute: a 2x2 corner of a 4-bit tile blown up to 4x4.
    Bitmap tile = createDib(4, 4, 4, std::vector<Color>{kRed, kGreen, kBlue, kGrey});
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) setPixel(tile, x, y, std::vector<Color>{kRed, kGreen, kBlue, kGrey}[(x + 2 * y) % 4]);
    }
    Bitmap out = createBitmap(4, 4);
    stretchBlit(out, 0, 0, 4, 4, tile, 2, 2, 2, 2);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) EXPECT_EQ(pixelAt(out, x, y), pixelAt(tile, 2 + x / 2, 2 + y / 2));
    }
    Bitmap anded = filled(4, 4, rgb(255, 255, 255));
    stretchBlit(anded, 0, 0, 4, 4, tile, 0, 0, 4, 4, RasterOp::SrcAnd);
    EXPECT_EQ(toBitmap32(anded).bits, toBitmap32(tile).bits);
}

TEST(Polygon, PixelCentresDecideAndHugeCoordinatesAreSafe) {
    Bitmap b = filled(8, 8, 0);
    const PointF square[] = {{1, 1}, {5, 1}, {5, 4}, {1, 4}};
    fillPolygon(b, square, kRed);
    int painted = 0;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool inside = x >= 1 && x < 5 && y >= 1 && y < 4;
            EXPECT_EQ(pixelAt(b, x, y) == kRed, inside) << x << "," << y;
            painted += pixelAt(b, x, y) == kRed;
        }
    }
    EXPECT_EQ(painted, 12);
    const PointF huge[] = {{-1e300, -1e300}, {1e300, -1e300}, {1e300, 1e300}, {-1e300, 1e300}};
    fillPolygon(b, huge, kBlue);
    EXPECT_EQ(pixelAt(b, 7, 7), kBlue);
    const PointF nan[] = {{0, 0}, {std::numeric_limits<double>::quiet_NaN(), 3}, {3, 3}};
    fillPolygon(b, nan, kGreen);
    EXPECT_EQ(pixelAt(b, 0, 0), kBlue);
}

}  // namespace
}  // namespace quorel::platform
