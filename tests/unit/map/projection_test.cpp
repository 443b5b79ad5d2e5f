#include "map/projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/numeric.h"

namespace quorel {
namespace {

MapView viewAt(int zoom, int width = 480, int height = 272) {
    MapView v;
    v.zoomLevel = zoom;
    v.viewWidth = width;
    v.viewHeight = height;
    return v;
}

TEST(Projection, DefaultCentreAtZoom18And5) {
    const struct {
        int zoom;
        std::int64_t wx, wy, col, row, px, py;
    } cases[] = {
        {18, 59609727, 26208896, 232850, 102378, 127, 128},
        {5, 7276, 3199, 28, 12, 108, 127},
    };
    for (const auto& c : cases) {
        const MapView v = viewAt(c.zoom);
        const WorldPosition p = projectToWorld(v, v.centerLat, v.centerLon);
        EXPECT_EQ(p.wx, c.wx) << c.zoom;
        EXPECT_EQ(p.wy, c.wy) << c.zoom;
        EXPECT_EQ(p.col, c.col) << c.zoom;
        EXPECT_EQ(p.row, c.row) << c.zoom;
        EXPECT_EQ(p.px, c.px) << c.zoom;
        EXPECT_EQ(p.py, c.py) << c.zoom;
    }
}

TEST(Projection, WorldEdges) {
    for (int zoom : {0, 5, 14, 20, 23, 24}) {
        const MapView v = viewAt(zoom);
        const std::int64_t world = std::int64_t{1} << (zoom + 8);
        EXPECT_EQ(projectToWorld(v, 0, -180).wx, 0) << zoom;
        EXPECT_EQ(projectToWorld(v, 0, 180).wx, world) << zoom;        // one column past the last
        EXPECT_EQ(projectToWorld(v, 0, 180).col, world / 256) << zoom;
        EXPECT_EQ(projectToWorld(v, kMercatorLimitLat, 0).wy, 0) << zoom;
    }
}

TEST(Projection, NorthOfTheLimitTruncatesTowardZero) {
    const MapView v = viewAt(14);
    // the latitude whose world row is -10.5 lands on -10: row 0, pixel -10
    const double h = std::pow(2.0, 21.0);
    const double yMax = mercatorY(std::sin(kPiProjection / 180.0 * kMercatorLimitLat));
    const double lat = 180.0 / kPiProjection * std::asin(std::tanh(-kPiProjection / h * -10.5 + yMax));
    const WorldPosition p = projectToWorld(v, lat, 0);
    EXPECT_EQ(p.wy, -10);
    EXPECT_EQ(p.row, 0);
    EXPECT_EQ(p.py, -10);
    EXPECT_EQ(p.row * 256 + p.py, p.wy);
    // and a west column: truncating division with the dividend's sign
    const WorldPosition w = projectToWorld(v, 0, -180.01);
    EXPECT_LT(w.wx, 0);
    EXPECT_EQ(w.col * 256 + w.px, w.wx);
}

TEST(Projection, ScreenCentreIsTheViewCentre) {
    for (int width : {480, 481, 800}) {
        MapView v = viewAt(16, width, 272);
        const GeoCoord c = screenToGeo(v, width / 2, 136);
        const double pixel = 360.0 / (1 << 24);  // up to one pixel of truncation
        EXPECT_NEAR(c.lat, v.centerLat, pixel);
        EXPECT_NEAR(c.lon, v.centerLon, pixel);
        const WorldPosition at = projectToWorld(v, c.lat, c.lon);
        const WorldPosition centre = projectToWorld(v, v.centerLat, v.centerLon);
        EXPECT_LE(std::abs(at.wx - centre.wx), 1);
        EXPECT_LE(std::abs(at.wy - centre.wy), 1);
    }
}

TEST(Projection, OddWidthMakesTheLeftHalfNarrower) {
    MapView v = viewAt(16, 481, 272);
    const WorldPosition centre = projectToWorld(v, v.centerLat, v.centerLon);
    computeViewBounds(v);
    // 481 / 2 = 240 pixels to the left of the centre pixel, 241 to the right
    const WorldPosition left = projectToWorld(v, v.viewTopLeftLat, v.viewTopLeftLon);
    EXPECT_LE(std::abs(centre.wx - 240 - left.wx), 1);
    EXPECT_EQ(v.viewOriginX, left.wx);
    EXPECT_EQ(v.viewOriginY, left.wy);
    EXPECT_GT(v.viewTopLeftLat, v.viewBottomRightLat);
    EXPECT_LT(v.viewTopLeftLon, v.viewBottomRightLon);
}

TEST(Projection, MosaicWorldDiffersOnlyOutsideTheCentreTile) {
    MapView v = viewAt(14);
    const WorldPosition centre = projectToWorld(v, v.centerLat, v.centerLon);
    v.mosaicTileX = centre.col;
    v.mosaicTileY = centre.row;
    const WorldPixel inTile = screenToMosaicWorld(v, 10, 20);
    EXPECT_EQ(inTile.x, centre.wx + 10 - 240);
    EXPECT_EQ(inTile.y, centre.wy + 20 - 136);
    v.mosaicTileX -= 1;  // the centre has moved one tile east of the mosaic's centre tile
    EXPECT_EQ(screenToMosaicWorld(v, 10, 20).x, inTile.x - 256);
}

TEST(Projection, AnyInputIsDefined) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (int zoom : {-2147483647 - 1, -30, 0, 24, 1100, 2147483647}) {
        MapView v = viewAt(zoom);
        for (double lat : {90.0, -90.0, nan, inf, -inf, 1e300, -1e300, 89.999999}) {
            for (double lon : {0.0, nan, inf, 1e300, -1e300}) {
                v.centerLat = lat;
                v.centerLon = lon;
                const WorldPosition p = projectToWorld(v, lat, lon);
                EXPECT_LE(std::abs(p.wx), platform::kWorldPixelLimit);
                EXPECT_LE(std::abs(p.wy), platform::kWorldPixelLimit);
                computeViewBounds(v);
                screenToMosaicWorld(v, 800, 480);
            }
        }
    }
    const MapView v = viewAt(14);
    EXPECT_EQ(projectToWorld(v, 90.0, 0).wy, -platform::kWorldPixelLimit);
    EXPECT_EQ(projectToWorld(v, -90.0, 0).wy, platform::kWorldPixelLimit);
}

}  // namespace
}  // namespace quorel
