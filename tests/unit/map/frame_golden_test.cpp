#include <gtest/gtest.h>

#include <cmath>
#include <string>

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

GpxPath pathThrough(const MapView& view, std::initializer_list<std::pair<int, int>> pixels) {
    GpxPath path;
    for (const auto& [x, y] : pixels) {
        const GeoCoord g = screenToGeo(view, x, y);
        path.addPoint(GeoPoint{g.lat, g.lon, 0, 0, 0});
    }
    return path;
}

// km west of the view centre as geoDistanceKm measures it.
GeoPoint kilometresWest(const MapView& view, double km) {
    const double perDegree = std::cos(view.centerLat / 180.0 * kPiDistance) * 6378.137 * kPiDistance / 180.0;
    return GeoPoint{view.centerLat, view.centerLon - km / perDegree, 0, 0, 0};
}

void whiten(MapView& view) {
    platform::fillRect(view.frameBitmap, {0, 0, view.viewWidth, view.viewHeight}, rgb(255, 255, 255));
}

// Placeholders, the buttons, battery 255 (four bars), twelve satellites (nine bars), the
// zoom number, "X", the 1000 m bar and the cross; then mirrored both ways.
TEST(FrameGolden, PlaceholderMosaicAndControlsOnA480x272Screen) {
    MapScreen s(480, 272);
    s.gps.satellites = 12;
    for (const int hud : {0, 1, 2}) {
        s.view.hudMode = hud;
        s.compose();
        const std::string name = hud == 0 ? "frame_placeholder" : "frame_hud" + std::to_string(hud);
        EXPECT_TRUE(matchesGolden(s.window, name + "_480x272"));
    }
}

// Flat tiles with one hole, the tile grid, a red track cut into two strokes where it
// leaves the view, a red route with pins on its points, the cyan recorded track ending
// due east with its arrow, the magenta current route 999 m from the centre, the tap
// read-out, point mode, following, the bulb on, battery 0.
TEST(FrameGolden, TilesGridOverlaysAndReadOutsOnAn800x480Screen) {
    MapScreen s(800, 480);
    s.view.zoomLevel = 15;
    const WorldPosition home = projectToWorld(s.view, s.view.centerLat, s.view.centerLon);
    const platform::Color colours[] = {rgb(236, 232, 220), rgb(214, 232, 204), rgb(220, 228, 240),
                                       rgb(240, 224, 214), rgb(90, 90, 90)};
    for (std::int64_t c = home.col - 4; c <= home.col + 4; ++c) {
        for (std::int64_t r = home.row - 3; r <= home.row + 3; ++r) {
            platform::Bitmap tile = platform::createDib(256, -256, 4, colours);
            platform::fillRect(tile, {0, 0, 256, 256}, colours[(c % 2) * 2 + (r % 2)]);
            platform::fillRect(tile, {8, 8, 24, 24}, colours[4]);
            if (c != home.col + 1 || r != home.row) s.tiles.pictures[test::FakeTiles::name(15, c, r)] = tile;
        }
    }
    s.view.showTileGrid = s.view.followGps = s.view.pointMode = s.view.showTapPosition = true;
    s.view.tapX = 123;
    s.view.tapY = 321;
    s.idle.autoOffEnabled = true;
    s.gps.batteryPercent = 0;
    s.gps.satellites = 5;
    s.compose();  // view bounds for placing the paths

    const MapView& v = s.view;
    s.view.tracks.append(
        pathThrough(v, {{100, 420}, {300, 370}, {900, 300}, {1200, 100}, {1000, -100}, {600, 60}, {520, 200}}));
    s.view.routes.append(pathThrough(v, {{150, 300}, {250, 250}, {350, 300}, {450, 240}, {850, 200}}));
    s.gps.track = pathThrough(v, {{200, 90}, {260, 120}, {330, 130}, {380, 160}, {430, 160}});
    s.gps.track.points.at(4).lat = s.gps.track.points[3].lat;
    GpxPath current = pathThrough(v, {{0, 0}, {200, 330}, {270, 390}});
    current.points.at(0) = kilometresWest(v, 0.9994);
    s.view.currentRoute = current;
    s.compose();
    EXPECT_TRUE(matchesGolden(s.window, "frame_overlays_800x480"));
}

// Top-right corners at zooms 13, 17, 18, 25: "1K"; "100M" with a tick at half length;
// "100M" without; "1K". Then arrows for a last step east, north and south-west.
TEST(FrameGolden, ScaleBarsAndHeadingArrows) {
    MapScreen s(480, 272);
    platform::Bitmap bars = platform::createBitmap(250, 4 * 34);
    const int zooms[] = {13, 17, 18, 25};
    for (int i = 0; i < 4; ++i) {
        s.view.zoomLevel = zooms[i];
        whiten(s.view);
        drawScaleBar(s.view);
        platform::blit(bars, 0, i * 34, 250, 34, s.view.frameBitmap, 230, 0);
    }
    EXPECT_TRUE(matchesGolden(bars, "scale_bars"));

    s.view.zoomLevel = 14;
    s.compose();
    platform::Bitmap arrows = platform::createBitmap(3 * 40, 40);
    const double lat = s.view.centerLat, lon = s.view.centerLon;
    const double lonStep = 0.001 / std::cos(lat / 180.0 * 3.141592654);  // equal steps in world pixels
    const GeoPoint from[] = {
        {lat, lon - 0.001, 0, 0, 0}, {lat - 0.001, lon, 0, 0, 0}, {lat + 0.001, lon + lonStep, 0, 0, 0}};
    for (int i = 0; i < 3; ++i) {
        GpxPath track;
        track.addPoint(from[i]);
        track.addPoint(GeoPoint{lat, lon, 0, 0, 0});
        whiten(s.view);
        drawHeadingArrow(s.view, track);
        platform::blit(arrows, i * 40, 0, 40, 40, s.view.frameBitmap, 220, 116);
    }
    EXPECT_TRUE(matchesGolden(arrows, "heading_arrows"));
}

TEST(FrameGolden, RouteDistanceOfOneKilometre) {
    MapScreen s(480, 272);
    s.view.currentRoute.addPoint(kilometresWest(s.view, 1.0 + 1e-9));
    whiten(s.view);
    drawRouteDistance(s.view);
    platform::Bitmap readOut = platform::createBitmap(64, 30);
    platform::blit(readOut, 0, 0, 64, 30, s.view.frameBitmap, 236, 132);
    EXPECT_TRUE(matchesGolden(readOut, "route_distance_1km"));
}

}  // namespace
}  // namespace quorel
