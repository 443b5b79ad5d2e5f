#include "platform/raster/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "platform/message_box.h"
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

// How many pixels outside rect are not paper.
int inkedOutside(const Bitmap& b, const Rect& rect) {
    int n = 0;
    for (int y = 0; y < b.height; ++y) {
        for (int x = 0; x < b.width; ++x) {
            const bool inside = x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
            n += !inside && pixelAt(b, x, y) != kPaper;
        }
    }
    return n;
}

Rect measure(int height, const std::string& text, unsigned flags = 0) {
    Bitmap b = paper(4, 4);
    Canvas canvas(b);
    canvas.font.height = height;
    Rect r{10, 20, 10, 20};
    drawText(canvas, text, r, flags | kTextCalcRect);
    return r;
}

TEST(Fonts, TheProgramsFaceIsTheInstalledMinchoAndAbsurdHeightsStayUsable) {
    std::error_code ec;  // Debian may reach the file through an alternatives link
    EXPECT_EQ(std::filesystem::canonical(fontFileFor("ＭＳ 明朝"), ec).filename(), "ipam.ttf");
    for (const int absurd : {INT_MAX, INT_MIN, -1, 0, 1}) {
        const auto m = fontMetrics(Font{absurd, 400, "ＭＳ 明朝"});
        ASSERT_TRUE(m.has_value()) << absurd;
        EXPECT_TRUE(m->pixelsPerEm >= 1 && m->pixelsPerEm <= 512) << absurd;
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
        EXPECT_EQ(std::pair(r.left, r.top), std::pair(10, 20));
        EXPECT_EQ(r.height(), c.lines * line) << c.text;
    }
    EXPECT_EQ(measure(22, "").width(), 0);
    EXPECT_EQ(measure(22, "地図").width(), 2 * measure(22, "ab").width());  // full width is twice half width
    EXPECT_EQ(measure(22, "ab\nabcd").width(), measure(22, "abcd").width());
    EXPECT_GT(measure(22, "1000M").width(), measure(16, "1000M").width());
    EXPECT_GT(measure(16, std::string("\xff\xfe", 2)).width(), 0);  // each stray byte is one character
}

// Text and, in opaque mode, its background stay inside the rectangle and the bitmap.
TEST(Text, DrawingStaysInsideTheRectangleAndTheBitmap) {
    const Rect cases[] = {
        {5, 5, 60, 18},       // the status-line case: a 22-pixel font in 13 rows
        {-30, -10, 20, 8},    {70, 30, 200, 200}, {40, 10, 30, 40},  // off the corners; inverted
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MAX - 5, 0, INT_MAX, 40},
    };
    for (const auto mode : {BackgroundMode::Transparent, BackgroundMode::Opaque}) {
        for (const Rect& rect : cases) {
            Bitmap b = paper(80, 40);
            Canvas canvas(b);
            canvas.font.height = 22;
            canvas.backgroundMode = mode;
            Rect r = rect;
            drawText(canvas, "地図 1000M\nQuorel", r);
            EXPECT_EQ(r, rect);
            EXPECT_EQ(inkedOutside(b, rect), 0) << rect.left << "," << rect.top;
        }
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

TEST(MessageBox, WithoutAHandlerTheTextGoesToStandardError) {
    testing::internal::CaptureStderr();
    showMessage("PNGﾌｧｲﾙでありません");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "PNGﾌｧｲﾙでありません\n");
}

}  // namespace
}  // namespace quorel::platform
