#include "app/state/present.h"

#include <gtest/gtest.h>

#include "platform/raster/raster.h"

namespace quorel {
namespace {

using platform::pixelAt;

// hudMode 1 mirrors left to right, 2 top to bottom, anything else copies; a window of
// another size gets the part the full-size picture would put there.
TEST(PresentFrame, MirrorsByHudMode) {
    const struct {
        int hudMode, windowWidth;
        bool mirrorX, mirrorY;
    } cases[] = {{0, 5, false, false}, {1, 5, true, false}, {2, 5, false, true}, {3, 5, false, false},
                 {-1, 5, false, false}, {1, 2, true, false}, {2, 7, false, true}};
    for (const auto& c : cases) {
        MapView view;
        view.viewWidth = 5;
        view.viewHeight = 3;
        view.frameBitmap = platform::createBitmap(5, 3);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) platform::setPixel(view.frameBitmap, x, y, platform::rgb(x, y, 9));
        }
        presentFrame(view);  // no window yet
        platform::Bitmap window = platform::createBitmap(c.windowWidth, 4);
        view.windowBitmap = &window;
        view.hudMode = c.hudMode;
        presentFrame(view);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < c.windowWidth; ++x) {
                const int fx = c.mirrorX ? 4 - x : x, fy = c.mirrorY ? 2 - y : y;
                EXPECT_EQ(pixelAt(window, x, y), pixelAt(view.frameBitmap, fx, fy)) << "mode " << c.hudMode << " at " << x << "," << y;
            }
        }
    }
}

}  // namespace
}  // namespace quorel
