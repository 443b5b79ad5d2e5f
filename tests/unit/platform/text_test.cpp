#include "platform/raster/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

#include "platform/message_box.h"
#include "platform/raster/raster.h"

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

TEST(Fonts, TheProgramsFaceIsTheInstalledMincho) {
    std::error_code ec;  // Debian may reach the file through an alternatives link
    EXPECT_EQ(std::filesystem::canonical(fontFileFor("ＭＳ 明朝"), ec).filename(), "ipam.ttf");
}

// Text and, in opaque mode, its background stay inside the rectangle and the bitmap.
TEST(Text, DrawingStaysInsideTheRectangleAndTheBitmap) {
    const Rect cases[] = {
        {5, 5, 60, 18},  // the status-line case: a 22-pixel font in 13 rows
        {-30, -10, 20, 8},
        {70, 30, 200, 200},
        {40, 10, 30, 40},  // off the corners; inverted
        {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
        {INT_MAX - 5, 0, INT_MAX, 40},
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

TEST(MessageBox, WithoutAHandlerTheTextGoesToStandardError) {
    testing::internal::CaptureStderr();
    showMessage("PNGﾌｧｲﾙでありません");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "PNGﾌｧｲﾙでありません\n");
}

}  // namespace
}  // namespace quorel::platform
