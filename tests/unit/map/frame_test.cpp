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

TEST(ComposeFrame, AnyCentreZoomTapOrTrackComposesWithoutFault) {
    const double inf = std::numeric_limits<double>::infinity();
    GpxPath path;
    for (const double v : {kNan, 0.0, inf, -90.0, 90.0, -1e300, 0.0}) path.addPoint(GeoPoint{v, v, v, 0, 0});
    for (const int zoom : {std::numeric_limits<int>::min(), -3, 23, 60, std::numeric_limits<int>::max()}) {
        for (const double lat : {90.0, -90.0, kNan, inf, 1e300}) {
            MapScreen s(97, 61);  // an odd little screen
            s.view.zoomLevel = zoom;
            s.view.centerLat = s.view.centerLon = lat;
            s.view.showTapPosition = s.view.pointMode = s.view.showTileGrid = true;
            s.view.tapX = std::numeric_limits<int>::max();
            s.gps.satellites = std::numeric_limits<int>::min();
            s.view.tracks.append(path);
            s.view.routes.append(path);
            s.view.currentRoute = s.gps.track = path;
            s.compose();
            s.compose(RedrawKind::Recentred);
            EXPECT_TRUE(s.view.frameReady);
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

// A view of +-0.25 degrees around 0, 0 at zoom 8 on a bitmap reaching +-0.8 degrees, so
// that segments drawn outside the view show. Points {lat, lon} in tenths of a degree, and
// the segments drawn: the visible ones, and the first invisible one after a visible one
// (it finishes the stroke that leaves the view).
TEST(Overlays, APathLeavingTheViewFinishesItsSegmentThenLiftsThePen) {
    MapView view;
    view.zoomLevel = 8;
    view.viewTopLeftLat = view.viewBottomRightLon = 0.25;
    view.viewBottomRightLat = view.viewTopLeftLon = -0.25;
    const WorldPixel origin = projectToWorldAtZoom(0.8, -0.8, 8);
    view.viewOriginX = origin.x;
    view.viewOriginY = origin.y;
    const struct {
        const char* what;
        std::vector<std::pair<int, int>> points;
        std::vector<int> drawn;
    } cases[] = {
        {"entering", {{0, -6}, {0, -4}, {0, 0}, {1, 1}}, {1, 2}},
        {"leaving", {{0, 0}, {0, 1}, {0, 4}, {0, 6}, {3, 6}}, {0, 1, 2}},
        {"passing across", {{-5, -6}, {1, -5}, {1, 5}, {5, 6}, {6, 6}}, {1, 2}},
        {"staying outside", {{-5, -5}, {-5, 5}, {5, 5}, {5, -5}}, {}},
        {"leaving and coming back", {{0, 0}, {0, 5}, {5, 5}, {5, 0}, {0, 0}}, {0, 1, 3}},
        {"past a corner", {{4, -2}, {2, -4}}, {0}},
    };
    for (const auto& c : cases) {
        GpxPath path;
        std::vector<WorldPixel> at;
        for (const auto& [lat, lon] : c.points) {
            path.addPoint(GeoPoint{lat / 10.0, lon / 10.0, 0, 0, 0});
            at.push_back(projectToWorldAtZoom(lat / 10.0, lon / 10.0, 8));
        }
        platform::Bitmap drawn = platform::createBitmap(300, 300), want = drawn;
        platform::Canvas canvas(drawn);
        canvas.pen = platform::Pen{platform::rgb(255, 0, 0), 1};
        drawPath(view, canvas, path);
        for (const int k : c.drawn) {
            platform::drawLine(want, at[k].x - origin.x, at[k].y - origin.y, at[k + 1].x - origin.x, at[k + 1].y - origin.y, canvas.pen);
        }
        EXPECT_EQ(drawn.bits, want.bits) << c.what;
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

TEST(FrameParts, DistanceTexts) {
    for (const auto& [km, text] : {std::pair{0.9994, "999m"}, {1.0, "1.0Km"}, {0.9996, "1000m"}, {12.36, "12.4Km"}}) {
        EXPECT_EQ(routeDistanceText(km), text) << km;
    }
}

}  // namespace
}  // namespace quorel
