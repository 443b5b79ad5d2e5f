// Whole frames and a few details compared with the pictures in tests/golden/.
#include <gtest/gtest.h>

#include <cmath>

#include "map/frame.h"
#include "map/frame_parts.h"
#include "map/overlays.h"
#include "map/projection.h"
#include "platform/raster/raster.h"
#include "tests/support/golden.h"
#include "tests/unit/map/map_fixture.h"

namespace quorel {
namespace {

using platform::rgb;
using test::MapScreen;
using test::matchesGolden;

GeoPoint geoAt(const MapView& view, int x, int y) {
    const GeoCoord g = screenToGeo(view, x, y);
    GeoPoint p;
    p.lat = g.lat;
    p.lon = g.lon;
    return p;
}

GpxPath pathThrough(const MapView& view, std::initializer_list<std::pair<int, int>> pixels) {
    GpxPath path;
    for (const auto& [x, y] : pixels) path.addPoint(geoAt(view, x, y));
    return path;
}

// A flat tile in one of four pale colours with a dark mark in its top-left corner.
platform::Bitmap flatTile(std::int64_t col, std::int64_t row) {
    const platform::Color colours[] = {rgb(236, 232, 220), rgb(214, 232, 204), rgb(220, 228, 240), rgb(240, 224, 214),
                                       rgb(90, 90, 90)};
    platform::Bitmap tile = platform::createDib(256, -256, 4, colours);
    platform::fillRect(tile, {0, 0, 256, 256}, colours[(col % 2) * 2 + (row % 2)]);
    platform::fillRect(tile, {8, 8, 24, 24}, colours[4]);
    return tile;
}

// A point west of the view centre, km away as geoDistanceKm measures it.
GeoPoint kilometresWest(const MapView& view, double km) {
    GeoPoint p;
    p.lat = view.centerLat;
    p.lon = view.centerLon - km / (std::cos(view.centerLat / 180.0 * kPiDistance) * 6378.137) * 180.0 / kPiDistance;
    return p;
}

TEST(FrameGolden, PlaceholderMosaicWithControlsOnA480x272Screen) {
    MapScreen s(480, 272);
    s.gps.satellites = 12;
    s.gps.batteryPercent = 255;
    s.compose();
    EXPECT_TRUE(matchesGolden(s.window, "frame_placeholder_480x272"));
    s.view.hudMode = 1;
    s.compose();
    EXPECT_TRUE(matchesGolden(s.window, "frame_hud1_480x272"));
    s.view.hudMode = 2;
    s.compose();
    EXPECT_TRUE(matchesGolden(s.window, "frame_hud2_480x272"));
}

TEST(FrameGolden, TilesGridOverlaysAndReadOutsOnAn800x480Screen) {
    MapScreen s(800, 480);
    s.view.zoomLevel = 15;
    const WorldPosition home = projectToWorld(s.view, s.view.centerLat, s.view.centerLon);
    for (std::int64_t c = home.col - 4; c <= home.col + 4; ++c) {
        for (std::int64_t r = home.row - 3; r <= home.row + 3; ++r) {
            if (c != home.col + 1 || r != home.row) s.tiles.add(15, c, r, flatTile(c, r));  // one hole
        }
    }
    s.view.showTileGrid = true;
    s.view.followGps = true;
    s.view.pointMode = true;
    s.view.showTapPosition = true;
    s.view.tapX = 123;
    s.view.tapY = 321;
    s.idle.autoOffEnabled = true;
    s.gps.batteryPercent = 0;
    s.gps.satellites = 5;
    s.compose();  // bounds for placing the paths

    const MapView& v = s.view;
    // In, out past the right edge and far away, back in from above: two strokes.
    s.view.tracks.append(pathThrough(v, {{100, 420}, {300, 370}, {900, 300}, {1200, 100}, {1000, -100}, {600, 60}, {520, 200}}));
    GpxPath route = pathThrough(v, {{150, 300}, {250, 250}, {350, 300}, {450, 240}, {850, 200}});
    s.view.routes.append(route);
    s.gps.track = pathThrough(v, {{200, 90}, {260, 120}, {330, 130}, {380, 160}});
    s.gps.track.addPoint(geoAt(v, 430, 160));
    s.gps.track.points.at(4).lat = s.gps.track.points[3].lat;  // the last step due east
    GpxPath current;
    current.addPoint(kilometresWest(v, 0.9994));
    current.addPoint(geoAt(v, 200, 330));
    current.addPoint(geoAt(v, 270, 390));
    s.view.currentRoute = current;
    ASSERT_EQ(routeDistanceText(geoDistanceKm(current.points[0], GeoPoint{v.centerLat, v.centerLon, 0, 0, 0})), "999m");

    s.compose();
    EXPECT_TRUE(matchesGolden(s.window, "frame_overlays_800x480"));
}

// The top-right corner at zooms 13, 17, 18 and 25, one above the other: "1K" with no
// tick, "100M" with one tick at half length, "100M" without, "1K".
TEST(FrameGolden, ScaleBars) {
    MapScreen s(480, 272);
    platform::Bitmap strip = platform::createBitmap(250, 4 * 34);
    int row = 0;
    for (const int zoom : {13, 17, 18, 25}) {
        s.view.zoomLevel = zoom;
        platform::fillRect(s.view.frameBitmap, {0, 0, 480, 272}, rgb(255, 255, 255));
        drawScaleBar(s.view);
        platform::blit(strip, 0, row++ * 34, 250, 34, s.view.frameBitmap, 230, 0);
    }
    EXPECT_TRUE(matchesGolden(strip, "scale_bars"));
}

// Arrows for a last step east, north and south-west, side by side, around the notch.
TEST(FrameGolden, HeadingArrows) {
    MapScreen s(480, 272);
    s.compose();
    platform::Bitmap strip = platform::createBitmap(3 * 40, 40);
    const GeoPoint home{s.view.centerLat, s.view.centerLon, 0, 0, 0};
    const double lonStep = 0.001 / std::cos(s.view.centerLat / 180.0 * 3.141592654);  // equal world steps
    const GeoPoint from[] = {{home.lat, home.lon - 0.001, 0, 0, 0},
                             {home.lat - 0.001, home.lon, 0, 0, 0},
                             {home.lat + 0.001, home.lon + lonStep, 0, 0, 0}};
    for (int i = 0; i < 3; ++i) {
        GpxPath track;
        track.addPoint(from[i]);
        track.addPoint(home);
        platform::fillRect(s.view.frameBitmap, {0, 0, 480, 272}, rgb(255, 255, 255));
        drawHeadingArrow(s.view, track);
        platform::blit(strip, i * 40, 0, 40, 40, s.view.frameBitmap, 240 - 20, 136 - 20);
    }
    EXPECT_TRUE(matchesGolden(strip, "heading_arrows"));
}

TEST(FrameGolden, RouteDistanceOfOneKilometre) {
    MapScreen s(480, 272);
    GeoPoint first = kilometresWest(s.view, 1.0 + 1e-9);
    s.view.currentRoute.addPoint(first);
    ASSERT_EQ(routeDistanceText(geoDistanceKm(first, GeoPoint{s.view.centerLat, s.view.centerLon, 0, 0, 0})), "1.0Km");
    platform::fillRect(s.view.frameBitmap, {0, 0, 480, 272}, rgb(255, 255, 255));
    drawRouteDistance(s.view);
    EXPECT_TRUE(matchesGolden(test::crop(s.view.frameBitmap, 236, 132, 64, 30), "route_distance_1km"));
}

}  // namespace
}  // namespace quorel
