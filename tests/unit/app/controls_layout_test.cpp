#include "app/state/controls_layout.h"

#include <gtest/gtest.h>

#include <climits>

namespace quorel {
namespace {

struct Rectangle {
    int left, top, width, height;
    bool operator==(const Rectangle&) const = default;
};

Rectangle rectOf(const std::optional<ImageButton>& b) { return {b->left, b->top, b->width, b->height}; }

// A view with every control present and images of the program's sizes, laid out for a
// screen; nothing here needs the real pictures.
MapView laidOut(int width, int height) {
    MapView view;
    initMapView(view);
    view.viewWidth = view.screenWidth = width;
    view.viewHeight = view.screenHeight = height;
    view.uiScale = width / 480.0;
    const struct {
        int id, w, h;
    } sizes[] = {{128, 60, 30}, {129, 30, 30}, {130, 30, 30}, {131, 25, 25}, {127, 20, 20},
                 {133, 50, 25}, {116, 345, 36}, {136, 60, 30}, {137, 25, 25}, {138, 250, 20}};
    for (const ControlEntry& control : kControls) {
        ImageButton button;
        button.resourceId = control.resourceId;
        for (const auto& s : sizes) {
            if (s.id == control.resourceId) {
                button.image.width = button.width = s.w;
                button.image.height = button.height = s.h;
                button.image.valid = true;
            }
        }
        view.*control.button = button;
    }
    layoutControls(view);
    return view;
}

TEST(ControlsLayout, DefaultRectanglesOnA480By272Screen) {
    const MapView v = laidOut(480, 272);
    EXPECT_EQ(rectOf(v.starButton), (Rectangle{5, 25, 30, 30}));
    EXPECT_EQ(rectOf(v.zoomUpButton), (Rectangle{5, 80, 30, 30}));
    EXPECT_EQ(rectOf(v.zoomDownButton), (Rectangle{5, 120, 30, 30}));
    EXPECT_EQ(rectOf(v.homeButton), (Rectangle{5, 160, 30, 30}));   // square, not its 25-pixel image
    EXPECT_EQ(rectOf(v.originButton), (Rectangle{5, 200, 30, 30}));
    EXPECT_EQ(rectOf(v.bulbButton), (Rectangle{445, 30, 25, 25}));   // one cell of its two
    EXPECT_EQ(rectOf(v.pointButton), (Rectangle{445, 70, 30, 30}));
    EXPECT_EQ(rectOf(v.eraseButton), (Rectangle{445, 232, 25, 25}));
    EXPECT_EQ(rectOf(v.statusImage), (Rectangle{0, 0, 345, 36}));     // strips keep their image size
    EXPECT_EQ(rectOf(v.legendImage), (Rectangle{0, 0, 250, 20}));
    EXPECT_EQ(v.closeCornerX, 25);
    EXPECT_EQ(v.closeCornerY, 22);
}

TEST(ControlsLayout, ScalesAndAnchorsOnAn800By480Screen) {
    const MapView v = laidOut(800, 480);
    EXPECT_EQ(v.buttonWidth, 50);
    EXPECT_EQ(v.buttonHeight, 50);
    EXPECT_EQ(rectOf(v.starButton), (Rectangle{8, 41, 50, 50}));
    EXPECT_EQ(rectOf(v.zoomUpButton), (Rectangle{8, 133, 50, 50}));
    EXPECT_EQ(rectOf(v.originButton), (Rectangle{8, 333, 50, 50}));
    EXPECT_EQ(rectOf(v.bulbButton), (Rectangle{742, 50, 41, 41}));  // 800 - 58; S(50 / 2) = 41
    EXPECT_EQ(rectOf(v.pointButton), (Rectangle{742, 116, 50, 50}));
    EXPECT_EQ(rectOf(v.eraseButton), (Rectangle{742, 414, 41, 41}));  // 480 - 66
    EXPECT_EQ(v.closeCornerX, 41);
    EXPECT_EQ(v.closeCornerY, 36);
}

TEST(ControlsLayout, HitsAreStrictlyInsideTheLaidOutRectangles) {
    const MapView v = laidOut(800, 480);
    const struct {
        const std::optional<ImageButton>* button;
        int x, y;
        bool hit;
    } cases[] = {
        {&v.eraseButton, 743, 415, true},  {&v.eraseButton, 742, 420, false}, {&v.eraseButton, 782, 454, true},
        {&v.eraseButton, 783, 420, false}, {&v.eraseButton, 760, 455, false}, {&v.bulbButton, 760, 50, false},
        {&v.starButton, 9, 42, true},      {&v.starButton, 57, 90, true},     {&v.starButton, 58, 60, false},
    };
    for (const auto& c : cases) EXPECT_EQ((*c.button)->hitTest(c.x, c.y), c.hit) << c.x << "," << c.y;
}

TEST(ControlsLayout, ScalingTruncatesTowardZeroAndSaturates) {
    MapView v;
    v.uiScale = 800 / 480.0;
    EXPECT_EQ(scaleToScreen(v, -35), -58);
    EXPECT_EQ(scaleToScreen(v, -40), -66);
    v.uiScale = 1e12;
    EXPECT_EQ(scaleToScreen(v, 5), INT_MAX);
    EXPECT_EQ(scaleToScreen(v, -5), INT_MIN);
    EXPECT_EQ(anchorToEdge(INT_MIN, -10), INT_MIN);
    EXPECT_EQ(anchorToEdge(-1, 480), 479);
    EXPECT_EQ(anchorToEdge(0, 480), 0);
}

TEST(ControlsLayout, AbsentButtonsAndFailedImagesAreSkippedOrZero) {
    MapView v;
    initMapView(v);
    v.viewWidth = 480;
    v.viewHeight = 272;
    v.eraseButton = ImageButton{};  // image failed to load: 0 x 0
    layoutControls(v);
    EXPECT_EQ(rectOf(v.eraseButton), (Rectangle{445, 232, 0, 0}));
    EXPECT_FALSE(v.starButton.has_value());
}

}  // namespace
}  // namespace quorel
