#include "app/surfaces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>
#include <tuple>

#include "app/controls_layout.h"
#include "map/colours.h"
#include "map/frame_parts.h"
#include "platform/raster/canvas.h"
#include "platform/raster/raster.h"
#include "platform/raster/text.h"

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
    for (const auto& t : taps) {
        EXPECT_EQ((*t.button)->hitTest(t.x, t.y), t.hit) << "strictly inside: " << t.x << "," << t.y;
    }
}

// Pixels other than white in [x0, x1) x [y0, y1).
int inkIn(const platform::Bitmap& b, int x0, int y0, int x1, int y1) {
    int ink = 0;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) ink += pixelAt(b, x, y) != platform::rgb(255, 255, 255);
    }
    return ink;
}

// The ink of a text written with no box to cut it.
int uncutInk(std::string_view text, int height) {
    platform::Bitmap page = platform::createBitmap(1000, 400);
    platform::Rect all{0, 0, 1000, 400};
    platform::fillRect(page, all, platform::rgb(255, 255, 255));
    platform::Canvas canvas(page);
    canvas.font.height = height;
    canvas.backgroundMode = platform::BackgroundMode::Transparent;
    platform::drawText(canvas, text, all);
    return inkIn(page, 0, 0, 1000, 400);
}

TEST(ControlsLayout, ZoomLabelAndScaleBarFitAtTheEndsOfTheRange) {
    Screen big(1920, 1080), small(320, 240);
    MapView& v = big.view;
    platform::fillRect(v.frameBitmap, {0, 0, 1920, 1080}, platform::rgb(255, 255, 255));
    drawZoomLabel(v);  // zoom 14
    const int labelTop = scaleToScreen(v, v.starButtonPos[1] + 30);
    EXPECT_EQ(inkIn(v.frameBitmap, 0, labelTop, 1920, 1080), uncutInk("14", 80)) << "the zoom number is whole";
    EXPECT_EQ(inkIn(v.frameBitmap, 0, 0, 1920, labelTop), uncutInk("X", 80)) << "the close mark is whole";

    MapView& w = small.view;
    platform::fillRect(w.frameBitmap, {0, 0, 320, 240}, platform::rgb(255, 255, 255));
    drawScaleBar(w);
    const ImageButton& bulb = *w.bulbButton;
    EXPECT_GT(inkIn(w.frameBitmap, 0, 0, 320, 240), 0);
    EXPECT_EQ(inkIn(w.frameBitmap, bulb.left, bulb.top, bulb.left + bulb.width, bulb.top + bulb.height), 0);
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

// The trip panel drawn over the eight buttons changes no pixel of any button, at the
// screen sizes the layout is made for and with a button moved to where the panel goes.
TEST(TripPanel, CoversNoButton) {
    const struct {
        int width, height;
        DesignPos MapView::*moved;
        DesignPos to;
    } cases[] = {
        {480, 272, nullptr, {}},
        {800, 480, nullptr, {}},
        {1024, 600, nullptr, {}},
        {1920, 1080, nullptr, {}},
        {480, 272, &MapView::homeButtonPos, {60, -35}},
        {1920, 1080, &MapView::eraseButtonPos, {45, -40}},
    };
    for (const auto& c : cases) {
        Screen s(c.width, c.height);
        MapView& v = s.view;
        if (c.moved) {
            v.*c.moved = c.to;
            v.buttonWidth = v.buttonHeight = 30;  // the design size, scaled again by the layout
            v.closeCornerX = 25;
            v.closeCornerY = 22;
            layoutControls(v);
        }
        platform::fillRect(v.frameBitmap, {0, 0, c.width, c.height}, platform::rgb(128, 128, 128));
        const std::optional<ImageButton>* buttons[] = {&v.starButton,  &v.zoomUpButton, &v.zoomDownButton,
                                                       &v.homeButton,  &v.originButton, &v.bulbButton,
                                                       &v.pointButton, &v.eraseButton};
        for (const auto* b : buttons) drawImageButton(**b, v.frameBitmap, false);
        const platform::Bitmap before = v.frameBitmap;
        drawTripPanel(v, TripTotals{}, false);
        for (const auto* b : buttons) {
            const ImageButton& button = **b;
            for (int y = button.top; y < button.top + button.height; ++y) {
                for (int x = button.left; x < button.left + button.width; ++x) {
                    ASSERT_EQ(pixelAt(before, x, y), pixelAt(v.frameBitmap, x, y))
                        << c.width << "x" << c.height << ": " << x << "," << y;
                }
            }
        }
        const platform::Rect panel = tripPanelRect(v);
        EXPECT_EQ(pixelAt(v.frameBitmap, panel.left, panel.top), platform::rgb(0, 0, 255)) << "the panel was drawn";
    }
}

// By night the trip panel and the start hint hold nothing brighter than the night palette:
// every pixel lies between their ground and their ink, channel by channel.
TEST(TripPanel, AtNightHoldsOnlyNightColours) {
    Screen s(800, 480);
    MapView& v = s.view;
    v.night = true;
    v.startHint = "No map tiles yet: put them in /media/card/sdmmc/Maps/std/";
    const struct {
        void (*draw)(MapView&);
        platform::Rect rect;
        platform::Color ink;
    } parts[] = {
        {[](MapView& view) { drawTripPanel(view, TripTotals{}, false); }, tripPanelRect(v), kNightPalette.readout},
        {drawStartHint, {0, 0, 800, 480}, kNightPalette.ink},
    };
    for (const auto& part : parts) {
        platform::fillRect(v.frameBitmap, {0, 0, 800, 480}, kNightPalette.panel);
        part.draw(v);
        int inked = 0;
        for (int y = part.rect.top; y < part.rect.bottom; ++y) {
            for (int x = part.rect.left; x < part.rect.right; ++x) {
                const platform::Color c = pixelAt(v.frameBitmap, x, y);
                inked += c == part.ink;
                for (const int shift : {0, 8, 16}) {
                    const auto channel = [shift](platform::Color k) { return (k >> shift) & 0xff; };
                    ASSERT_LE(channel(c), std::max(channel(part.ink), channel(kNightPalette.panel))) << x << "," << y;
                    ASSERT_GE(channel(c), std::min(channel(part.ink), channel(kNightPalette.panel))) << x << "," << y;
                }
            }
        }
        EXPECT_GT(inked, 100) << "something was written";
    }
}

TEST(Surfaces, AnEmptyWindowGivesEmptyBuffersNotACrash) {
    Screen s(0, 0);
    EXPECT_EQ(s.view.viewWidth, 0);
    EXPECT_FALSE(s.view.frameBitmap.valid());
    destroySurfaces(s.view);
}

}  // namespace
}  // namespace quorel
