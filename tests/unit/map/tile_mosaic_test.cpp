#include "map/tile_mosaic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "map/projection.h"
#include "platform/format.h"
#include "platform/message_box.h"
#include "platform/raster/raster.h"
#include "png/png_writer.h"
#include "png/tile_image.h"
#include "tests/unit/map/map_fixture.h"

namespace quorel {
namespace {

using platform::pixelAt;
using test::MapScreen;

// Home at zoom 14 lies in tile 14553 / 6398, 39 pixels from its west edge.
constexpr std::int64_t kHomeCol = 14553;
constexpr std::int64_t kHomeRow = 6398;

int tagFor(std::int64_t col, std::int64_t row) { return static_cast<int>((col % 16) * 16 + (row % 16)); }

// Every tile of zoom within +-span of (col, row), each tagged with tagFor.
void addTiles(MapScreen& s, int zoom, std::int64_t col, std::int64_t row, int span) {
    for (std::int64_t c = col - span; c <= col + span; ++c) {
        for (std::int64_t r = row - span; r <= row + span; ++r) s.tiles.addTagged(zoom, c, r, tagFor(c, r));
    }
}

// The tile tag shown in mosaic cell (i, j), read at a pixel inside the cell.
int cellTag(const MapView& view, int i, int j) {
    return test::tagOf(pixelAt(view.mosaicBitmap, i * 256 + 100, j * 256 + 100));
}

std::string tileName(int zoom, std::int64_t col, std::int64_t row) {
    return platform::format("%d/%lld/%lld", zoom, static_cast<long long>(col), static_cast<long long>(row));
}

TEST(TilePath, StorageRootMapDirZoomColumnRow) {
    const std::string longDir(300, 'd');
    const struct {
        const char* root;
        std::string mapDir;
        int zoom;
        std::int64_t col, row;
        std::string expected;
    } cases[] = {
        {"/card/", "Maps\\std", 14, 14553, 6451, "/card/Maps/std/14/14553/6451.png"},
        {"/card/", "\\Maps\\topo\\", 5, 28, 12, "/card/Maps/topo//5/28/12.png"},
        {"/card/", "/srv/tiles", 3, -1, 2, "/srv/tiles/3/-1/2.png"},               // a host directory
        {"/card/", "Maps\\std", -2, 0, 0, "/card/Maps/std/-2/0/0.png"},           // below zoom 0
        {"/card/", "Maps\\std", 40, 4398046511103, 1, "/card/Maps/std/40/4398046511103/1.png"},
        {"/card/", longDir, 1, 0, 1, "/card/" + longDir + "/1/0/1.png"},          // no length limit
    };
    for (const auto& c : cases) {
        MapView view;
        view.storageRootPath = c.root;
        view.mapDir = c.mapDir;
        EXPECT_EQ(tilePath(view, c.zoom, c.col, c.row), c.expected);
    }
}

TEST(MosaicLoads, RecentringOneTileEastReloadsExactlyTheRightmostColumn) {
    MapScreen s(480, 272);
    addTiles(s, 14, kHomeCol, kHomeRow, 6);
    s.compose();
    ASSERT_EQ(s.tiles.asked.size(), 30u);  // 6 x 5 cells
    const WorldPosition home = projectToWorld(s.view, s.view.centerLat, s.view.centerLon);
    ASSERT_EQ(home.col, kHomeCol);

    s.tiles.asked.clear();
    s.view.tapX = 240 + static_cast<int>(256 - home.px) + 10;  // into the next tile east
    s.view.tapY = 136;
    ASSERT_LT(s.view.tapX, 480);
    const GeoCoord tapped = screenToGeo(s.view, s.view.tapX, s.view.tapY);
    s.view.centerLat = tapped.lat;
    s.view.centerLon = tapped.lon;
    const int before = s.view.framesComposed;
    s.compose(RedrawKind::Recentred);

    EXPECT_EQ(s.view.framesComposed, before + 2);  // from the old mosaic, then from the shifted one
    EXPECT_EQ(s.tiles.asked, (std::vector<std::string>{"14/14556/6396", "14/14556/6397", "14/14556/6398",
                                                       "14/14556/6399", "14/14556/6400"}));
    EXPECT_EQ(s.view.mosaicTileX, kHomeCol + 1);
    for (int i = 0; i < 6; ++i) {
        for (int j = 0; j < 5; ++j) {
            EXPECT_EQ(cellTag(s.view, i, j), tagFor(kHomeCol + 1 + i - 3, kHomeRow + j - 2)) << i << "," << j;
        }
    }
}

TEST(MosaicLoads, ScrollsFarAndDiagonallyReloadOnlyTheUncoveredBands) {
    const struct {
        std::int64_t dx, dy;
        std::size_t loads;  // corner cells of both bands load twice
    } cases[] = {{-1, 0, 5}, {0, 1, 6}, {0, -2, 12}, {2, 1, 10 + 6}, {-1, -1, 5 + 6}, {9, 0, 30}, {7, -8, 30 + 30}};
    for (const auto& c : cases) {
        MapScreen s(480, 272);
        addTiles(s, 14, kHomeCol, kHomeRow, 12);
        s.compose();
        s.tiles.asked.clear();
        const WorldPosition home = projectToWorld(s.view, s.view.centerLat, s.view.centerLon);
        const GeoCoord target = worldToGeo(s.view, home.wx + c.dx * 256, home.wy + c.dy * 256);
        s.view.centerLat = target.lat;
        s.view.centerLon = target.lon;
        scrollMosaic(s.view, s.tiles);
        EXPECT_EQ(s.tiles.asked.size(), c.loads) << c.dx << "," << c.dy;
        for (int i = 0; i < 6; ++i) {
            for (int j = 0; j < 5; ++j) {
                EXPECT_EQ(cellTag(s.view, i, j), tagFor(kHomeCol + c.dx + i - 3, kHomeRow + c.dy + j - 2))
                    << c.dx << "," << c.dy << " cell " << i << "," << j;
            }
        }
    }
}

TEST(MosaicLoads, ANormalFrameAfterAZoomChangeRefillsTheWholeMosaic) {
    const struct {
        double lat, lon;
        int from, to;
    } cases[] = {
        {MapView::kDefaultLat, MapView::kDefaultLon, 14, 15},
        {MapView::kDefaultLat, MapView::kDefaultLon, 14, 13},
        {85.0, -179.99, 3, 4},  // the north-west corner tile keeps its numbers: 0 / 0 at both zooms
    };
    for (const auto& c : cases) {
        MapScreen s(480, 272);
        s.view.centerLat = c.lat;
        s.view.centerLon = c.lon;
        s.view.zoomLevel = c.from;
        s.compose();
        s.tiles.asked.clear();
        s.view.zoomLevel = c.to;
        s.compose();
        // Every cell asks for its own tile of the new zoom (then for coarser ones: none exist).
        std::set<std::string> cells;
        const std::string zoomDir = std::to_string(c.to) + "/";
        for (const std::string& name : s.tiles.asked) {
            if (name.rfind(zoomDir, 0) == 0) cells.insert(name);
        }
        EXPECT_EQ(cells.size(), 30u) << c.to;
        EXPECT_EQ(s.view.mosaicZoom, c.to);
    }
}

TEST(CoarserTiles, AMissingTileWhoseParentExistsNeverLooksFurther) {
    MapScreen s(480, 272);
    addTiles(s, 13, kHomeCol / 2, kHomeRow / 2, 4);
    addTiles(s, 12, kHomeCol / 4, kHomeRow / 4, 4);
    fillMosaic(s.view, s.tiles);
    ASSERT_EQ(s.tiles.asked.size(), 30u * 3);
    // The first cell: the tile, the tile once more, its parent.
    EXPECT_EQ(s.tiles.asked[0], tileName(14, kHomeCol - 3, kHomeRow - 2));
    EXPECT_EQ(s.tiles.asked[1], tileName(14, kHomeCol - 3, kHomeRow - 2));
    EXPECT_EQ(s.tiles.asked[2], tileName(13, (kHomeCol - 3) / 2, (kHomeRow - 2) / 2));
    EXPECT_TRUE(std::none_of(s.tiles.asked.begin(), s.tiles.asked.end(),
                             [](const std::string& n) { return n.rfind("12/", 0) == 0; }));
}

TEST(CoarserTiles, OnlyZoom12TilesAtZoom14ShowTheCoveringSixtyFourPixelsEnlarged) {
    MapScreen s(480, 272);
    addTiles(s, 12, kHomeCol / 4, kHomeRow / 4, 3);
    fillMosaic(s.view, s.tiles);
    EXPECT_EQ(s.tiles.asked.size(), 30u * 4);
    EXPECT_EQ(s.tiles.asked[3], tileName(12, (kHomeCol - 3) / 4, (kHomeRow - 2) / 4));
    for (int i = 0; i < 6; ++i) {
        for (int j = 0; j < 5; ++j) {
            const std::int64_t col = kHomeCol + i - 3, row = kHomeRow + j - 2;
            const int sx = static_cast<int>(64 * (col % 4)), sy = static_cast<int>(64 * (row % 4));
            for (const int x : {0, 3, 4, 130, 255}) {
                for (const int y : {0, 5, 200, 255}) {
                    EXPECT_EQ(pixelAt(s.view.mosaicBitmap, i * 256 + x, j * 256 + y),
                              platform::rgb(sx + x / 4, sy + y / 4, tagFor(col / 4, row / 4)))
                        << "cell " << i << "," << j << " pixel " << x << "," << y;
                }
            }
        }
    }
    // The home column itself: 14553 lies in zoom-12 column 3638, 64 pixels in.
    EXPECT_EQ(kHomeCol / 4, 3638);
    EXPECT_EQ(pixelAt(s.view.mosaicBitmap, 3 * 256, 2 * 256), platform::rgb(64, 64 * (kHomeRow % 4), tagFor(3638, kHomeRow / 4)));
}

TEST(CoarserTiles, TilesWestOfTheWorldShowThePlaceholderNotTheFirstColumn) {
    MapScreen s(480, 272);
    s.view.centerLon = -179.99;  // column 0 at zoom 14: cells 0 to 2 are columns -3 to -1
    addTiles(s, 13, 4, kHomeRow / 2, 3);  // columns 1 to 7
    for (std::int64_t r = kHomeRow / 2 - 3; r <= kHomeRow / 2 + 3; ++r) s.tiles.addTagged(13, 0, r, 1);
    fillMosaic(s.view, s.tiles);
    const platform::Bitmap& placeholder = s.view.noTileImage->bitmap;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pixelAt(s.view.mosaicBitmap, i * 256 + 7, 300), pixelAt(placeholder, 7, 300 - 256)) << i;
    }
    EXPECT_EQ(test::tagOf(pixelAt(s.view.mosaicBitmap, 3 * 256 + 7, 300)), 1);  // column 0 from its parent
    for (const std::string& name : s.tiles.asked) EXPECT_NE(name.rfind("13/-", 0), 0u) << name;
}

TEST(PngTiles, TheDefaultLoaderReadsTheTileTreeAndPlacesThePlaceholderForBadFiles) {
    const std::filesystem::path root =
        std::filesystem::temp_directory_path() / ("quorel_mosaic_test_" + std::to_string(getpid()));
    std::filesystem::remove_all(root);
    MapScreen s(480, 272);
    s.view.storageRootPath = root.string() + "/";
    s.view.mapDir = "Maps\\std";
    const platform::Color palette[] = {platform::rgb(10, 20, 30), platform::rgb(200, 100, 50)};
    platform::Bitmap tile = platform::createDib(256, -256, 1, palette);
    platform::fillRect(tile, {0, 0, 128, 256}, palette[1]);
    const std::filesystem::path file = tilePath(s.view, 14, kHomeCol, kHomeRow);
    std::filesystem::create_directories(file.parent_path());
    ASSERT_TRUE(writePngFile(tile, file));
    const std::filesystem::path notPng = tilePath(s.view, 14, kHomeCol + 1, kHomeRow);
    std::filesystem::create_directories(notPng.parent_path());
    std::FILE* f = std::fopen(notPng.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("not a picture\n", f);
    std::fclose(f);

    std::vector<std::string> messages;
    const auto previous = platform::setMessageHandler([&](std::string_view text) { messages.emplace_back(text); });
    PngTileLoader loader;
    fillMosaic(s.view, loader);
    platform::setMessageHandler(previous);
    std::filesystem::remove_all(root);

    const platform::Bitmap& mosaic = s.view.mosaicBitmap;
    EXPECT_EQ(pixelAt(mosaic, 3 * 256 + 5, 2 * 256 + 5), palette[1]);
    EXPECT_EQ(pixelAt(mosaic, 3 * 256 + 200, 2 * 256 + 250), palette[0]);
    const platform::Bitmap& placeholder = s.view.noTileImage->bitmap;
    for (const int i : {2, 4}) EXPECT_EQ(pixelAt(mosaic, i * 256 + 128, 2 * 256 + 128), pixelAt(placeholder, 128, 128));
    ASSERT_FALSE(messages.empty());  // the file that is not a PNG, reported by the decoder's caller
    EXPECT_EQ(messages.front(), kNotPngMessage);
}

TEST(TileGrid, RedLinesOnEveryCellsLeftAndTopEdgeScrollWithTheMap) {
    MapScreen s(480, 272);
    s.view.showTileGrid = true;
    addTiles(s, 14, kHomeCol, kHomeRow, 6);
    fillMosaic(s.view, s.tiles);
    const platform::Color red = platform::rgb(255, 0, 0);
    for (int i = 1; i < 6; ++i) {
        EXPECT_EQ(pixelAt(s.view.mosaicBitmap, i * 256, 100), red) << i;
        EXPECT_EQ(pixelAt(s.view.mosaicBitmap, i * 256 - 1, 100), red) << i;
        EXPECT_NE(pixelAt(s.view.mosaicBitmap, i * 256 + 1, 100), red) << i;
    }
    EXPECT_EQ(pixelAt(s.view.mosaicBitmap, 0, 100), red);
    EXPECT_EQ(pixelAt(s.view.mosaicBitmap, 100, 0), red);
    EXPECT_EQ(pixelAt(s.view.mosaicBitmap, 100, 512), red);
    EXPECT_NE(pixelAt(s.view.mosaicBitmap, 100, 514), red);
}

}  // namespace
}  // namespace quorel
