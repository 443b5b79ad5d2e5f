#include "map/overlays.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "map/projection.h"
#include "platform/raster/raster.h"
#include "tests/unit/map/map_fixture.h"

namespace quorel {
namespace {

using platform::pixelAt;
using platform::rgb;

GeoPoint at(double lat, double lon) {
    GeoPoint p;
    p.lat = lat;
    p.lon = lon;
    return p;
}

// A view whose bounds are latitude 0 to 10 and longitude 20 to 30.
MapView boundedView() {
    MapView view;
    view.viewTopLeftLat = 10.0;
    view.viewBottomRightLat = 0.0;
    view.viewTopLeftLon = 20.0;
    view.viewBottomRightLon = 30.0;
    return view;
}

TEST(Culling, SegmentsAreDroppedOnlyWhenTheirBoxLiesOutside) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        GeoPoint a, b;
        bool visible;
    } cases[] = {
        {at(5, 25), at(6, 26), true},
        {at(5, 31), at(6, 35), false},    // east
        {at(5, 35), at(6, 31), false},    // east, the other way round
        {at(11, 25), at(12, 22), false},  // north
        {at(-1, 25), at(-3, 22), false},  // south
        {at(5, 10), at(5, 19.9), false},  // west
        {at(5, 30), at(6, 40), true},     // touching the east bound
        {at(10, 22), at(12, 22), true},   // touching the north bound
        {at(5, 15), at(5, 35), true},     // crossing without a point inside
        {at(-5, 25), at(15, 35), true},   // passing by a corner: its box overlaps
        {at(nan, nan), at(5, 25), true},  // nothing to compare: kept, drawn where it lands
    };
    const MapView view = boundedView();
    for (const auto& c : cases) {
        EXPECT_EQ(segmentMayBeVisible(view, c.a, c.b), c.visible) << c.a.lat << "," << c.a.lon << " " << c.b.lat << "," << c.b.lon;
    }
}

TEST(Culling, PinsNeedPointsStrictlyInside) {
    const struct {
        double lat, lon;
        bool inside;
    } cases[] = {{5, 25, true}, {0, 25, false}, {10, 25, false}, {5, 20, false}, {5, 30, false}, {9.999, 29.999, true},
                 {std::numeric_limits<double>::quiet_NaN(), 25, false}};
    const MapView view = boundedView();
    for (const auto& c : cases) EXPECT_EQ(pointInView(view, c.lat, c.lon), c.inside) << c.lat << "," << c.lon;
}

// The tip of the pin (bottom centre of its 30-pixel cell) lands on the point, and the
// white around the pin leaves the map as it was.
TEST(Pins, CellZeroIsAndedWithItsTipOnThePoint) {
    test::MapScreen s(480, 272);
    s.compose();
    platform::fillRect(s.view.frameBitmap, {0, 0, 480, 272}, rgb(200, 180, 160));
    const WorldPosition centre = projectToWorld(s.view, s.view.centerLat, s.view.centerLon);
    const GeoCoord inside = worldToGeo(s.view, centre.wx + 50, centre.wy + 20);
    GpxPath route;
    route.addPoint(at(inside.lat, inside.lon));
    route.addPoint(at(s.view.viewTopLeftLat, inside.lon));  // on the north bound: no pin
    drawPathPins(s.view, route);

    const WorldPixel p = projectToWorldAtZoom(inside.lat, inside.lon, s.view.zoomLevel);
    const int x = static_cast<int>(p.x - s.view.viewOriginX), y = static_cast<int>(p.y - s.view.viewOriginY);
    const platform::Bitmap& pin = s.view.pointButton->image.bitmap;
    int changed = 0;
    for (int py = 0; py < 272; ++py) {
        for (int px = 0; px < 480; ++px) {
            const bool onSprite = px >= x - 15 && px < x + 15 && py >= y - 30 && py < y;
            const platform::Color expected =
                onSprite ? (rgb(200, 180, 160) & pixelAt(pin, px - (x - 15), py - (y - 30))) : rgb(200, 180, 160);
            ASSERT_EQ(pixelAt(s.view.frameBitmap, px, py), expected) << px << "," << py;
            changed += expected != rgb(200, 180, 160);
        }
    }
    EXPECT_GT(changed, 50);  // the pin itself is there
}

TEST(HeadingArrow, KeepsItsLastDirectionWhenTheNewestPointsCoincide) {
    test::MapScreen s(480, 272);
    s.compose();
    const platform::Color ground = rgb(250, 250, 250);
    const auto drawn = [&](const GpxPath& track) {
        platform::fillRect(s.view.frameBitmap, {0, 0, 480, 272}, ground);
        drawHeadingArrow(s.view, track);
        return s.view.frameBitmap;
    };
    const GeoPoint home = at(s.view.centerLat, s.view.centerLon);
    const GeoPoint east = at(s.view.centerLat, s.view.centerLon + 0.0001);

    GpxPath standing;
    standing.addPoint(home);
    standing.addPoint(home);
    EXPECT_EQ(drawn(standing).bits, drawn(GpxPath{}).bits);  // no direction yet: nothing drawn
    EXPECT_FALSE(s.view.hasHeading);

    GpxPath moving;
    moving.addPoint(home);
    moving.addPoint(east);
    const platform::Bitmap arrow = drawn(moving);
    EXPECT_TRUE(s.view.hasHeading);
    EXPECT_EQ(s.view.headingAngle, 0.0);
    moving.addPoint(east);  // stopped: the arrow stays as it was
    EXPECT_EQ(drawn(moving).bits, arrow.bits);
    EXPECT_NE(arrow.bits, drawn(GpxPath{}).bits);
}

TEST(HeadingArrow, AnglesOfTheCompassPoints) {
    const struct {
        double dLat, dLon, angle;
    } cases[] = {
        {0, 0.001, 0.0},                     // east
        {0.001, 0, -1.570796326795},         // north: up the screen
        {-0.001, 0, 1.570796326795},         // south
        {0, -0.001, 3.14159265359},          // west
        {-0.001, -0.001 / std::cos(0.6391), 2.356},  // south-west, about equal steps in world pixels
    };
    for (const auto& c : cases) {
        MapView view;
        GpxPath track;
        track.addPoint(at(36.62, 139.77));
        track.addPoint(at(36.62 + c.dLat, 139.77 + c.dLon));
        drawHeadingArrow(view, track);
        EXPECT_NEAR(view.headingAngle, c.angle, 2e-3) << c.dLat << "," << c.dLon;
    }
}

}  // namespace
}  // namespace quorel
