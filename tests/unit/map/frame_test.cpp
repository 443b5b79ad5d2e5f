#include "map/frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "map/frame_parts.h"
#include "map/projection.h"
#include "platform/raster/raster.h"
#include "tests/unit/map/map_fixture.h"

namespace quorel {
namespace {

using platform::pixelAt;
using platform::rgb;
using test::MapScreen;

void addHomeTiles(MapScreen& s) {
    for (std::int64_t c = 14545; c <= 14561; ++c) {
        for (std::int64_t r = 6390; r <= 6406; ++r) s.tiles.addTagged(14, c, r, static_cast<int>(c + r) & 255);
    }
}

TEST(ComposeFrame, ARecentredFrameInsideTheCentreTileShiftsTheOldWindowAndLoadsNothing) {
    MapScreen s(480, 272);
    addHomeTiles(s);
    s.compose();
    const platform::Bitmap before = s.window;
    const int offsetX = s.view.mosaicOffsetX, offsetY = s.view.mosaicOffsetY;
    s.tiles.asked.clear();

    s.view.tapX = 240 + 9;  // home lies 39 pixels into its tile, so the centre stays in it
    s.view.tapY = 136 - 7;
    const GeoCoord tapped = screenToGeo(s.view, s.view.tapX, s.view.tapY);
    s.view.centerLat = tapped.lat;
    s.view.centerLon = tapped.lon;
    s.compose(RedrawKind::Recentred);

    EXPECT_TRUE(s.tiles.asked.empty());
    EXPECT_EQ(s.view.mosaicOffsetX, offsetX + 9);
    EXPECT_EQ(s.view.mosaicOffsetY, offsetY - 7);
    // Map pixels away from the buttons, gauges, texts and the cross.
    for (const auto& [x, y] : {std::pair{100, 150}, std::pair{300, 200}, std::pair{200, 80}, std::pair{400, 240}}) {
        EXPECT_EQ(pixelAt(s.window, x, y), pixelAt(before, x + 9, y - 7)) << x << "," << y;
    }
}

TEST(ComposeFrame, ARequestWhileDrawingIsDroppedAndTheFirstFrameMakesTheBufferReady) {
    MapScreen s(480, 272);
    addHomeTiles(s);
    const platform::Bitmap blank = s.window;
    s.view.drawing = true;
    for (const RedrawKind kind : {RedrawKind::Normal, RedrawKind::Recentred}) {
        composeFrame(s.view, s.sources(), kind);
        EXPECT_EQ(s.view.framesComposed, 0);
        EXPECT_TRUE(s.tiles.asked.empty());
        EXPECT_FALSE(s.view.frameReady);
        EXPECT_EQ(s.window.bits, blank.bits);
    }
    s.view.drawing = false;
    requestRedraw(s.view, s.sources());
    EXPECT_EQ(s.view.framesComposed, 1);
    EXPECT_TRUE(s.view.frameReady);
    EXPECT_FALSE(s.view.drawing);
    EXPECT_NE(s.window.bits, blank.bits);
    // A redraw with nothing changed loads nothing.
    s.tiles.asked.clear();
    requestRedraw(s.view, s.sources());
    EXPECT_TRUE(s.tiles.asked.empty());
    EXPECT_EQ(s.view.framesComposed, 2);
}

// Later items paint over earlier ones: overlays over buttons and gauges, the cross over
// the overlays, the distance read-out over everything.
TEST(ComposeFrame, OverlaysCoverTheControlsAndTheCrossCoversTheOverlays) {
    MapScreen s(480, 272);
    s.compose();  // view bounds for placing the track
    const auto geoAt = [&](int x, int y) {
        const GeoCoord g = screenToGeo(s.view, x, y);
        GeoPoint p;
        p.lat = g.lat;
        p.lon = g.lon;
        return p;
    };
    GpxPath track;
    track.addPoint(geoAt(20, 40));  // across the star button
    track.addPoint(geoAt(20, 260));
    track.addPoint(geoAt(460, 136));  // through the centre to the gauges
    track.addPoint(geoAt(460, 265));
    s.view.tracks.append(track);
    s.compose();
    const platform::Color red = rgb(255, 0, 0);
    EXPECT_EQ(pixelAt(s.window, 20, 45), red);    // star button
    EXPECT_EQ(pixelAt(s.window, 20, 100), red);   // zoom-in button
    EXPECT_EQ(pixelAt(s.window, 460, 266), red);  // battery gauge
    EXPECT_EQ(pixelAt(s.window, 240, 136), rgb(0, 0, 0));  // the cross

    s.view.followGps = true;  // no cross while following
    s.compose();
    EXPECT_NE(pixelAt(s.window, 240, 130), rgb(0, 0, 0));
}

TEST(ComposeFrame, AnyCentreZoomOrTrackComposesWithoutFault) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const int zooms[] = {std::numeric_limits<int>::min(), -3, 0, 23, 40, 60, 1000, std::numeric_limits<int>::max()};
    const double lats[] = {90.0, -90.0, nan, inf, 1e300, 85.06};
    for (const int zoom : zooms) {
        for (const double lat : lats) {
            MapScreen s(97, 61);  // an odd little screen
            s.view.zoomLevel = zoom;
            s.view.centerLat = lat;
            s.view.centerLon = lat;
            s.view.showTapPosition = true;
            s.view.pointMode = true;
            s.view.showTileGrid = true;
            s.view.tapX = std::numeric_limits<int>::max();
            s.view.tapY = std::numeric_limits<int>::min();
            s.gps.satellites = std::numeric_limits<int>::min();
            s.gps.batteryPercent = std::numeric_limits<int>::max();
            GpxPath path;
            for (const double v : {nan, 0.0, inf, -90.0, 90.0, -1e300, 0.0, 0.0}) path.addPoint(GeoPoint{v, v, v, 0, 0});
            s.view.tracks.append(path);
            s.view.routes.append(path);
            s.view.currentRoute = path;
            s.gps.track = path;
            s.compose();
            s.compose(RedrawKind::Recentred);
            EXPECT_FALSE(s.view.drawing);
        }
    }
}

TEST(FrameParts, RouteDistanceInMetresBelowOneKilometre) {
    const struct {
        double km;
        const char* text;
    } cases[] = {{0.9994, "999m"}, {1.0, "1.0Km"}, {0.0, "0m"}, {0.9996, "1000m"}, {0.0004, "0m"}, {12.36, "12.4Km"}};
    for (const auto& c : cases) EXPECT_EQ(routeDistanceText(c.km), c.text) << c.km;
}

TEST(FrameParts, BatteryCells) {
    const struct {
        int percent, cell;
    } cases[] = {{255, 0}, {100, 0}, {75, 0}, {74, 1}, {50, 1}, {49, 2}, {25, 2}, {24, 3}, {1, 3}, {0, 4}, {-7, 4}};
    for (const auto& c : cases) EXPECT_EQ(batteryCell(c.percent), c.cell) << c.percent;
}

// Metres per pixel of the spherical Mercator at the equator: 40075.016686 km / 2^(zoom + 8).
TEST(FrameParts, ScaleBarLengthFollowsZoomAndLatitude) {
    const struct {
        double lat;
        int zoom, metres, pixels;
    } cases[] = {
        {0.0, 14, 1000, 104},  // 9.554 m per pixel
        {0.0, 18, 100, 167},   // 0.597
        {0.0, 24, 2, 214},     // 0.00933
        {60.0, 14, 1000, 209}, // half the distance per pixel at 60 degrees
        {90.0, 14, 1000, std::numeric_limits<int>::max()},
    };
    for (const auto& c : cases) {
        MapView view;
        view.viewWidth = 1500;  // the probe point (750, 20) is near the centre's latitude
        view.viewHeight = 40;
        view.zoomLevel = c.zoom;
        view.centerLat = c.lat;
        view.centerLon = 10.0;
        EXPECT_EQ(scaleBarLength(view, 750, 20, c.metres), c.pixels) << c.lat << " " << c.zoom;
    }
}

}  // namespace
}  // namespace quorel
