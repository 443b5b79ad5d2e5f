#include "map/frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

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

TEST(ComposeFrame, ARequestWhileDrawingIsDropped) {
    MapScreen s(480, 272);
    s.view.drawing = true;
    s.compose(RedrawKind::Normal);
    s.compose(RedrawKind::Recentred);
    EXPECT_TRUE(s.view.framesComposed == 0 && s.tiles.asked.empty() && !s.view.frameReady);
    s.view.drawing = false;
    s.compose();
    EXPECT_TRUE(s.view.framesComposed == 1 && s.view.frameReady && !s.view.drawing);
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
        {0, 25, 1, 26, true, false},    {5, 20, 6, 21, true, false},   // on the bottom and left bounds
    };
    for (const auto& c : cases) {
        EXPECT_EQ(segmentMayBeVisible(view, {c.lat0, c.lon0, 0, 0, 0}, {c.lat1, c.lon1, 0, 0, 0}), c.segment) << c.lat0;
        EXPECT_EQ(pointInView(view, c.lat0, c.lon0), c.pin) << c.lat0 << "," << c.lon0;
    }
}

// The frame's pixels after drawing on a blank one.
template <typename Draw>
std::vector<std::uint8_t> onBlank(MapView& view, Draw draw) {
    platform::fillRect(view.frameBitmap, {0, 0, view.viewWidth, view.viewHeight}, platform::rgb(250, 250, 250));
    draw();
    return view.frameBitmap.bits;
}

TEST(Overlays, TheArrowKeepsItsLastDirectionWhenTheNewestPointsCoincide) {
    MapScreen s(480, 272);
    s.compose();
    const auto arrow = [&](const GpxPath& track) { return onBlank(s.view, [&] { drawHeadingArrow(s.view, track); }); };
    const GeoPoint home{s.view.centerLat, s.view.centerLon, 0, 0, 0};
    const GeoPoint east{s.view.centerLat, s.view.centerLon + 0.0001, 0, 0, 0};
    GpxPath track;
    track.addPoint(home);
    track.addPoint(home);
    EXPECT_EQ(arrow(track), arrow(GpxPath{}));  // standing still from the start: no arrow
    track.addPoint(east);
    const auto eastward = arrow(track);
    EXPECT_NE(eastward, arrow(GpxPath{}));
    track.addPoint(east);
    EXPECT_EQ(arrow(track), eastward);
}

// The previous run's log and this run's points are two strokes: no line from where the
// last journey ended to where this one began, and no arrow for that jump.
TEST(Overlays, TheRecordedTrackDoesNotJoinThePreviousRunToThisOne) {
    MapScreen s(480, 272);
    s.compose();
    GpxPath previous, current;
    for (const double dLon : {-0.004, -0.003}) previous.addPoint({s.view.centerLat + 0.002, s.view.centerLon + dLon, 0, 0, 0});
    for (const double dLon : {0.003, 0.004}) current.addPoint({s.view.centerLat - 0.002, s.view.centerLon + dLon, 0, 0, 0});
    GpxPath both = previous;
    both.addPoint(current.points[0]);
    both.addPoint(current.points[1]);
    const auto apart = onBlank(s.view, [&] {
        drawGpsTrack(s.view, previous, 0);
        drawGpsTrack(s.view, current, 0);
    });
    EXPECT_EQ(onBlank(s.view, [&] { drawGpsTrack(s.view, both, 2); }), apart);
    EXPECT_NE(onBlank(s.view, [&] { drawGpsTrack(s.view, both, 0); }), apart);  // one run: one stroke

    GpxPath justBegun;
    justBegun.addPoint(previous.points[1]);
    justBegun.addPoint(current.points[0]);
    s.view.hasHeading = false;
    EXPECT_EQ(onBlank(s.view, [&] { drawHeadingArrow(s.view, justBegun, 1); }), onBlank(s.view, [] {}));
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
