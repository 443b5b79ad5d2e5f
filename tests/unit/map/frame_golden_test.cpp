// Golden frames. tests/golden/README.md says what a reviewer checked in each image; what
// can be computed is asserted here as well.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "map/colours.h"
#include "map/frame_parts.h"
#include "map/night.h"
#include "map/overlays.h"
#include "map/present.h"
#include "tests/support/golden.h"
#include "tests/unit/map/map_fixture.h"

namespace quorel {
namespace {

using platform::pixelAt;
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

// The black pixels of a row, as '#'.
std::string blackIn(const platform::Bitmap& b, int y) {
    std::string marks;
    for (int x = 0; x < b.width; ++x) marks += pixelAt(b, x, y) == 0u ? '#' : '.';
    return marks;
}

// Placeholders, the buttons, battery 255 (four bars), twelve satellites (nine bars), the
// zoom number, "X", the 1000 m bar and the cross. Head-up modes 1 and 2 show the same
// frame mirrored left to right and top to bottom, pixel for pixel.
TEST(FrameGolden, PlaceholderMosaicAndControlsOnA480x272Screen) {
    MapScreen s(480, 272);
    s.gps.satellites = 12;
    s.compose();
    EXPECT_TRUE(matchesGolden(s.window, "frame_placeholder_480x272"));
    EXPECT_EQ(pixelAt(s.window, 240, 126), 0u);  // the cross's arms, 10 pixels from the centre
    EXPECT_EQ(pixelAt(s.window, 250, 136), 0u);
    // The scale bar ends 15 pixels from the edge and spans 1000 m over the ground size of
    // a pixel at this latitude and zoom 14.
    const double metresPerPixel =
        std::cos(s.view.centerLat * std::numbers::pi / 180.0) * 2 * std::numbers::pi * 6378137.0 / std::pow(2.0, 22);
    EXPECT_NEAR(static_cast<double>(blackIn(s.window, 30).find('#', 100)), 465 - 1000 / metresPerPixel,
                1.5);  // right of the buttons
    EXPECT_EQ(blackIn(s.window, 30).rfind('#'), 465u);
    const platform::Bitmap plain = s.window;
    for (const int hud : {1, 2}) {
        s.view.hudMode = hud;
        s.compose();
        int differing = 0;
        for (int y = 0; y < 272; ++y) {
            for (int x = 0; x < 480; ++x) {
                differing +=
                    pixelAt(s.window, x, y) != (hud == 1 ? pixelAt(plain, 479 - x, y) : pixelAt(plain, x, 271 - y));
            }
        }
        EXPECT_EQ(differing, 0) << "head-up mode " << hud;
    }
}

// A turned screen (sides no multiple of the turn's blocks) shows, pixel for pixel, the frame
// of its turned shape, turned clockwise; a head-up mirror applies before the turn.
TEST(FrameGolden, ATurnedScreenShowsTheFrameOfItsShapeTurned) {
    for (const int rotation : {90, 180, 270}) {
        for (const int hud : {0, 1, 2}) {
            const int w = rotation == 180 ? 478 : 271, h = rotation == 180 ? 271 : 478;
            MapScreen upright(w, h);
            MapScreen turned(478, 271, rotation);
            for (MapScreen* s : {&upright, &turned}) {
                const WorldPosition centre = projectToWorld(s->view, s->view.centerLat, s->view.centerLon);
                s->tiles.addAround(14, centre.col, centre.row, 3);
                s->view.hudMode = hud;
                s->view.pointMode = true;
                s->view.showTapPosition = true;
                s->view.tapX = 30;
                s->view.tapY = 200;
                s->view.currentRoute = pathThrough(s->view, {{40, 60}, {w - 20, h / 2}, {w / 3, h - 10}});
                s->gps.satellites = 5;
                s->compose();
            }
            ASSERT_EQ(turned.view.viewWidth, w);
            for (const TurnVectors vectors : {TurnVectors::Widest, TurnVectors::Portable}) {
                std::fill(turned.window.bits.begin(), turned.window.bits.end(), 0x5a);
                presentFrame(turned.view, vectors);
                int differing = 0;
                for (int y = 0; y < h; ++y) {
                    for (int x = 0; x < w; ++x) {
                        const int tx = rotation == 90 ? h - 1 - y : rotation == 180 ? w - 1 - x : y;
                        const int ty = rotation == 90 ? x : rotation == 180 ? h - 1 - y : w - 1 - x;
                        differing += pixelAt(turned.window, tx, ty) != pixelAt(upright.window, x, y);
                    }
                }
                EXPECT_EQ(differing, 0) << rotation << " degrees, head-up mode " << hud << ", widest vectors "
                                        << (vectors == TurnVectors::Widest);
            }
        }
    }
}

// Flat tiles with one hole, the tile grid, a red track cut into two strokes where it
// leaves the view, a red route with pins on its points, the cyan recorded track ending
// due east with its arrow, the magenta current route 999 m from the centre, the tap
// read-out, point mode, following, the bulb on, battery 0.
TEST(FrameGolden, TilesGridOverlaysAndReadOutsOnAn800x480Screen) {
    MapScreen s(800, 480);
    MapView& v = s.view;
    v.zoomLevel = 15;
    const WorldPosition home = projectToWorld(v, v.centerLat, v.centerLon);
    const platform::Color colours[] = {rgb(236, 232, 220), rgb(214, 232, 204), rgb(220, 228, 240), rgb(240, 224, 214),
                                       rgb(90, 90, 90)};
    for (std::int64_t c = home.col - 4; c <= home.col + 4; ++c) {
        for (std::int64_t r = home.row - 3; r <= home.row + 3; ++r) {
            platform::Bitmap tile = platform::createDib(256, -256, 4, colours);
            platform::fillRect(tile, {0, 0, 256, 256}, colours[(c % 2) * 2 + (r % 2)]);
            platform::fillRect(tile, {8, 8, 24, 24}, colours[4]);
            if (c != home.col + 1 || r != home.row) s.tiles.pictures[test::FakeTiles::name(15, c, r)] = tile;
        }
    }
    v.showTileGrid = v.followGps = v.pointMode = v.showTapPosition = true;
    v.tapX = 123;
    v.tapY = 321;
    s.idle.autoOffEnabled = true;
    s.gps.batteryPercent = 0;
    s.gps.satellites = 5;
    s.compose();  // view bounds for placing the paths
    v.tracks.append(
        pathThrough(v, {{100, 420}, {300, 370}, {900, 300}, {1200, 100}, {1000, -100}, {600, 60}, {520, 200}}));
    v.routes.append(pathThrough(v, {{150, 300}, {250, 250}, {350, 300}, {450, 240}, {850, 200}}));
    s.gps.track = pathThrough(v, {{200, 90}, {260, 120}, {330, 130}, {380, 160}, {430, 160}});
    s.gps.track.points.at(4).lat = s.gps.track.points[3].lat;
    v.currentRoute = pathThrough(v, {{0, 0}, {200, 330}, {270, 390}});
    const double kmPerDegree = std::cos(v.centerLat / 180.0 * std::numbers::pi) * 6378.137 * std::numbers::pi / 180.0;
    v.currentRoute.points.at(0) = GeoPoint{v.centerLat, v.centerLon - 0.9994 / kmPerDegree, 0, 0, 0};  // 999 m west
    s.compose();
    EXPECT_TRUE(matchesGolden(s.window, "frame_overlays_800x480"));

    // The view centre shows the centre's world pixel, so tile edges lie 256 apart from there.
    for (int x = static_cast<int>((400 - home.px) % 256); x < 800; x += 256) {
        EXPECT_EQ(pixelAt(s.window, x, 470), rgb(255, 0, 0)) << x;
    }
    for (int y = static_cast<int>((240 - home.py) % 256); y < 480; y += 256) {
        EXPECT_EQ(pixelAt(s.window, 700, y), rgb(255, 0, 0)) << y;
    }
    // The last row of each pin's needle (grey 32, ANDed) lies just above its route point.
    const GeoPoint pinned[] = {v.routes[0].points[0], v.routes[0].points[3], v.currentRoute.points[0],
                               v.currentRoute.points[2]};
    for (const GeoPoint& p : pinned) {
        const WorldPosition at = projectToWorld(v, p.lat, p.lon);
        for (const std::int64_t x : {at.wx - v.viewOriginX - 1, at.wx - v.viewOriginX}) {
            const platform::Color tip =
                pixelAt(s.window, static_cast<int>(x), static_cast<int>(at.wy - v.viewOriginY - 1));
            EXPECT_LE(std::max({platform::redOf(tip), platform::greenOf(tip), platform::blueOf(tip)}), 32) << x;
        }
    }
}

// Night: tiles darkened once as they enter the mosaic, buttons and gauges from their
// darkened pictures, the recorded track, arrow, scale bar, cross and labels in the night
// palette. Switching costs one refill of the mosaic, and night frames load nothing more.
TEST(FrameGolden, NightOnA320x200Screen) {
    MapScreen s(320, 200);
    MapView& v = s.view;
    const WorldPosition home = projectToWorld(v, v.centerLat, v.centerLon);
    s.tiles.addAround(14, home.col, home.row, 3);
    s.gps.satellites = 6;
    s.compose();
    const platform::Bitmap day = s.window;
    const std::size_t cells = static_cast<std::size_t>(v.mosaicCols) * static_cast<std::size_t>(v.mosaicRows);
    ASSERT_EQ(s.tiles.asked.size(), cells);

    v.night = true;
    s.gps.track = pathThrough(v, {{100, 150}, {160, 100}});
    s.compose();
    EXPECT_EQ(s.tiles.asked.size(), 2 * cells);  // one refill
    s.compose();
    EXPECT_EQ(s.tiles.asked.size(), 2 * cells);  // and nothing per frame
    EXPECT_TRUE(matchesGolden(s.window, "frame_night_320x200"));
    // The map and the zoom-in button are their day pixels darkened; the cross is in the ink colour.
    for (const auto& [x, y] : {std::pair{200, 60}, {300, 190}, {v.zoomUpButton->left + 9, v.zoomUpButton->top + 9}}) {
        EXPECT_EQ(pixelAt(s.window, x, y), nightColorOf(pixelAt(day, x, y))) << x << "," << y;
    }
    EXPECT_EQ(pixelAt(s.window, 160, 95), kNightPalette.ink);

    v.night = false;
    s.gps.track = GpxPath{};
    s.compose();
    EXPECT_EQ(s.tiles.asked.size(), 3 * cells);
    EXPECT_EQ(s.window.bits, day.bits);
}

}  // namespace
}  // namespace quorel
