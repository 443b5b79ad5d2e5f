#include "map/tile_mosaic.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/raster/raster.h"
#include "png/png_writer.h"
#include "tests/unit/map/map_fixture.h"

namespace quorel {
namespace {

using platform::blueOf;
using platform::pixelAt;
using test::FakeTiles;
using test::MapScreen;

// Home at zoom 14 lies in tile 14553 / 6398, 39 pixels from its west edge; the 6 x 5
// mosaic of a 480 x 272 screen holds columns 14550 to 14555 and rows 6396 to 6400.
constexpr std::int64_t kCol = 14553, kRow = 6398;

// A Recentred frame inside the centre tile shifts the old picture and loads nothing; one
// leaving it eastwards scrolls the mosaic and loads exactly the new rightmost column.
TEST(MosaicLoads, RecentringLoadsOnlyTheTilesThatCameIntoTheMosaic) {
    MapScreen s(480, 272);
    s.tiles.addAround(14, kCol, kRow, 6);
    s.compose();
    ASSERT_EQ(s.tiles.asked.size(), 30u);
    s.tiles.asked.clear();
    const platform::Bitmap before = s.window;
    const int offsetX = s.view.mosaicOffsetX, offsetY = s.view.mosaicOffsetY;
    s.centreOn(240 + 9, 136 - 7);  // the centre stays in its tile
    s.compose(RedrawKind::Recentred);
    EXPECT_TRUE(s.tiles.asked.empty());
    EXPECT_EQ(std::pair(s.view.mosaicOffsetX, s.view.mosaicOffsetY), std::pair(offsetX + 9, offsetY - 7));
    for (const auto& [x, y] : {std::pair{100, 150}, {300, 200}, {400, 240}}) {  // map only
        EXPECT_EQ(pixelAt(s.window, x, y), pixelAt(before, x + 9, y - 7)) << x << "," << y;
    }

    const int frames = s.view.framesComposed;
    s.centreOn(240 + (256 - 39 - 9) + 10, 136);  // 10 pixels into the next tile east
    s.compose(RedrawKind::Recentred);
    EXPECT_EQ(s.view.framesComposed, frames + 2);  // the Recentred frame from the old mosaic, then AfterScroll
    EXPECT_EQ(s.tiles.asked, (std::vector<std::string>{"14/14556/6396", "14/14556/6397", "14/14556/6398",
                                                       "14/14556/6399", "14/14556/6400"}));
    for (int i = 0; i < 6; ++i) {  // the other cells kept their pixels, one cell to the left
        for (int j = 0; j < 5; ++j) {
            EXPECT_EQ(blueOf(pixelAt(s.view.mosaicBitmap, i * 256 + 9, j * 256 + 9)), FakeTiles::tagFor(kCol + i - 2, kRow + j - 2))
                << i << "," << j;
        }
    }
}

TEST(MosaicLoads, ANormalFrameAfterAZoomChangeRefillsTheWholeMosaic) {
    for (const auto& [lat, lon, from] : {std::tuple{MapView::kDefaultLat, MapView::kDefaultLon, 14},
                                         {85.0, -179.99, 3}}) {  // the north-west corner tile is 0 / 0 at both zooms
        MapScreen s(480, 272);
        s.view.centerLat = lat;
        s.view.centerLon = lon;
        s.view.zoomLevel = from;
        s.compose();
        s.tiles.asked.clear();
        s.view.zoomLevel = from + 1;
        s.compose();
        std::set<std::string> cells;  // each cell asks for its own tile first
        for (const std::string& name : s.tiles.asked) {
            if (name.rfind(std::to_string(from + 1) + "/", 0) == 0) cells.insert(name);
        }
        EXPECT_EQ(cells.size(), 30u) << from;
    }
}

TEST(CoarserTiles, AMissingTileWhoseParentExistsNeverLooksAtZoom12) {
    MapScreen s(480, 272);
    s.tiles.addAround(13, kCol / 2, kRow / 2, 3);
    s.tiles.addAround(12, kCol / 4, kRow / 4, 3);
    fillMosaic(s.view, s.tiles);
    ASSERT_EQ(s.tiles.asked.size(), 30u * 3);  // the tile, the tile once more, its parent
    EXPECT_EQ(s.tiles.asked[2], FakeTiles::name(13, (kCol - 3) / 2, (kRow - 2) / 2));
    for (const std::string& name : s.tiles.asked) EXPECT_NE(name.rfind("12/", 0), 0u) << name;
}

TEST(CoarserTiles, OnlyZoom12TilesShowTheCoveringSixtyFourPixelsEnlarged) {
    MapScreen s(480, 272);
    s.tiles.addAround(12, kCol / 4, kRow / 4, 2);
    fillMosaic(s.view, s.tiles);
    EXPECT_EQ(s.tiles.asked.size(), 30u * 4);
    EXPECT_EQ(s.tiles.asked[3 * 5 * 4 + 3], FakeTiles::name(12, 3638, (kRow - 2) / 4));  // column 14553 in 3638
    for (int i = 0; i < 6; ++i) {
        for (int j = 0; j < 5; ++j) {
            const std::int64_t col = kCol + i - 3, row = kRow + j - 2;
            const int sx = static_cast<int>(64 * (col % 4)), sy = static_cast<int>(64 * (row % 4));
            for (const auto& [x, y] : {std::pair{0, 0}, {3, 4}, {4, 130}, {255, 255}}) {
                EXPECT_EQ(pixelAt(s.view.mosaicBitmap, i * 256 + x, j * 256 + y),
                          platform::rgb(sx + x / 4, sy + y / 4, FakeTiles::tagFor(col / 4, row / 4)))
                    << "cell " << i << "," << j << " pixel " << x << "," << y;
            }
        }
    }
}

// Column 0's cells take their parent's part; the cells west of it (columns -3 to -1)
// must not, although -1 / 2 truncates to 0 as well.
TEST(CoarserTiles, TilesWestOfTheWorldShowThePlaceholderNotColumnZero) {
    MapScreen s(480, 272);
    s.view.centerLon = -179.99;
    for (std::int64_t r = kRow / 2 - 3; r <= kRow / 2 + 3; ++r) s.tiles.tags[FakeTiles::name(13, 0, r)] = 1;
    fillMosaic(s.view, s.tiles);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(pixelAt(s.view.mosaicBitmap, i * 256 + 7, 300), pixelAt(s.view.noTileImage->bitmap, 7, 44)) << i;
    }
    EXPECT_EQ(blueOf(pixelAt(s.view.mosaicBitmap, 3 * 256 + 7, 300)), 1);
}

TEST(PngTiles, TheDefaultLoaderReadsTheTileTree) {
    const auto root = std::filesystem::temp_directory_path() / ("quorel_mosaic_" + std::to_string(getpid()));
    MapScreen s(480, 272);
    s.view.storageRootPath = root.string() + "/";
    const platform::Color palette[] = {platform::rgb(10, 20, 30), platform::rgb(200, 100, 50)};
    platform::Bitmap tile = platform::createDib(256, -256, 1, palette);
    platform::fillRect(tile, {0, 0, 128, 256}, palette[1]);
    const std::filesystem::path file = tilePath(s.view, 14, kCol, kRow);
    std::filesystem::create_directories(file.parent_path());
    ASSERT_TRUE(writePngFile(tile, file));
    PngTileLoader loader;
    fillMosaic(s.view, loader);
    std::filesystem::remove_all(root);
    EXPECT_EQ(pixelAt(s.view.mosaicBitmap, 3 * 256 + 5, 2 * 256 + 5), palette[1]);
    EXPECT_EQ(pixelAt(s.view.mosaicBitmap, 3 * 256 + 200, 2 * 256 + 250), palette[0]);
    EXPECT_EQ(pixelAt(s.view.mosaicBitmap, 4 * 256 + 9, 2 * 256 + 9), pixelAt(s.view.noTileImage->bitmap, 9, 9));
}

}  // namespace
}  // namespace quorel
