#include "map/projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

namespace quorel {
namespace {

MapView viewAt(int zoom, int width = 480) {
    MapView v;
    v.zoomLevel = zoom;
    v.viewWidth = width;
    v.viewHeight = 272;
    return v;
}

auto parts(const WorldPosition& p) { return std::tuple(p.wx, p.wy, p.col, p.row, p.px, p.py); }

TEST(Projection, DefaultCentreWorldEdgesAndTheNorthLimit) {
    const MapView z18 = viewAt(18), z5 = viewAt(5), z14 = viewAt(14);
    EXPECT_EQ(parts(projectToWorld(z18, z18.centerLat, z18.centerLon)), std::tuple(59609727, 26208896, 232850, 102378, 127, 128));
    EXPECT_EQ(parts(projectToWorld(z5, z5.centerLat, z5.centerLon)), std::tuple(7276, 3199, 28, 12, 108, 127));
    EXPECT_EQ(projectToWorld(z14, 0, -180).wx, 0);
    EXPECT_EQ(projectToWorld(z14, 0, 180).col, 16384);  // one column past the last
    EXPECT_EQ(projectToWorld(z14, kMercatorLimitLat, 0).wy, 0);
    // North of the limit: the latitude of world row -10.5 truncates toward zero, to row
    // 0 and pixel -10; a west column divides with the dividend's sign likewise.
    const double yMax = mercatorY(std::sin(kPiProjection / 180.0 * kMercatorLimitLat));
    const double lat = 180.0 / kPiProjection * std::asin(std::tanh(kPiProjection / std::pow(2.0, 21.0) * 10.5 + yMax));
    EXPECT_EQ(parts(projectToWorld(z14, lat, 0)), std::tuple(2097152, -10, 8192, 0, 0, -10));
    const WorldPosition west = projectToWorld(z14, 0, -180.01);
    EXPECT_EQ(std::tuple(west.col, west.px), std::tuple(0, west.wx));
}

TEST(Projection, AnOddWidthMakesTheLeftHalfNarrower) {
    MapView v = viewAt(16, 481);
    const WorldPosition centre = projectToWorld(v, v.centerLat, v.centerLon);
    computeViewBounds(v);
    EXPECT_LE(std::abs(centre.wx - 240 - v.viewOriginX), 1);  // 240 pixels left of the centre pixel, 241 right
    EXPECT_EQ(v.viewOriginX, projectToWorld(v, v.viewTopLeftLat, v.viewTopLeftLon).wx);
}

}  // namespace
}  // namespace quorel
