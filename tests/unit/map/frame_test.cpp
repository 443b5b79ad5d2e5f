#include "map/frame.h"

#include <gtest/gtest.h>

#include <limits>

#include "map/frame_parts.h"
#include "map/overlays.h"
#include "map/projection.h"
#include "platform/raster/raster.h"
#include "tests/unit/map/map_fixture.h"

namespace quorel {
namespace {

using platform::pixelAt;
using test::MapScreen;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

TEST(ComposeFrame, ARecentredFrameInsideTheCentreTileShiftsTheOldWindowAndLoadsNothing) {
    MapScreen s(480, 272);
    for (std::int64_t c = 14549; c <= 14557; ++c) {
        for (std::int64_t r = 6394; r <= 6402; ++r) s.tiles.add(14, c, r, static_cast<int>(c + r) & 255);
    }
    s.compose();
    const platform::Bitmap before = s.window;
    const int offsetX = s.view.mosaicOffsetX, offsetY = s.view.mosaicOffsetY;
    s.tiles.asked.clear();
    s.centreOn(240 + 9, 136 - 7);  // home lies 39 pixels into its tile: the centre stays in it
    s.compose(RedrawKind::Recentred);

    EXPECT_TRUE(s.tiles.asked.empty());
    EXPECT_EQ(s.view.mosaicOffsetX, offsetX + 9);
    EXPECT_EQ(s.view.mosaicOffsetY, offsetY - 7);
    for (const auto& [x, y] : {std::pair{100, 150}, std::pair{300, 200}, std::pair{400, 240}}) {  // map only
        EXPECT_EQ(pixelAt(s.window, x, y), pixelAt(before, x + 9, y - 7)) << x << "," << y;
    }
}

TEST(ComposeFrame, ARequestWhileDrawingIsDropped) {
    MapScreen s(480, 272);
    s.view.drawing = true;
    s.compose(RedrawKind::Normal);
    s.compose(RedrawKind::Recentred);
    EXPECT_EQ(s.view.framesComposed, 0);
    EXPECT_TRUE(s.tiles.asked.empty());
    EXPECT_FALSE(s.view.frameReady);
    s.view.drawing = false;
    s.compose();
    EXPECT_EQ(s.view.framesComposed, 1);
    EXPECT_TRUE(s.view.frameReady);
    EXPECT_FALSE(s.view.drawing);
}

TEST(ComposeFrame, AnyCentreZoomTapOrTrackComposesWithoutFault) {
    const double inf = std::numeric_limits<double>::infinity();
    for (const int zoom : {std::numeric_limits<int>::min(), -3, 23, 60, std::numeric_limits<int>::max()}) {
        for (const double lat : {90.0, -90.0, kNan, inf, 1e300}) {
            MapScreen s(97, 61);  // an odd little screen
            s.view.zoomLevel = zoom;
            s.view.centerLat = s.view.centerLon = lat;
            s.view.showTapPosition = s.view.pointMode = s.view.showTileGrid = true;
            s.view.tapX = std::numeric_limits<int>::max();
            s.view.tapY = std::numeric_limits<int>::min();
            s.gps.satellites = std::numeric_limits<int>::min();
            GpxPath path;
            for (const double v : {kNan, 0.0, inf, -90.0, 90.0, -1e300, 0.0}) path.addPoint(GeoPoint{v, v, v, 0, 0});
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

TEST(Overlays, CullingKeepsSegmentsTouchingTheViewAndPinsStrictlyInside) {
    MapView view;  // latitude 0 to 10, longitude 20 to 30
    view.viewTopLeftLat = 10.0;
    view.viewTopLeftLon = 20.0;
    view.viewBottomRightLon = 30.0;
    const struct {
        double lat0, lon0, lat1, lon1;
        bool segment, pin;  // the segment may be visible; its first point gets a pin
    } cases[] = {
        {5, 25, 6, 26, true, true},     {5, 35, 6, 31, false, false},  // east, given backwards
        {11, 25, 12, 22, false, false}, {-1, 25, -3, 22, false, false},
        {5, 30, 6, 40, true, false},    {10, 22, 12, 22, true, false},  // touching a bound
        {-5, 15, 15, 35, true, false},  {kNan, 25, 5, 25, true, false}, // past a corner; no number
    };
    for (const auto& c : cases) {
        EXPECT_EQ(segmentMayBeVisible(view, {c.lat0, c.lon0, 0, 0, 0}, {c.lat1, c.lon1, 0, 0, 0}), c.segment) << c.lat0;
        EXPECT_EQ(pointInView(view, c.lat0, c.lon0), c.pin) << c.lat0 << "," << c.lon0;
    }
}

TEST(Overlays, TheArrowKeepsItsLastDirectionWhenTheNewestPointsCoincide) {
    MapScreen s(480, 272);
    s.compose();
    const auto drawn = [&](const GpxPath& track) {
        platform::fillRect(s.view.frameBitmap, {0, 0, 480, 272}, platform::rgb(250, 250, 250));
        drawHeadingArrow(s.view, track);
        return s.view.frameBitmap.bits;
    };
    const GeoPoint home{s.view.centerLat, s.view.centerLon, 0, 0, 0};
    const GeoPoint east{s.view.centerLat, s.view.centerLon + 0.0001, 0, 0, 0};
    GpxPath track;
    track.addPoint(home);
    track.addPoint(home);
    EXPECT_EQ(drawn(track), drawn(GpxPath{}));  // standing still from the start: no arrow
    GpxPath moving = track;
    moving.addPoint(east);
    const auto arrow = drawn(moving);
    EXPECT_NE(arrow, drawn(GpxPath{}));
    moving.addPoint(east);
    EXPECT_EQ(drawn(moving), arrow);
}

// The previous run's log and this run's points are two strokes: no line from where the
// last journey ended to where this one began, and no arrow for that jump.
TEST(Overlays, TheRecordedTrackDoesNotJoinThePreviousRunToThisOne) {
    MapScreen s(480, 272);
    s.compose();
    const double lat = s.view.centerLat, lon = s.view.centerLon;
    GpxPath track;
    for (const double dLon : {-0.004, -0.003}) track.addPoint({lat + 0.002, lon + dLon, 0, 0, 0});  // previous run
    for (const double dLon : {0.003, 0.004}) track.addPoint({lat - 0.002, lon + dLon, 0, 0, 0});    // this run
    const auto midpointInk = [&](int previousRunPoints) {
        platform::fillRect(s.view.frameBitmap, {0, 0, 480, 272}, platform::rgb(250, 250, 250));
        computeViewBounds(s.view);
        drawGpsTrack(s.view, track, previousRunPoints);
        const GeoPoint& a = track.points[1];
        const GeoPoint& b = track.points[2];
        const WorldPosition pa = projectToWorld(s.view, a.lat, a.lon), pb = projectToWorld(s.view, b.lat, b.lon);
        return platform::pixelAt(s.view.frameBitmap, static_cast<int>((pa.wx + pb.wx) / 2 - s.view.viewOriginX),
                                 static_cast<int>((pa.wy + pb.wy) / 2 - s.view.viewOriginY));
    };
    EXPECT_EQ(midpointInk(0), platform::rgb(0, 255, 255));     // one run: one stroke through the middle
    EXPECT_EQ(midpointInk(2), platform::rgb(250, 250, 250));   // two runs: nothing between them

    GpxPath justBegun;
    justBegun.addPoint(track.points[1]);
    justBegun.addPoint(track.points[2]);
    s.view.hasHeading = false;
    platform::fillRect(s.view.frameBitmap, {0, 0, 480, 272}, platform::rgb(250, 250, 250));
    const auto blank = s.view.frameBitmap.bits;
    drawHeadingArrow(s.view, justBegun, 1);
    EXPECT_EQ(s.view.frameBitmap.bits, blank);
    EXPECT_FALSE(s.view.hasHeading);
}

TEST(FrameParts, DistanceTextsAndBatteryCells) {
    for (const auto& [km, text] : {std::pair{0.9994, "999m"}, {1.0, "1.0Km"}, {0.9996, "1000m"}, {12.36, "12.4Km"}}) {
        EXPECT_EQ(routeDistanceText(km), text) << km;
    }
    for (const auto& [percent, cell] :
         {std::pair{255, 0}, {75, 0}, {74, 1}, {50, 1}, {49, 2}, {25, 2}, {24, 3}, {1, 3}, {0, 4}}) {
        EXPECT_EQ(batteryCell(percent), cell) << percent;
    }
}

}  // namespace
}  // namespace quorel
