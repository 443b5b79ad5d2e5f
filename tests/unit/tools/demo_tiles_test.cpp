#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <numbers>
#include <set>

#include "app/state/map_view.h"
#include "map/projection.h"
#include "platform/numeric.h"
#include "tests/unit/tools/demo_support.h"
#include "tools/demo_tiles.h"
#include "tools/demo_world.h"

namespace quorel::demo {
namespace {

using test::generated;
using test::kRadius;
using test::kZoomMax;
using test::kZoomMin;

bool hasTile(const TileId& t) { return std::filesystem::exists(tilePath(generated().maps, t)); }

TileId tileOf(Vec2 local, int zoom) {
    const LatLon g = localToGeo(local);
    const WorldPixel w = projectToWorldAtZoom(g.lat, g.lon, zoom);
    return {zoom, w.x / 256, w.y / 256};
}

std::array<int, 3> pixelAt(Vec2 local, int zoom) {
    const LatLon g = localToGeo(local);
    const WorldPixel w = projectToWorldAtZoom(g.lat, g.lon, zoom);
    const RgbImage img = renderRegion(zoom, w.x, w.y, 1, 1);
    return {img.pixels[0], img.pixels[1], img.pixels[2]};
}

class TileTree : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(generated().status, 0) << "quorel-make-demo failed"; }
};

TEST_F(TileTree, HoldsTheTilesAroundHomeAndNothingElse) {
    std::vector<TileId> tiles;
    std::vector<std::string> strays;
    ASSERT_TRUE(test::listTiles(generated().maps, tiles, strays));
    EXPECT_TRUE(strays.empty()) << strays.front();
    std::set<int> zooms;
    for (const TileId& t : tiles) zooms.insert(t.zoom);
    EXPECT_EQ(zooms, (std::set<int>{14, 15, 16, 17}));

    // Every point of the disc lies on a tile that is there (or is a deliberate hole)...
    for (int zoom = kZoomMin; zoom <= kZoomMax; ++zoom) {
        for (double r = 0.0; r <= kRadius; r += kRadius / 4) {
            for (int a = 0; a < 360; a += 5) {
                const double rad = a * std::numbers::pi / 180.0;
                const TileId t = tileOf({r * std::cos(rad), r * std::sin(rad)}, zoom);
                EXPECT_TRUE(hasTile(t) || isDeliberateHole(t)) << t.zoom << "/" << t.col << "/" << t.row;
            }
        }
    }
    // ...and every tile there has some pixel within the disc.
    for (const TileId& t : tiles) {
        MapView view;
        view.zoomLevel = t.zoom;
        double nearest = 1e18;
        for (int i = 0; i <= 256; i += 16) {
            for (int j = 0; j <= 256; j += 16) {
                const GeoCoord g = worldToGeo(view, t.col * 256 + i, t.row * 256 + j);
                const Vec2 p = geoToLocal(g.lat, g.lon);
                nearest = std::min(nearest, std::hypot(p.x, p.y));
            }
        }
        EXPECT_LE(nearest, kRadius + 20.0) << t.zoom << "/" << t.col << "/" << t.row;
    }
}

TEST_F(TileTree, LeavesTheDeliberateHolesForTheCoarserFallback) {
    int inRange = 0;
    for (const TileId& hole : deliberateHoles()) {
        ASSERT_GE(hole.zoom, 16);
        // Next to home, so the demo shows them: within two tiles of the home tile.
        const TileId home = tileOf({0, 0}, hole.zoom);
        EXPECT_LE(std::abs(hole.col - home.col), 2);
        EXPECT_LE(std::abs(hole.row - home.row), 2);
        if (hole.zoom > kZoomMax) continue;
        ++inRange;
        EXPECT_FALSE(hasTile(hole));
        // Some coarser tile within three levels stands in for it.
        bool covered = false;
        for (int up = 1; up <= 3 && !covered; ++up)
            covered = hasTile({hole.zoom - up, hole.col >> up, hole.row >> up});
        EXPECT_TRUE(covered);
    }
    EXPECT_EQ(inRange, 4);
    // One hole's parent is a hole as well, so the fallback has to go up two levels there.
    const bool twoLevels = std::any_of(deliberateHoles().begin(), deliberateHoles().end(), [](const TileId& h) {
        return isDeliberateHole({h.zoom - 1, h.col / 2, h.row / 2});
    });
    EXPECT_TRUE(twoLevels);
}

// Each file decodes (by libpng's own reader) to what the renderer drew, in the colour type
// chosen for it: RGB and RGBA exactly, grey as the luminance, palette within quantisation.
TEST_F(TileTree, TilesDecodeToTheMapInTheirColourTypes) {
    std::vector<TileId> tiles;
    std::vector<std::string> strays;
    ASSERT_TRUE(test::listTiles(generated().maps, tiles, strays));
    const std::map<TileColourType, int> pngType{{TileColourType::Rgb, 2},
                                                {TileColourType::Palette, 3},
                                                {TileColourType::Grey, 0},
                                                {TileColourType::Rgba, 6}};
    std::map<TileColourType, int> seen;
    for (const TileId& t : tiles) {
        SCOPED_TRACE(tilePath(generated().maps, t).string());
        const test::Png png = test::readPng(tilePath(generated().maps, t));
        ASSERT_TRUE(png.ok);
        EXPECT_EQ(png.width, 256);
        EXPECT_EQ(png.height, 256);
        EXPECT_EQ(png.bitDepth, 8);
        const TileColourType type = tileColourType(t);
        ++seen[type];
        EXPECT_EQ(png.colourType, pngType.at(type));
        const RgbImage drawn = renderTile(t);
        int worst = 0;
        double total = 0.0;
        for (std::size_t k = 0; k < 256u * 256u; ++k) {
            EXPECT_EQ(png.rgba[k * 4 + 3], 255) << "tiles are opaque";
            const std::uint8_t* d = &drawn.pixels[k * 3];
            for (int c = 0; c < 3; ++c) {
                int want = d[c];
                if (type == TileColourType::Grey)
                    want = platform::truncToInt(0.299 * d[0] + 0.587 * d[1] + 0.114 * d[2] + 0.5);
                const int err = std::abs(png.rgba[k * 4 + static_cast<std::size_t>(c)] - want);
                worst = std::max(worst, err);
                total += err;
            }
            if (worst > 64) break;
        }
        const double mean = total / (256.0 * 256.0 * 3.0);
        if (type == TileColourType::Palette) {
            EXPECT_LE(mean, 2.0);
            EXPECT_LE(worst, 40);
        } else {
            EXPECT_LE(worst, type == TileColourType::Grey ? 1 : 0);
        }
    }
    EXPECT_EQ(seen.size(), 4u) << "every colour type occurs";
    EXPECT_GT(seen[TileColourType::Rgb], static_cast<int>(tiles.size()) / 2) << "most tiles are RGB";
}

// A region drawn across a tile edge is what the two tiles hold: nothing in the drawing
// depends on where a tile begins.
TEST_F(TileTree, ARegionAcrossATileEdgeMatchesBothTiles) {
    int checked = 0;
    for (const auto& [dc, dr] : {std::pair{1, 0}, std::pair{0, 1}}) {
        const TileId home = tileOf({0, 0}, 17);
        for (std::int64_t c = home.col - 2; c <= home.col + 2 && checked < 4; ++c) {
            const TileId a{17, c, home.row}, b{17, c + dc, home.row + dr};
            auto lossless = [](const TileId& t) {
                return hasTile(t) && (tileColourType(t) == TileColourType::Rgb || tileColourType(t) == TileColourType::Rgba);
            };
            if (!lossless(a) || !lossless(b)) continue;
            const test::Png pa = test::readPng(tilePath(generated().maps, a));
            const test::Png pb = test::readPng(tilePath(generated().maps, b));
            const RgbImage across = renderRegion(17, a.col * 256 + 128 * dc, a.row * 256 + 128 * dr, 256, 256);
            int mismatches = 0;
            for (int y = 0; y < 256; ++y) {
                for (int x = 0; x < 256; ++x) {
                    const int sx = x + 128 * dc, sy = y + 128 * dr;  // in tile a's pixels
                    const test::Png& src = (sx < 256 && sy < 256) ? pa : pb;
                    const std::size_t k = static_cast<std::size_t>((sy % 256) * 256 + sx % 256) * 4;
                    for (int ch = 0; ch < 3; ++ch)
                        if (src.rgba[k + static_cast<std::size_t>(ch)] !=
                            across.pixels[static_cast<std::size_t>(y * 256 + x) * 3 + static_cast<std::size_t>(ch)])
                            ++mismatches;
                }
            }
            EXPECT_EQ(mismatches, 0) << "tiles 17/" << a.col << "/" << a.row << " and 17/" << b.col << "/" << b.row;
            ++checked;
        }
    }
    EXPECT_GE(checked, 2);
}

double meanDiff(const std::vector<double>& a, const std::vector<double>& b) {
    double s = 0.0;
    for (std::size_t k = 0; k < a.size(); ++k) s += std::abs(a[k] - b[k]);
    return s / static_cast<double>(a.size());
}

// Grey luminance of a tile as drawn, or of its 2x2 children shrunk to its size.
std::vector<double> luminance(const TileId& t, bool fromChildren) {
    std::vector<double> out(256 * 256, 0.0);
    for (int q = 0; q < (fromChildren ? 4 : 1); ++q) {
        const TileId src = fromChildren ? TileId{t.zoom + 1, t.col * 2 + q % 2, t.row * 2 + q / 2} : t;
        const RgbImage img = renderTile(src);
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                const std::uint8_t* px = &img.pixels[static_cast<std::size_t>(y * 256 + x) * 3];
                const double lum = 0.299 * px[0] + 0.587 * px[1] + 0.114 * px[2];
                const int ox = fromChildren ? (q % 2) * 128 + x / 2 : x, oy = fromChildren ? (q / 2) * 128 + y / 2 : y;
                out[static_cast<std::size_t>(oy * 256 + ox)] += fromChildren ? lum / 4.0 : lum;
            }
        }
    }
    return out;
}

// The zooms show the same places: a tile looks like its four children shrunk, and much
// less like the children of its neighbour (buildings appearing at 15 account for most of
// what differs).
TEST(DemoRender, ZoomLevelsAgreeWithEachOther) {
    for (const int zoom : {12, 14, 16}) {
        const TileId t = tileOf({300, -300}, zoom);
        const std::vector<double> parent = luminance(t, false);
        const double same = meanDiff(parent, luminance(t, true));
        const double shifted = meanDiff(parent, luminance({zoom, t.col + 1, t.row}, true));
        EXPECT_LT(same, 10.0) << zoom << ": " << same << " vs " << shifted;
        EXPECT_LT(same, 0.6 * shifted) << zoom << ": " << same << " vs " << shifted;
    }
}

// The map is where the program will put positions: the pixel onto which the program's
// projection puts a place shows that place.
TEST(DemoRender, FeaturesLieWhereTheProjectionPutsThem) {
    const DemoWorld& w = demoWorld();
    const std::array<int, 3> water{170, 211, 223}, primary{252, 214, 164}, building{217, 208, 201};
    EXPECT_EQ(pixelAt({1900, 1800}, 15), water) << "the lake";
    EXPECT_EQ(pixelAt({1900, 1800}, 12), water) << "the lake, zoomed out";
    for (double s = 3000.0; s < w.river.length(); s += 500.0) {  // the river, away from bridges
        const Vec2 p = w.river.at(s);
        double d = 0.0;
        w.nearestRoad(p, &d);
        if (d < 80.0 || std::hypot(p.x, p.y) > 4000.0) continue;
        EXPECT_EQ(pixelAt(p, 15), water) << "river at " << p.x << ", " << p.y;
    }
    for (const Road& r : w.roads) {
        if (r.name != "East-West Avenue") continue;
        for (double x : {-1500.0, 1000.0, 3000.0}) {
            const Vec2 p = r.line.at(nearestOnLine(r.line, {x, 100.0}).along);
            for (int zoom : {14, 17}) EXPECT_EQ(pixelAt(p, zoom), primary) << x << " at zoom " << zoom;
        }
    }
    ASSERT_GT(w.buildings.size(), 1000u);
    for (std::size_t k = 0; k < w.buildings.size(); k += w.buildings.size() / 7) {
        Vec2 c;
        for (const Vec2& v : w.buildings[k].ring) c = {c.x + v.x / 4, c.y + v.y / 4};
        EXPECT_EQ(pixelAt(c, 17), building) << "building " << k;
        EXPECT_NE(pixelAt(c, 14), building) << "no buildings when zoomed out";
    }
    const std::array<int, 3> rail = pixelAt(w.railway.at(nearestOnLine(w.railway, {0, 300}).along), 16);
    EXPECT_TRUE(rail[0] == rail[1] && rail[1] == rail[2] && (rail[0] <= 140 || rail[0] >= 250)) << rail[0];
}

TEST(DemoRender, SameInputSameBytes) {
    const TileId t = tileOf({300, -200}, 16);
    const RgbImage a = renderTile(t), b = renderTile(t);
    EXPECT_EQ(a.pixels, b.pixels);
    const auto dir = std::filesystem::temp_directory_path();
    std::string error;
    for (const TileColourType type :
         {TileColourType::Rgb, TileColourType::Palette, TileColourType::Grey, TileColourType::Rgba}) {
        const auto fa = dir / "quorel-demo-a.png", fb = dir / "quorel-demo-b.png";
        ASSERT_TRUE(writeTilePng(fa, a, type, error)) << error;
        ASSERT_TRUE(writeTilePng(fb, b, type, error)) << error;
        EXPECT_EQ(test::readBytes(fa), test::readBytes(fb));
        EXPECT_FALSE(std::filesystem::exists(fa.string() + ".part"));
        std::filesystem::remove(fa);
        std::filesystem::remove(fb);
    }
}

TEST(DemoRender, WriteFailuresAreReported) {
    const RgbImage img = renderTile(tileOf({0, 0}, 10));
    std::string error;
    EXPECT_FALSE(writeTilePng("/nonexistent-dir/x/1.png", img, TileColourType::Rgb, error));
    EXPECT_NE(error.find("cannot create"), std::string::npos);
    EXPECT_FALSE(writeTilePng(std::filesystem::temp_directory_path() / "q.png", RgbImage{}, TileColourType::Rgb, error));
}

}  // namespace
}  // namespace quorel::demo
