#include "app/surfaces.h"

#include <gtest/gtest.h>

#include <tuple>

#include "app/controls_layout.h"
#include "platform/raster/raster.h"

namespace quorel {
namespace {

using platform::pixelAt;
using Rectangle = std::tuple<int, int, int, int>;

Rectangle rectOf(const std::optional<ImageButton>& b) { return {b->left, b->top, b->width, b->height}; }

// A window and a view with the program's surfaces, images and layout for it.
struct Screen {
    Screen(int width, int height) : window(platform::createBitmap(width, height)) {
        view.uiScale = width / 480.0;
        createSurfaces(view, window);
    }
    platform::Bitmap window;
    MapView view;
};

TEST(ControlsLayout, ScalesAndAnchorsOnAn800By480Screen) {
    const Screen s(800, 480);
    const MapView& v = s.view;
    EXPECT_EQ(rectOf(v.starButton), Rectangle(8, 41, 50, 50));
    EXPECT_EQ(rectOf(v.zoomUpButton), Rectangle(8, 133, 50, 50));
    EXPECT_EQ(rectOf(v.originButton), Rectangle(8, 333, 50, 50));
    EXPECT_EQ(rectOf(v.bulbButton), Rectangle(742, 50, 41, 41));  // 800 - 58; S(50 / 2) = 41
    EXPECT_EQ(rectOf(v.pointButton), Rectangle(742, 116, 50, 50));
    EXPECT_EQ(rectOf(v.eraseButton), Rectangle(742, 414, 41, 41));  // 480 - 66
    EXPECT_EQ(std::tuple(v.closeCornerX, v.closeCornerY, v.mosaicCols, v.mosaicRows), std::tuple(41, 36, 8, 5));
    const struct {
        const std::optional<ImageButton>* button;
        int x, y;
        bool hit;
    } taps[] = {
        {&v.eraseButton, 743, 415, true},  {&v.eraseButton, 742, 420, false}, {&v.eraseButton, 782, 454, true},
        {&v.eraseButton, 783, 420, false}, {&v.eraseButton, 760, 455, false}, {&v.bulbButton, 760, 50, false},
        {&v.starButton, 9, 42, true},      {&v.starButton, 57, 90, true},     {&v.starButton, 58, 60, false},
    };
    for (const auto& t : taps) EXPECT_EQ((*t.button)->hitTest(t.x, t.y), t.hit) << "strictly inside: " << t.x << "," << t.y;
}

TEST(ControlsLayout, AbsentButtonsAndFailedImagesAreSkippedOrZero) {
    Screen s(480, 272);
    MapView& v = s.view;
    v.eraseButton = ImageButton{};  // image failed to load: 0 x 0
    v.starButton.reset();
    layoutControls(v);
    EXPECT_EQ(rectOf(v.eraseButton), Rectangle(445, 232, 0, 0));
    EXPECT_FALSE(v.starButton.has_value());
    EXPECT_FALSE(createImageButton(4242).hitTest(0, 0));
}

TEST(Surfaces, AnEmptyWindowGivesEmptyBuffersNotACrash) {
    Screen s(0, 0);
    EXPECT_EQ(s.view.viewWidth, 0);
    EXPECT_FALSE(s.view.frameBitmap.valid());
    destroySurfaces(s.view);
}

}  // namespace
}  // namespace quorel
