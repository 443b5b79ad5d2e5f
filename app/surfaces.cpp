#include "app/surfaces.h"

#include <cstdint>

#include "app/controls_layout.h"
#include "map/present.h"
#include "platform/numeric.h"
#include "platform/raster/raster.h"
#include "png/png_decoder.h"
#include "resources/resources.h"

namespace quorel {

namespace {

constexpr int kNoTileImageId = 126;
constexpr int kSplashImageId = 139;
constexpr int kSplashX = 20;
constexpr int kSplashY = 20;
constexpr platform::Color kBlankWindowColour = platform::rgb(255, 255, 255);  // as a new window is

}  // namespace

void loadSurfaceImage(Surface& surface, int resourceId) {
    surface = Surface{};
    PngDecodeResult decoded = decodePngMemory(resourcePng(resourceId));
    if (!decoded.bitmap) return;
    surface.bitmap = platform::toBitmap32(*decoded.bitmap);
    surface.valid = surface.bitmap.valid();
    if (!surface.valid) return;
    surface.width = surface.bitmap.width;
    surface.height = surface.bitmap.height;
}

void createBlankSurface(Surface& surface, int width, int height) {
    surface = Surface{};
    surface.bitmap = platform::createBitmap(width, height);
    surface.valid = surface.bitmap.valid();
    if (surface.valid) {
        surface.width = width;
        surface.height = height;
    }
}

ImageButton createImageButton(int resourceId) {
    ImageButton button;
    loadSurfaceImage(button.image, resourceId);
    button.width = button.image.width;
    button.height = button.image.height;
    return button;
}

void createSurfaces(MapView& view, platform::Bitmap& window) {
    view.windowBitmap = &window;
    const bool sideways = turnsSideways(view.rotation);
    view.viewWidth = window.valid() ? (sideways ? window.height : window.width) : 0;
    view.viewHeight = window.valid() ? (sideways ? window.width : window.height) : 0;
    view.frameBitmap = platform::createBitmap(view.viewWidth, view.viewHeight);
    // Until the first frame a turned window shows the back buffer, on the window's colour.
    if (view.rotation != 0) {
        platform::fillRect(view.frameBitmap, {0, 0, view.viewWidth, view.viewHeight}, kBlankWindowColour);
    }

    // Two tiles of border on every side; only the columns get the extra one.
    const std::int64_t tw = view.tileWidth > 0 ? view.tileWidth : 256;
    const std::int64_t th = view.tileHeight > 0 ? view.tileHeight : 256;
    view.mosaicCols = platform::clampToInt((view.viewWidth + 4 * tw) / tw + 1);
    view.mosaicRows = platform::clampToInt((view.viewHeight + 4 * th) / th);
    view.mosaicWidth = platform::clampToInt(view.mosaicCols * tw);
    view.mosaicHeight = platform::clampToInt(view.mosaicRows * th);
    view.mosaicBitmap = platform::createBitmap(view.mosaicWidth, view.mosaicHeight);

    view.drawing = false;
    view.frameReady = false;
    view.showTileGrid = false;
    view.tileBitmap.reset();

    view.noTileImage.emplace();
    loadSurfaceImage(*view.noTileImage, kNoTileImageId);
    view.mosaicSurface.emplace();
    createBlankSurface(*view.mosaicSurface, view.mosaicWidth, view.mosaicHeight);
    view.splashImage.emplace();
    loadSurfaceImage(*view.splashImage, kSplashImageId);

    for (const ControlEntry& control : kControls) view.*control.button = createImageButton(control.resourceId);
    layoutControls(view);

    const Surface& splash = *view.splashImage;
    platform::blit(view.frameBitmap, kSplashX, kSplashY, splash.width, splash.height, splash.bitmap, 0, 0);
}

void destroySurfaces(MapView& view) {
    view.windowBitmap = nullptr;
    view.frameBitmap = platform::Bitmap{};
    view.mosaicBitmap = platform::Bitmap{};
    view.tileBitmap.reset();
    view.mosaicSurface.reset();
    view.noTileImage.reset();
    view.splashImage.reset();
    for (const ControlEntry& control : kControls) (view.*control.button).reset();
    view.mosaicValid = false;
    view.frameReady = false;
}

}  // namespace quorel
