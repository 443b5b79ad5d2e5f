#include "app/state/present.h"

#include <gtest/gtest.h>

#include "platform/raster/raster.h"

namespace quorel {
namespace {

using platform::pixelAt;

MapView viewWithFrame(int w, int h) {
    MapView view;
    view.viewWidth = w;
    view.viewHeight = h;
    view.frameBitmap = platform::createBitmap(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) platform::setPixel(view.frameBitmap, x, y, platform::rgb(x, y, 9));
    }
    return view;
}

TEST(PresentFrame, MirrorsByHudMode) {
    const struct {
        int hudMode;
        bool mirrorX, mirrorY;
    } cases[] = {{0, false, false}, {1, true, false}, {2, false, true}, {3, false, false}, {-1, false, false}};
    for (const auto& c : cases) {
        MapView view = viewWithFrame(5, 3);
        platform::Bitmap window = platform::createBitmap(5, 3);
        view.windowBitmap = &window;
        view.hudMode = c.hudMode;
        presentFrame(view);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                EXPECT_EQ(pixelAt(window, x, y), pixelAt(view.frameBitmap, c.mirrorX ? 4 - x : x, c.mirrorY ? 2 - y : y))
                    << "mode " << c.hudMode << " at " << x << "," << y;
            }
        }
    }
}

TEST(PresentFrame, WithoutAWindowOrWithAnOddOneNothingBreaks) {
    MapView view = viewWithFrame(4, 4);
    presentFrame(view);  // no window yet
    platform::Bitmap small = platform::createBitmap(2, 6);
    view.windowBitmap = &small;
    for (const int mode : {0, 1, 2}) {
        view.hudMode = mode;
        presentFrame(view);
    }
    // Mirrored left to right into a narrower window: the window shows the frame's
    // right-hand columns, reversed, as the full-size mirror would.
    view.hudMode = 1;
    presentFrame(view);
    EXPECT_EQ(pixelAt(small, 0, 1), pixelAt(view.frameBitmap, 3, 1));
    EXPECT_EQ(pixelAt(small, 1, 1), pixelAt(view.frameBitmap, 2, 1));
    EXPECT_EQ(pixelAt(small, 1, 5), 0u);  // below the frame: untouched
}

}  // namespace
}  // namespace quorel
