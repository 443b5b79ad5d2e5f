#include "map/frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "map/frame_parts.h"
#include "map/overlays.h"
#include "map/projection.h"
#include "platform/raster/raster.h"
#include "tests/unit/map/map_fixture.h"

namespace quorel {
namespace {

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

// While the recorded track does not reach the card, a sign a user notices shows near the
// gauges: a patch of red pixels in the bottom-right corner, and nothing else changes; it
// goes when writing resumes.
TEST(ComposeFrame, ATrackNotReachingTheCardShowsASignAndNothingElse) {
    for (const int width : {480, 800}) {
        MapScreen s(width, width * 272 / 480);
        s.compose();
        const platform::Bitmap writing = s.view.frameBitmap;
        platform::Clock& clock = platform::systemClock();
        s.gps.trackFile.clock = &clock;  // recording, with no log on the card
        s.compose();
        int red = 0, elsewhere = 0;
        for (int y = 0; y < s.view.viewHeight; ++y) {
            for (int x = 0; x < s.view.viewWidth; ++x) {
                const platform::Color now = platform::pixelAt(s.view.frameBitmap, x, y);
                if (now == platform::pixelAt(writing, x, y)) continue;
                const bool corner = x > s.view.viewWidth * 3 / 4 && y > s.view.viewHeight * 3 / 4;
                red += corner && now == platform::rgb(255, 0, 0) ? 1 : 0;
                elsewhere += corner ? 0 : 1;
            }
        }
        EXPECT_GE(red, 200 * width / 480 * width / 480) << width;
        EXPECT_EQ(elsewhere, 0) << width;
        s.gps.trackFile.clock = nullptr;
        s.compose();
        EXPECT_EQ(s.view.frameBitmap.bits, writing.bits) << width;
    }
}

// The frame's pixels after drawing on a blank one.
template <typename Draw>
std::vector<std::uint8_t> onBlank(MapView& view, Draw draw) {
    platform::fillRect(view.frameBitmap, {0, 0, view.viewWidth, view.viewHeight}, platform::rgb(250, 250, 250));
    draw();
    return view.frameBitmap.bits;
}

// No arrow for the jump from where the last journey ended to where this one began (that
// the two runs are two strokes is checked in track_drawing_test.cpp).
TEST(Overlays, NoArrowForTheStepBetweenThePreviousRunAndThisOne) {
    MapScreen s(480, 272);
    s.compose();
    GpxPath justBegun;
    justBegun.addPoint({s.view.centerLat + 0.002, s.view.centerLon - 0.003, 0, 0, 0});
    justBegun.addPoint({s.view.centerLat - 0.002, s.view.centerLon + 0.003, 0, 0, 0});
    s.view.hasHeading = false;
    EXPECT_EQ(onBlank(s.view, [&] { drawHeadingArrow(s.view, justBegun, 1); }), onBlank(s.view, [] {}));
    EXPECT_FALSE(s.view.hasHeading);
}

// Arrows for a last step east, north and south-west: the notch on the newest point (the
// view centre), the tip 15 pixels ahead, the wings 7.5 pixels back at 135 degrees.
TEST(Overlays, HeadingArrowsPointTheWayOfTheLastStep) {
    MapScreen s(480, 272);
    s.compose();
    const double lat = s.view.centerLat, lon = s.view.centerLon;
    const double lonStep = 0.001 / std::cos(lat / 180.0 * 3.141592654);  // equal steps in world pixels
    const struct {
        GeoPoint from;
        double heading;  // radians clockwise from east
    } steps[] = {
        {{lat, lon - 0.001, 0, 0, 0}, 0.0},
        {{lat - 0.001, lon, 0, 0, 0}, -1.570796326795},  // as the program writes it: the tip truncates to x 239
        {{lat + 0.001, lon + lonStep, 0, 0, 0}, 3 * std::numbers::pi / 4}};
    for (int i = 0; i < 3; ++i) {
        GpxPath track;
        track.addPoint(steps[i].from);
        track.addPoint(GeoPoint{lat, lon, 0, 0, 0});
        platform::fillRect(s.view.frameBitmap, {0, 0, 480, 272}, platform::rgb(255, 255, 255));
        drawHeadingArrow(s.view, track);
        const auto black = [&](double angle, double length) {
            return platform::pixelAt(s.view.frameBitmap, static_cast<int>(240 + length * std::cos(angle)),
                                     static_cast<int>(136 + length * std::sin(angle))) == 0u;
        };
        const double a = steps[i].heading, pi = std::numbers::pi;
        EXPECT_TRUE(black(a, 0)) << i;
        EXPECT_TRUE(black(a, 15)) << i;
        EXPECT_FALSE(black(a, 17)) << i;
        for (const double wing : {a + 0.75 * pi, a - 0.75 * pi}) {
            EXPECT_TRUE(black(wing, 7.5)) << i;
            EXPECT_FALSE(black(wing, 10.5)) << i;
        }
    }
}

TEST(FrameParts, DistanceTexts) {
    for (const auto& [km, text] : {std::pair{0.9994, "999m"}, {1.0, "1.0Km"}, {0.9996, "1000m"}, {12.36, "12.4Km"}}) {
        EXPECT_EQ(routeDistanceText(km), text) << km;
    }
}

}  // namespace
}  // namespace quorel
