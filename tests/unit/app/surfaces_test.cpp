#include "app/surfaces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/state/controls_layout.h"
#include "platform/raster/raster.h"
#include "png/png_decoder.h"
#include "png/png_writer.h"
#include "resources/resources.h"
#include "tests/support/golden.h"

namespace quorel {
namespace {

using platform::Color;
using platform::pixelAt;
using platform::rgb;

struct ImageSize {
    int id, width, height;
};

// Every image of the program with its size and cell layout.
constexpr ImageSize kImages[] = {
    {126, 256, 256}, {139, 512, 256}, {128, 60, 30}, {130, 30, 30}, {129, 30, 30}, {131, 25, 25},
    {127, 20, 20},   {133, 50, 25},   {136, 60, 30}, {137, 25, 25}, {116, 345, 36}, {138, 250, 20},
};

TEST(Resources, EveryImageIsEmbeddedAtItsSizeAndDecodesThroughThePngPath) {
    std::vector<int> ids = resourceIds();
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<int>{116, 126, 127, 128, 129, 130, 131, 133, 136, 137, 138, 139}));
    for (const ImageSize& image : kImages) {
        const PngDecodeResult decoded = decodePngMemory(resourcePng(image.id));
        ASSERT_TRUE(decoded.bitmap) << image.id;
        EXPECT_EQ(decoded.bitmap->width, image.width) << image.id;
        EXPECT_EQ(decoded.bitmap->height, image.height) << image.id;
    }
    EXPECT_TRUE(resourcePng(109).empty());  // the template's unused bitmaps are not carried
}

TEST(Resources, ThePlaceholderIsASixteenColourCyanTileWithRedWords) {
    const PngDecodeResult decoded = decodePngMemory(resourcePng(126));
    ASSERT_TRUE(decoded.bitmap);
    const platform::Bitmap& tile = *decoded.bitmap;
    EXPECT_EQ(tile.bitsPerPixel, 4);
    EXPECT_EQ(tile.palette.size(), 16u);
    EXPECT_EQ(pixelAt(tile, 0, 0), rgb(0, 255, 255));
    EXPECT_EQ(pixelAt(tile, 255, 255), rgb(0, 255, 255));
    int red = 0;
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            if (pixelAt(tile, x, y) == rgb(255, 0, 0)) {
                ++red;
                EXPECT_TRUE(x > 20 && x < 236 && y > 100 && y < 156) << "red away from the middle at " << x << "," << y;
            }
        }
    }
    EXPECT_GT(red, 100);
}

// The pin is drawn with AND: everything but the pin must be pure white, and the needle's
// tip is the bottom centre of each 30-pixel cell.
TEST(Resources, ThePinSpriteKeepsTheMapUnderItsWhiteBackground) {
    const PngDecodeResult decoded = decodePngMemory(resourcePng(136));
    ASSERT_TRUE(decoded.bitmap);
    const platform::Bitmap& pin = *decoded.bitmap;
    const Color white = rgb(255, 255, 255);
    for (const int cell : {0, 1}) {
        const int ox = cell * 30;
        for (const auto& [x, y] : {std::pair{0, 0}, {29, 0}, {0, 29}, {29, 29}, {3, 20}, {26, 20}}) {
            EXPECT_EQ(pixelAt(pin, ox + x, y), white) << cell << ": " << x << "," << y;
        }
        EXPECT_NE(pixelAt(pin, ox + 15, 29), white) << "tip of cell " << cell;
        EXPECT_NE(pixelAt(pin, ox + 15, 10), white) << "head of cell " << cell;
    }
    const Color on = pixelAt(pin, 15, 10), off = pixelAt(pin, 45, 10);
    EXPECT_GT(platform::redOf(on), platform::greenOf(on) + 100);  // left cell red
    EXPECT_EQ(platform::redOf(off), platform::greenOf(off));      // right cell grey
}

TEST(Surfaces, ASetUpFor480By272) {
    platform::Bitmap window = platform::createBitmap(480, 272);
    MapView view;
    initMapView(view);
    view.frameReady = view.showTileGrid = view.drawing = true;
    view.tileBitmap = platform::createBitmap(2, 2);
    createSurfaces(view, window);

    EXPECT_EQ(view.windowBitmap, &window);
    EXPECT_EQ(view.viewWidth, 480);
    EXPECT_EQ(view.viewHeight, 272);
    EXPECT_EQ(view.frameBitmap.width, 480);
    EXPECT_EQ(view.frameBitmap.height, 272);
    EXPECT_EQ(view.mosaicCols, 6);
    EXPECT_EQ(view.mosaicRows, 5);
    EXPECT_EQ(view.mosaicWidth, 1536);
    EXPECT_EQ(view.mosaicHeight, 1280);
    EXPECT_EQ(view.mosaicBitmap.width, 1536);
    EXPECT_EQ(view.mosaicBitmap.height, 1280);
    EXPECT_FALSE(view.frameReady || view.showTileGrid || view.drawing);
    EXPECT_FALSE(view.tileBitmap);
    ASSERT_TRUE(view.mosaicSurface && view.tileSurface && view.noTileImage && view.splashImage);
    EXPECT_TRUE(view.mosaicSurface->valid);
    EXPECT_EQ(view.mosaicSurface->width, 1536);
    EXPECT_EQ(view.tileSurface->width, 256);
    EXPECT_EQ(view.tileSurface->height, 256);
    EXPECT_EQ(view.noTileImage->resourceId, 126);
    EXPECT_EQ(view.noTileImage->width, 256);
    EXPECT_EQ(view.noTileImage->bitmap.bitsPerPixel, 32);  // held as screen pixels
    EXPECT_EQ(view.splashImage->width, 512);

    for (const ControlEntry& control : kControls) {
        const std::optional<ImageButton>& button = view.*control.button;
        ASSERT_TRUE(button) << control.resourceId;
        EXPECT_TRUE(button->image.valid) << control.resourceId;
        EXPECT_EQ(button->resourceId, control.resourceId);
        EXPECT_FALSE(button->state);
    }
    EXPECT_EQ(view.pointButton->image.width, 60);
    EXPECT_EQ(view.pointButton->width, 30);
    EXPECT_EQ(view.eraseButton->left, 445);
    EXPECT_EQ(view.eraseButton->top, 232);
    EXPECT_EQ(view.statusImage->image.width, 345);

    // The splash is in the back buffer at (20, 20), cut at the right edge; the window
    // is not touched until a frame is presented.
    const platform::Bitmap& splash = view.splashImage->bitmap;
    for (const auto& [x, y] : {std::pair{0, 0}, {100, 50}, {459, 200}, {200, 231}}) {
        EXPECT_EQ(pixelAt(view.frameBitmap, 20 + x, 20 + y), pixelAt(splash, x, y)) << x << "," << y;
    }
    EXPECT_EQ(pixelAt(view.frameBitmap, 19, 19), 0u);
    EXPECT_EQ(pixelAt(window, 100, 100), 0u);

    view.mosaicValid = true;
    view.frameReady = true;
    view.tileBitmap = platform::createBitmap(2, 2);
    destroySurfaces(view);
    EXPECT_EQ(view.windowBitmap, nullptr);
    EXPECT_FALSE(view.frameBitmap.valid() || view.mosaicBitmap.valid());
    EXPECT_FALSE(view.tileBitmap || view.mosaicSurface || view.tileSurface || view.noTileImage || view.splashImage);
    for (const ControlEntry& control : kControls) EXPECT_FALSE((view.*control.button).has_value());
    EXPECT_FALSE(view.mosaicValid || view.frameReady);
}

// The layout itself is tested on its own; here only what the window size decides.
TEST(Surfaces, An800By480WindowGetsAnEightByFiveMosaic) {
    platform::Bitmap window = platform::createBitmap(800, 480);
    MapView view;
    initMapView(view);
    view.uiScale = 800 / 480.0;
    createSurfaces(view, window);
    EXPECT_EQ(view.mosaicCols, 8);
    EXPECT_EQ(view.mosaicRows, 5);
    EXPECT_EQ(view.eraseButton->top, 414);
}

TEST(Surfaces, AnEmptyWindowGivesEmptyBuffersNotACrash) {
    platform::Bitmap window;
    MapView view;
    initMapView(view);
    createSurfaces(view, window);
    EXPECT_EQ(view.viewWidth, 0);
    EXPECT_FALSE(view.frameBitmap.valid());
    EXPECT_EQ(view.mosaicCols, 5);
    EXPECT_EQ(view.mosaicRows, 4);
    destroySurfaces(view);
}

TEST(Surfaces, AMissingImageGivesAnInvalidEmptySurface) {
    Surface s;
    loadSurfaceImage(s, 4242);
    EXPECT_FALSE(s.valid);
    EXPECT_EQ(s.width, 0);
    EXPECT_EQ(s.resourceId, 4242);
    createBlankSurface(s, 0, 10);
    EXPECT_FALSE(s.valid);
    const ImageButton b = createImageButton(4242);
    EXPECT_EQ(b.width, 0);
    EXPECT_FALSE(b.hitTest(0, 0));
}

// All twelve images side by side for people to look at: buttons and strips enlarged
// three and two times, the placeholder and the splash at their own size.
TEST(Resources, ContactSheetOfAllTwelveImages) {
    platform::Bitmap sheet = platform::createBitmap(1000, 560);
    platform::fillRect(sheet, {0, 0, 1000, 560}, rgb(96, 112, 128));
    int x = 10;
    for (const int id : {128, 130, 129, 131, 127, 133, 136, 137}) {
        const PngDecodeResult d = decodePngMemory(resourcePng(id));
        ASSERT_TRUE(d.bitmap);
        platform::stretchBlit(sheet, x, 10, d.bitmap->width * 3, d.bitmap->height * 3, *d.bitmap, 0, 0,
                              d.bitmap->width, d.bitmap->height);
        x += d.bitmap->width * 3 + 10;
    }
    int y = 110;
    for (const int id : {116, 138}) {
        const PngDecodeResult d = decodePngMemory(resourcePng(id));
        ASSERT_TRUE(d.bitmap);
        platform::stretchBlit(sheet, 10, y, d.bitmap->width * 2, d.bitmap->height * 2, *d.bitmap, 0, 0,
                              d.bitmap->width, d.bitmap->height);
        y += d.bitmap->height * 2 + 10;
    }
    x = 10;
    for (const int id : {126, 139}) {
        const PngDecodeResult d = decodePngMemory(resourcePng(id));
        ASSERT_TRUE(d.bitmap);
        platform::blit(sheet, x, 290, d.bitmap->width, d.bitmap->height, *d.bitmap, 0, 0);
        x += d.bitmap->width + 20;
    }
    const std::filesystem::path path = test::outputDir() / "resources_sheet.png";
    EXPECT_TRUE(writePngFile(sheet, path)) << path;
}

}  // namespace
}  // namespace quorel
