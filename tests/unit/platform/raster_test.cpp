#include "platform/raster/raster.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace quorel::platform {
namespace {

constexpr Color kRed = rgb(255, 0, 0), kGreen = rgb(0, 255, 0), kBlue = rgb(0, 0, 255);
constexpr Color kGrey = rgb(128, 128, 128);

// Every pixel has its own colour, so a misplaced copy is visible.
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

TEST(Bitmaps, EmptyAndOversizedBitmapsAreRefused) {
    for (const auto& [w, h] : {std::pair{0, 10}, {10, 0}, {-5, 5}, {INT_MAX, INT_MAX}, {1 << 14, 1 << 13}}) {
        EXPECT_FALSE(usableBitmap(createBitmap(w, h))) << w << "x" << h;  // the last: over the pixel budget
    }
    EXPECT_EQ(createBitmap(800, 480).stride, 3200);
    EXPECT_FALSE(createDib(4, 4, 2).valid());  // 2 bits is not a bitmap depth
    EXPECT_FALSE(createDib(4, INT_MIN, 8).valid());
    Bitmap indexed = createDib(4, 4, 8, std::vector<Color>{kRed, kGreen, kBlue});
    setPixel(indexed, 1, 1, rgb(20, 30, 220));  // the nearest entry
    EXPECT_EQ(pixelAt(indexed, 1, 1), kBlue);
}

// Where each layout keeps pixel (x, y): rows bottom-up for a positive height, 4-bit
// pixels high nibble first, 1-bit pixels high bit first, 24-bit pixels blue first, rows
// padded to 4 bytes; colour tables cut or padded to the depth.
TEST(Bitmaps, PixelsLandWhereTheDibLayoutPutsThem) {
    const std::vector<Color> table = {kGrey, kRed, kGreen, kBlue};
    const struct {
        int bpp, height, x, y;
        Color color;
        int stride;
        std::size_t byte;
        std::uint8_t value;
    } cases[] = {
        {8, 3, 2, 0, kBlue, 8, 2 * 8 + 2, 3},       {8, -3, 2, 0, kBlue, 8, 2, 3},
        {4, 3, 1, 2, kGreen, 4, 0, 0x02},           {4, 3, 4, 1, kRed, 4, 4 + 2, 0x10},
        {1, 3, 9, 0, kRed, 4, 2 * 4 + 1, 0x40},     {24, 3, 1, 1, rgb(1, 2, 3), 16, 16 + 3, 3},
        {24, 3, 1, 1, rgb(1, 2, 3), 16, 16 + 5, 1},
    };
    for (const auto& c : cases) {
        Bitmap b = createDib(c.bpp == 1 ? 11 : 5, c.height, c.bpp, table);
        setPixel(b, c.x, c.y, c.color);
        EXPECT_EQ(b.stride, c.stride) << c.bpp;
        ASSERT_LT(c.byte, b.bits.size());
        EXPECT_EQ(b.bits[c.byte], c.value) << "depth " << c.bpp << " byte " << c.byte;
        EXPECT_EQ(pixelAt(b, c.x, c.y), c.color) << "depth " << c.bpp;
    }
    EXPECT_EQ(createDib(3, 3, 1, table).palette, (std::vector<Color>{kGrey, kRed}));
    EXPECT_EQ(createDib(3, 3, 4, table).palette,
              (std::vector<Color>{kGrey, kRed, kGreen, kBlue, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(createDib(3, 3, 24).palette.empty());
}

// The copy a blit makes, worked out pixel by pixel.
Bitmap expectedBlit(const Bitmap& dst, const Bitmap& src, int dx, int dy, int w, int h, int sx, int sy) {
    Bitmap out = dst;
    for (int y = 0; y < dst.height; ++y) {
        for (int x = 0; x < dst.width; ++x) {
            const std::int64_t u = std::int64_t{x} - dx, v = std::int64_t{y} - dy;
            const std::int64_t fx = sx + u, fy = sy + v;
            if (u < 0 || v < 0 || u >= w || v >= h || fx < 0 || fy < 0 || fx >= src.width || fy >= src.height) continue;
            setPixel(out, x, y, pixelAt(src, static_cast<int>(fx), static_cast<int>(fy)));
        }
    }
    return out;
}

// Every depth and row order read through its table (also from an odd column inside
// packed bytes, and with AND, plain and stretched) and written back.
TEST(Blit, ConvertsEveryDibDepthBothWaysAndAnds) {
    const std::vector<Color> table = {rgb(10, 20, 30), rgb(40, 50, 60), rgb(70, 80, 90), rgb(100, 110, 120)};
    for (const int bpp : {1, 4, 8, 24}) {
        for (const int height : {6, -6}) {
            SCOPED_TRACE(testing::Message() << "depth " << bpp << " height " << height);
            Bitmap dib = createDib(13, height, bpp, table), back = dib;
            Bitmap reference = createBitmap(13, 6), anded = numbered(13, 6), stretched = anded, andedWant = anded;
            for (int y = 0; y < 6; ++y) {
                for (int x = 0; x < 13; ++x) {
                    const Color c = bpp == 24 ? rgb(x * 9, y * 40, 7)
                                              : table[static_cast<std::size_t>((x + y) % (bpp == 1 ? 2 : 4))];
                    setPixel(dib, x, y, c);
                    setPixel(reference, x, y, c);
                    setPixel(andedWant, x, y, pixelAt(anded, x, y) & c);
                }
            }
            Bitmap out = filled(13, 6, kGrey), part = filled(4, 2, kGrey);
            blit(out, 0, 0, 13, 6, dib, 0, 0);
            blit(part, 0, 0, 4, 2, dib, 3, 1);
            blit(anded, 0, 0, 13, 6, dib, 0, 0, RasterOp::SrcAnd);
            stretchBlit(stretched, 0, 0, 13, 6, dib, 0, 0, 13, 6, RasterOp::SrcAnd);
            blit(back, 0, 0, 13, 6, reference, 0, 0);
            EXPECT_EQ(out.bits, reference.bits);
            EXPECT_EQ(part.bits, expectedBlit(filled(4, 2, kGrey), reference, 0, 0, 4, 2, 3, 1).bits);
            EXPECT_EQ(anded.bits, andedWant.bits);
            EXPECT_EQ(stretched.bits, andedWant.bits);
            EXPECT_EQ(back.bits, dib.bits);
        }
    }
}

TEST(Blit, ClipsAgainstBothBitmapsWhereverTheRectanglesLie) {
    const Bitmap src = numbered(7, 5);
    const struct {
        int dx, dy, w, h, sx, sy;
    } cases[] = {
        {0, 0, 7, 5, 0, 0},
        {2, 1, 3, 2, 1, 1},
        {-3, -2, 7, 5, 0, 0},
        {6, 4, 10, 10, 0, 0},
        {0, 0, 7, 5, -2, -3},
        {1, 1, 9, 9, 5, 3},
        {-100, 0, 7, 5, 0, 0},
        {0, 0, 7, 5, 7, 0},
        {3, 3, 0, 4, 0, 0},
        {3, 3, -4, 4, 0, 0},
        {INT_MAX, 0, 5, 5, 0, 0},
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX, 0, 0},
        {0, 0, INT_MAX, INT_MAX, INT_MIN, INT_MIN},
        {2, 2, INT_MAX, INT_MAX, -1, -1},
    };
    for (const auto& c : cases) {
        Bitmap dst = filled(9, 6, kGrey);
        const Bitmap want = expectedBlit(dst, src, c.dx, c.dy, c.w, c.h, c.sx, c.sy);
        blit(dst, c.dx, c.dy, c.w, c.h, src, c.sx, c.sy);
        EXPECT_EQ(dst.bits, want.bits) << c.dx << "," << c.dy << " " << c.w << "x" << c.h << " from " << c.sx << ","
                                       << c.sy;
    }
}

TEST(Blit, OverlappingCopiesWithinOneBitmapReadTheOriginalPixels) {
    const Bitmap before = numbered(6, 4);
    Bitmap b = before;
    blit(b, 1, 1, 5, 3, b, 0, 0);
    EXPECT_EQ(b.bits, expectedBlit(before, before, 1, 1, 5, 3, 0, 0).bits);
    stretchBlit(b, 6, 0, -6, 4, b, 0, 0, 6, 4);
    EXPECT_EQ(pixelAt(b, 0, 0), pixelAt(before, 5, 0));
}

// One row of a stretch from a source of the given depth, as the letters of its source
// pixels ('.' untouched).
std::string stretchRow(int bpp, int srcW, int dstW, int dx, int dw, int sx, int sw) {
    std::vector<Color> letters;
    for (int x = 0; x < srcW; ++x) letters.push_back(rgb(0, 0, 'A' + x));
    Bitmap src = bpp == 32 ? createBitmap(srcW, 1) : createDib(srcW, 1, bpp, letters);
    for (int x = 0; x < srcW; ++x) setPixel(src, x, 0, letters[static_cast<std::size_t>(x)]);
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
        {4, 4, 0, 4, 0, 4, "ABCD"},
        {4, 4, 4, -4, 0, 4, "DCBA"},  // destination mirrored: covers 0..3
        {4, 4, 0, 4, 4, -4, "DCBA"},
        {4, 4, 4, -4, 4, -4, "ABCD"},  // source mirrored; both
        {2, 4, 0, 4, 0, 2, "AABB"},
        {4, 2, 0, 2, 0, 4, "BD"},  // reduced: centres of the pairs
        {3, 6, 6, -6, 0, 3, "CCBBAA"},
        {5, 3, 0, 3, 0, 5, "ACE"},
        {4, 6, 1, 4, 0, 4, ".ABCD."},
        {4, 4, -2, 4, 0, 4, "CD.."},
        {4, 4, 2, -4, 0, 4, "BA.."},
        {4, 4, 0, 4, 2, 4, "CD.."},
        {4, 4, 0, 4, -2, 4, "..AB"},  // the source runs off its edges
        {4, 4, 0, 0, 0, 4, "...."},
        {4, 4, 0, 4, 0, 0, "...."},
        {4, 4, INT_MIN, INT_MAX, 0, 4, "...."},
        {4, 4, 0, INT_MAX, 0, INT_MAX, "ABCD"},
        {4, 4, INT_MAX, INT_MIN + 1, 0, 4, "DDDD"},  // the far end of an enormous mirrored run
    };
    for (const int bpp : {32, 24, 8}) {
        for (const auto& c : cases) {
            EXPECT_EQ(stretchRow(bpp, c.srcW, c.dstW, c.dx, c.dw, c.sx, c.sw), c.row)
                << bpp << ": " << c.dx << " " << c.dw;
        }
    }
}

}  // namespace
}  // namespace quorel::platform
