#include "platform/raster/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <system_error>
#include <string>
#include <vector>

#include "platform/raster/raster.h"
#include "tests/support/golden.h"

namespace quorel::platform {
namespace {

constexpr Color kPaper = rgb(255, 255, 255);

Bitmap paper(int w, int h) {
    Bitmap b = createBitmap(w, h);
    fillRect(b, {0, 0, w, h}, kPaper);
    return b;
}

Rect measure(int height, const std::string& text, unsigned flags = 0) {
    Bitmap b = paper(4, 4);
    Canvas canvas(b);
    canvas.font.height = height;
    Rect r{10, 20, 10, 20};
    drawText(canvas, text, r, flags | kTextCalcRect);
    return r;
}

TEST(Fonts, TheProgramsFaceNameResolvesToTheInstalledMincho) {
    // Debian may reach the file through an alternatives link.
    const auto file = [](const char* face) {
        std::error_code ec;
        return std::filesystem::canonical(fontFileFor(face), ec).filename().string();
    };
    EXPECT_EQ(file("ＭＳ 明朝"), "ipam.ttf") << fontFileFor("ＭＳ 明朝");
    EXPECT_EQ(file("MS Mincho"), "ipam.ttf");
    EXPECT_FALSE(fontFileFor("No Such Face Anywhere").empty());  // some fallback face
}

TEST(Fonts, PositiveHeightsAreCellHeightsNegativeOnesEmSizes) {
    for (const int height : {16, 20, 22, 33}) {
        const auto m = fontMetrics(Font{height, 400, "ＭＳ 明朝"});
        ASSERT_TRUE(m.has_value());
        EXPECT_NEAR(m->lineHeight, height, 1) << height;
        EXPECT_EQ(m->lineHeight, m->ascent + m->descent);
        EXPECT_GT(m->ascent, m->descent);
    }
    const auto em = fontMetrics(Font{-20, 400, "ＭＳ 明朝"});
    ASSERT_TRUE(em.has_value());
    EXPECT_EQ(em->pixelsPerEm, 20);
    EXPECT_EQ(fontMetrics(Font{0, 400, "ＭＳ 明朝"})->lineHeight, fontMetrics(Font{16, 400, "ＭＳ 明朝"})->lineHeight);
    for (const int absurd : {INT_MAX, INT_MIN, -1, 1}) {
        const auto m = fontMetrics(Font{absurd, 400, "ＭＳ 明朝"});
        ASSERT_TRUE(m.has_value()) << absurd;
        EXPECT_GE(m->pixelsPerEm, 1);
        EXPECT_LE(m->pixelsPerEm, 512);
    }
}

TEST(Text, CalcRectMeasuresLinesAndAdvances) {
    const int line = fontMetrics(Font{22, 400, "ＭＳ 明朝"})->lineHeight;
    const struct {
        std::string text;
        unsigned flags;
        int lines;
    } cases[] = {
        {"1000M", 0, 1}, {"a\nb", 0, 2}, {"a\r\nb", 0, 2}, {"a\rb\n", 0, 3}, {"a\nb", kTextSingleLine, 1}, {"", 0, 0},
    };
    for (const auto& c : cases) {
        const Rect r = measure(22, c.text, c.flags);
        EXPECT_EQ(r.top, 20);
        EXPECT_EQ(r.left, 10);
        EXPECT_EQ(r.height(), c.lines * line) << c.text;
    }
    EXPECT_EQ(measure(22, "").width(), 0);
    // Full-width characters of a Mincho face are twice as wide as half-width ones.
    EXPECT_EQ(measure(22, "地図").width(), 2 * measure(22, "ab").width());
    EXPECT_EQ(measure(22, "ab\nabcd").width(), measure(22, "abcd").width());
    EXPECT_GT(measure(22, "1000M").width(), measure(16, "1000M").width());
    // Invalid UTF-8 still measures (each stray byte is one character).
    EXPECT_GT(measure(16, std::string("\xff\xfe", 2)).width(), 0);
}

TEST(Text, DrawingStaysInsideTheRectangleAndTheBitmap) {
    const struct {
        Rect rect;
        unsigned flags;
    } cases[] = {
        {{5, 5, 60, 18}, 0},        // the status-line case: a 22-pixel font in 13 rows
        {{-30, -10, 20, 8}, 0},      // partly off the top-left corner
        {{70, 30, 200, 200}, 0},     // off the bottom-right
        {{40, 10, 30, 40}, 0},       // inverted: nothing
        {{INT_MIN, INT_MIN, INT_MAX, INT_MAX}, 0},
        {{INT_MAX - 5, 0, INT_MAX, 40}, 0},
    };
    for (const auto& c : cases) {
        Bitmap b = paper(80, 40);
        Canvas canvas(b);
        canvas.font.height = 22;
        canvas.backgroundMode = BackgroundMode::Transparent;
        Rect r = c.rect;
        drawText(canvas, "地図 1000M\nQuorel", r, c.flags);
        EXPECT_EQ(r, c.rect);  // drawing leaves the rectangle alone
        for (int y = 0; y < 40; ++y) {
            for (int x = 0; x < 80; ++x) {
                const bool inside = x >= c.rect.left && x < c.rect.right && y >= c.rect.top && y < c.rect.bottom;
                if (!inside) {
                    ASSERT_EQ(pixelAt(b, x, y), kPaper) << x << "," << y << " rect " << c.rect.left;
                }
            }
        }
    }
    Bitmap b = paper(80, 40);
    Canvas canvas(b);
    Rect tiny{2, 2, 4, 4};
    drawText(canvas, "Quorel", tiny, kTextNoClip);
    bool outside = false;
    for (int x = 10; x < 80; ++x) outside = outside || pixelAt(b, x, 10) != kPaper;
    EXPECT_TRUE(outside);
}

TEST(Text, OpaqueModeFillsTheExtentTransparentModeOnlyInks) {
    for (const bool opaque : {true, false}) {
        Bitmap b = paper(60, 30);
        Canvas canvas(b);
        canvas.font.height = 16;
        canvas.textColor = rgb(0, 0, 255);
        canvas.backgroundColor = rgb(255, 255, 0);
        canvas.backgroundMode = opaque ? BackgroundMode::Opaque : BackgroundMode::Transparent;
        Rect r{2, 2, 58, 28};
        drawText(canvas, "i i", r);
        Rect extent = r;
        drawText(canvas, "i i", extent, kTextCalcRect);
        int yellow = 0, blueish = 0;
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 60; ++x) {
                const Color c = pixelAt(b, x, y);
                yellow += c == rgb(255, 255, 0);
                blueish += blueOf(c) > redOf(c) + 100;
                const bool inExtent = x >= extent.left && x < extent.right && y >= extent.top && y < extent.bottom;
                if (!inExtent) {
                    ASSERT_EQ(c, kPaper);
                }
            }
        }
        EXPECT_GT(blueish, 5);
        if (opaque) {
            EXPECT_GT(yellow, extent.width() * extent.height() / 2);
        } else {
            EXPECT_EQ(yellow, 0);
        }
    }
}

TEST(Text, DrawsIntoDibTargets) {
    for (const int bpp : {24, 8}) {
        Bitmap b = createDib(60, 24, bpp, std::vector<Color>{kPaper, rgb(255, 0, 0)});
        fillRect(b, {0, 0, 60, 24}, kPaper);
        Canvas canvas(b);
        canvas.textColor = rgb(255, 0, 0);
        Rect r{0, 0, 60, 24};
        drawText(canvas, "XX", r);
        int red = 0;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 60; ++x) red += redOf(pixelAt(b, x, y)) > greenOf(pixelAt(b, x, y)) + 100;
        }
        EXPECT_GT(red, 4) << bpp;
    }
}

// The three heights the map uses, in the program's face: each text measured first and
// its measured rectangle framed, then drawn; the last line in an 18-pixel rectangle
// as the status lines are, so its bottom is cut.
TEST(TextGolden, MinchoAtSixteenTwentyAndTwentyTwo) {
    Bitmap b = paper(200, 92);
    Canvas canvas(b);
    canvas.backgroundMode = BackgroundMode::Transparent;
    int top = 2;
    const struct {
        int height;
        Color color;
        const char* text;
    } lines[] = {
        {16, rgb(0, 0, 0), "1000M 500M 25M 1K"},
        {20, rgb(255, 0, 0), "14 X 地図"},
        {22, rgb(0, 0, 255), "lat36.62159 1.0Km"},
    };
    for (const auto& line : lines) {
        canvas.font.height = line.height;
        canvas.textColor = line.color;
        Rect r{3, top, 3 + 50, top + 25};
        drawText(canvas, line.text, r, kTextCalcRect);
        fillRect(b, {r.left, r.top, r.right, r.top + 1}, rgb(160, 200, 255));
        fillRect(b, {r.left, r.bottom - 1, r.right, r.bottom}, rgb(160, 200, 255));
        drawText(canvas, line.text, r);
        top = r.bottom + 2;
    }
    canvas.font.height = 22;
    canvas.textColor = rgb(0, 0, 255);
    Rect status{3, top, 197, top + 18};
    drawText(canvas, "PNGﾌｧｲﾙでありません", status);
    EXPECT_TRUE(test::matchesGolden(b, "text_mincho"));
}

}  // namespace
}  // namespace quorel::platform
