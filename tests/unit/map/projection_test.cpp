#include "map/projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
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

// The same parts by the textbook formula, apart from the program's constants: the world
// is 256 * 2^zoom pixels square, y runs with asinh(tan(latitude)) from pi at the top.
auto textbookParts(double lat, double lon, int zoom) {
    const double size = 256 * std::exp2(zoom), pi = std::numbers::pi;
    const auto wx = static_cast<std::int64_t>((lon + 180) / 360 * size);
    const auto wy = static_cast<std::int64_t>((1 - std::asinh(std::tan(lat * pi / 180)) / pi) / 2 * size);
    return std::tuple(wx, wy, wx / 256, wy / 256, wx % 256, wy % 256);
}

TEST(Projection, DefaultCentreWorldEdgesAndTheNorthLimit) {
    const MapView z18 = viewAt(18), z5 = viewAt(5), z14 = viewAt(14);
    for (const MapView& v : {z18, z5}) {
        EXPECT_EQ(parts(projectToWorld(v, v.centerLat, v.centerLon)),
                  textbookParts(v.centerLat, v.centerLon, v.zoomLevel));
    }
    EXPECT_EQ(projectToWorld(z14, 0, -180).wx, 0);
    EXPECT_EQ(projectToWorld(z14, 0, 180).col, 1 << 14);  // one column past the last
    EXPECT_EQ(projectToWorld(z14, kMercatorLimitLat, 0).wy, 0);
    // North of the limit: the latitude of world row -10.5 truncates toward zero, to row
    // 0 and pixel -10; a west column divides with the dividend's sign likewise.
    const double yMax = mercatorY(std::sin(kPiProjection / 180.0 * kMercatorLimitLat));
    const double lat = 180.0 / kPiProjection * std::asin(std::tanh(kPiProjection / std::pow(2.0, 21.0) * 10.5 + yMax));
    EXPECT_EQ(parts(projectToWorld(z14, lat, 0)), std::tuple(1 << 21, -10, 1 << 13, 0, 0, -10));
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
