#include "tools/tile_coverage.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorel {
namespace {

// The same tiles found another way: the line sampled every 1/64 pixel in world pixels
// (the short way round the world), each sample floored to its tile.
TileSet sampled(const std::vector<GeoCoord>& points, int zoom) {
    const double side = std::ldexp(1.0, zoom), world = side * 256;
    TileSet tiles;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const WorldPixel a = projectToWorldAtZoom(points[i == 0 ? 0 : i - 1].lat, points[i == 0 ? 0 : i - 1].lon, zoom);
        const WorldPixel b = projectToWorldAtZoom(points[i].lat, points[i].lon, zoom);
        double dx = double(b.x - a.x);
        dx -= dx > world / 2 ? world : dx < -world / 2 ? -world : 0;
        const double steps = std::ceil(std::max(std::abs(dx), std::abs(double(b.y - a.y))) * 64) + 1;
        for (double s = 0; s <= steps; ++s) {
            const double col = std::floor((double(a.x) + dx * s / steps) / 256);
            const double row = std::floor((double(a.y) + double(b.y - a.y) * s / steps) / 256);
            if (row >= 0 && row < side) {
                tiles.insert({std::int64_t(col - side * std::floor(col / side)), std::int64_t(row)});
            }
        }
    }
    return tiles;
}

// A route over Fiji across the antimeridian both ways, along and across tile edges,
// and one through the world's west edge, at zooms 0 to 12.
TEST(TileCoverage, RoutesAcrossTileEdgesAndTheAntimeridianGiveTheSampledTiles) {
    const std::vector<std::vector<GeoCoord>> routes = {
        {{-16.5, 178.2}, {-16.9, 179.99}, {-17.2, -179.7}, {-16.0, -178.9}, {-18.1, 179.2}, {-18.1, 178.0}},
        {{10.0, -179.95}, {10.0, 179.95}, {11.3, -180.0}, {-5.0, 170.0}},
        {{36.62159, 139.7715}, {36.65, 139.79}, {36.60, 139.75}, {36.60, 139.75}},
    };
    for (int zoom = 0; zoom <= 12; ++zoom) {
        for (std::size_t r = 0; r < routes.size(); ++r) {
            TileSet tiles;
            addLineTiles(routes[r], zoom, tiles);
            EXPECT_EQ(tiles, sampled(routes[r], zoom)) << "zoom " << zoom << " route " << r;
        }
    }
}

// A box across the antimeridian, with a margin that wraps round the world and stops at
// its north edge.
TEST(TileCoverage, BoxesAndMarginsWrapRoundTheWorld) {
    TileSet box;
    addBoxTiles({84.0, 179.0}, {80.0, -179.0}, 3, box);
    EXPECT_EQ(box, (TileSet{{7, 0}, {0, 0}}));
    const TileSet wide = withMargin(box, 3, 1);
    EXPECT_EQ(wide, (TileSet{{6, 0}, {7, 0}, {0, 0}, {1, 0}, {6, 1}, {7, 1}, {0, 1}, {1, 1}}));
}

}  // namespace
}  // namespace quorel
