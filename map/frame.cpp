#include "map/frame.h"

#include <cstdint>
#include <limits>
#include <optional>

#include "map/frame_parts.h"
#include "map/night.h"
#include "map/overlays.h"
#include "map/present.h"
#include "map/projection.h"
#include "platform/numeric.h"
#include "platform/raster/raster.h"

namespace quorel {
namespace {

void drawButton(const std::optional<ImageButton>& button, platform::Bitmap& target, bool night) {
    if (button) drawImageButton(*button, target, night);
}

void drawSwitch(const std::optional<ImageButton>& button, platform::Bitmap& target, bool on, bool night) {
    if (button) drawToggleButton(*button, target, on ? 0 : 1, night);
}

// The view's window of the mosaic into the back buffer. A window reaching past the
// mosaic (a long tap on a wide screen, shown for one frame before the mosaic shifts)
// shows black there rather than what the last frame left.
void copyWindow(MapView& view, int x, int y) {
    const platform::Bitmap& mosaic = view.mosaicBitmap;
    const bool inside = x >= 0 && y >= 0 && std::int64_t{x} + view.viewWidth <= mosaic.width &&
                        std::int64_t{y} + view.viewHeight <= mosaic.height;
    if (!inside) platform::fillRect(view.frameBitmap, {0, 0, view.viewWidth, view.viewHeight}, platform::rgb(0, 0, 0));
    platform::blit(view.frameBitmap, 0, 0, view.viewWidth, view.viewHeight, mosaic, x, y);
}

}  // namespace

void requestRedraw(MapView& view, const FrameSources& sources) { composeFrame(view, sources, RedrawKind::Normal); }

void composeFrame(MapView& view, const FrameSources& sources, RedrawKind kind) {
    if (view.drawing && kind != RedrawKind::AfterScroll) return;
    view.drawing = true;

    // A mosaic of another zoom is refilled whatever the kind: its pictures are of
    // another scale, even where the tile numbers happen to agree (the world's
    // north-west corner tile). So is one darkened for night by day, or the other way.
    bool refilled = false;
    if (!view.mosaicValid || view.mosaicZoom != view.zoomLevel || view.mosaicNight != view.night) {
        fillMosaic(view, sources.tiles);
        refilled = true;
    }
    const int halfW = view.viewWidth / 2;
    const int halfH = view.viewHeight / 2;
    const WorldPosition centre = projectToWorld(view, view.centerLat, view.centerLon);
    bool scrollPending = false;
    if (centre.col != view.mosaicTileX || centre.row != view.mosaicTileY) {
        if (kind == RedrawKind::Recentred) {
            scrollPending = true;
        } else {
            fillMosaic(view, sources.tiles);
            refilled = true;
        }
    }

    std::int64_t x = 0, y = 0;
    if (kind == RedrawKind::Recentred && !refilled) {
        // The old window moved by the tap's distance from the view centre.
        x = std::int64_t{view.mosaicOffsetX} + view.tapX - halfW;
        y = std::int64_t{view.mosaicOffsetY} + view.tapY - halfH;
    } else {
        x = std::int64_t{view.mosaicCols / 2} * view.tileWidth + centre.px - halfW;
        y = std::int64_t{view.mosaicRows / 2} * view.tileHeight + centre.py - halfH;
    }
    view.mosaicOffsetX = platform::clampToInt(x);
    view.mosaicOffsetY = platform::clampToInt(y);
    copyWindow(view, view.mosaicOffsetX, view.mosaicOffsetY);

    computeViewBounds(view);
    drawOverlaysAndControls(view, sources);
    if (view.pointMode) drawRouteDistance(view);
    presentFrame(view);
    if (view.framesComposed < std::numeric_limits<int>::max()) ++view.framesComposed;

    if (scrollPending) {
        scrollMosaic(view, sources.tiles);
        composeFrame(view, sources, RedrawKind::AfterScroll);
    }
    view.drawing = false;
    view.frameReady = true;
}

void drawOverlaysAndControls(MapView& view, const FrameSources& sources) {
    if (view.showTapPosition) drawTapPositionInfo(view, view.tapX, view.tapY);

    platform::Bitmap& frame = view.frameBitmap;
    const bool night = view.night;
    if (night) prepareNightImages(view);
    drawSwitch(view.starButton, frame, view.followGps, night);
    drawButton(view.zoomUpButton, frame, night);
    drawButton(view.zoomDownButton, frame, night);
    drawButton(view.homeButton, frame, night);
    drawButton(view.originButton, frame, night);
    drawSwitch(view.bulbButton, frame, sources.idle.autoOffEnabled, night);
    drawSwitch(view.pointButton, frame, view.pointMode, night);
    if (view.pointMode) drawButton(view.eraseButton, frame, night);

    drawBatteryGauge(view, sources.gps.batteryPercent);
    drawSatelliteGauge(view, sources.gps.satellites);

    drawTracks(view);
    drawRoutes(view);
    drawGpsTrack(view, sources.gps.track, sources.gps.previousRunPoints);
    drawCurrentRoute(view);

    drawZoomLabel(view);
    drawScaleBar(view);
    drawHeadingArrow(view, sources.gps.track, sources.gps.previousRunPoints);
    if (!view.followGps) drawCentreCross(view);
    if (sources.gps.trackFile.isStalled()) drawTrackLogSign(view);
    if (view.showTrip) {
        drawTripPanel(view, view.tripShowsLog ? sources.gps.tripLog : sources.gps.tripRun, view.tripShowsLog);
    }
    if (!view.tileShown && !view.startHint.empty()) drawStartHint(view);
}

}  // namespace quorel
