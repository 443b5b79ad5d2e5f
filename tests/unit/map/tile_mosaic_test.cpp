#include "map/tile_mosaic.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "platform/raster/raster.h"
#include "png/png_writer.h"
#include "tests/support/scratch.h"
#include "tests/unit/map/map_fixture.h"

namespace quorel {
namespace {

using platform::blueOf;
using platform::pixelAt;
using test::FakeTiles;
using test::MapScreen;

// Home at zoom 14 lies in tile 14553 / 6398; the 6 x 5 mosaic of a 480 x 272 screen
// holds columns 14550 to 14555 and rows 6396 to 6400.
constexpr std::int64_t kCol = 14553, kRow = 6398;

std::set<std::string> mosaicAround(std::int64_t col, std::int64_t row) {
    std::set<std::string> cells;
    for (std::int64_t c = col - 3; c <= col + 2; ++c) {
        for (std::int64_t r = row - 2; r <= row + 2; ++r) cells.insert(FakeTiles::name(14, c, r));
    }
    return cells;
}

// Moving inside the centre tile loads nothing. Leaving it in any direction, or jumping
// two tiles, loads just the tiles the old mosaic did not cover: its columns, then its
// rows, so a corner cell of both bands is loaded twice. Every cell then holds its tile.
TEST(MosaicLoads, AScrollLoadsExactlyTheBandOfNewTiles) {
    const std::pair<int, int> moves[] = {{0, 0},  {1, 0},  {-1, 0},  {0, 1}, {0, -1}, {1, 1},
                                         {1, -1}, {-1, 1}, {-1, -1}, {2, 0}, {-2, 2}};
    for (const auto& [dc, dr] : moves) {
        SCOPED_TRACE(testing::Message() << "by " << dc << "," << dr << " tiles");
        MapScreen s(480, 272);
        s.tiles.addAround(14, kCol, kRow, 6);
        s.compose();
        s.tiles.asked.clear();
        const platform::Bitmap before = s.window;
        s.centreOn(240 + 256 * dc + 9, 136 + 256 * dr - 7);
        s.compose(RedrawKind::Recentred);
        if (dc == 0 && dr == 0) {
            EXPECT_EQ(pixelAt(s.window, 300, 200), pixelAt(before, 309, 193));  // the old picture, moved
        }
        std::set<std::string> fresh;
        for (const std::string& cell : mosaicAround(kCol + dc, kRow + dr)) {
            if (!mosaicAround(kCol, kRow).contains(cell)) fresh.insert(cell);
        }
        EXPECT_EQ(std::set<std::string>(s.tiles.asked.begin(), s.tiles.asked.end()), fresh);
        EXPECT_EQ(s.tiles.asked.size(), static_cast<std::size_t>(std::abs(dc) * 5 + std::abs(dr) * 6));
        for (int i = 0; i < 6; ++i) {
            for (int j = 0; j < 5; ++j) {
                EXPECT_EQ(blueOf(pixelAt(s.view.mosaicBitmap, i * 256 + 9, j * 256 + 9)),
                          FakeTiles::tagFor(kCol + dc + i - 3, kRow + dr + j - 2))
                    << "cell " << i << "," << j;
            }
        }
    }
}

TEST(CoarserTiles, OnlyZoom12TilesShowTheCoveringSixtyFourPixelsEnlarged) {
    MapScreen s(480, 272);
    s.tiles.addAround(12, kCol / 4, kRow / 4, 2);
    fillMosaic(s.view, s.tiles);
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

// A solid JPEG of 256 x 256 in the given colour, written by libjpeg-turbo.
void writeJpegTile(const std::filesystem::path& file, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    std::vector<std::uint8_t> rgb(256 * 256 * 3);
    for (std::size_t i = 0; i < rgb.size(); i += 3) rgb[i] = r, rgb[i + 1] = g, rgb[i + 2] = b;
    tjhandle h = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(h, rgb.data(), 256, 0, 256, TJPF_RGB, &out, &size, TJSAMP_420, 95, 0), 0);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(out), static_cast<std::streamsize>(size));
    tjFree(out);
    tjDestroy(h);
}

// The tree under the storage root: a .png wins over a .jpg of the same tile, a .jpg
// alone is shown, and a missing tile gets the placeholder.
TEST(MapTiles, TheDefaultLoaderReadsPngAndJpegFromTheTree) {
    const auto root = test::scratchFolder("mosaic");
    MapScreen s(480, 272);
    s.view.storageRootPath = root.string() + "/";
    s.view.mapDir = "Maps\\std";
    const std::filesystem::path tree = root / "Maps" / "std";
    const platform::Color palette[] = {platform::rgb(10, 20, 30), platform::rgb(200, 100, 50)};
    platform::Bitmap tile = platform::createDib(256, -256, 1, palette);
    platform::fillRect(tile, {0, 0, 128, 256}, palette[1]);
    const std::filesystem::path file = treeTilePath(tree, 14, kCol, kRow, ".png");
    std::filesystem::create_directories(file.parent_path());
    ASSERT_TRUE(writePngFile(tile, file));
    writeJpegTile(treeTilePath(tree, 14, kCol, kRow, ".jpg"), 0, 0, 255);
    writeJpegTile(treeTilePath(tree, 14, kCol + 1, kRow, ".jpg"), 40, 200, 90);
    MapTileLoader loader;
    fillMosaic(s.view, loader);
    std::filesystem::remove_all(root);
    EXPECT_EQ(pixelAt(s.view.mosaicBitmap, 3 * 256 + 5, 2 * 256 + 5), palette[1]);
    EXPECT_EQ(pixelAt(s.view.mosaicBitmap, 3 * 256 + 200, 2 * 256 + 250), palette[0]);
    const platform::Color jpeg = pixelAt(s.view.mosaicBitmap, 4 * 256 + 100, 2 * 256 + 100);
    EXPECT_NEAR(platform::redOf(jpeg), 40, 2);
    EXPECT_NEAR(platform::greenOf(jpeg), 200, 2);
    EXPECT_NEAR(platform::blueOf(jpeg), 90, 2);
    EXPECT_EQ(pixelAt(s.view.mosaicBitmap, 5 * 256 + 9, 2 * 256 + 9), pixelAt(s.view.noTileImage->bitmap, 9, 9));
}

}  // namespace
}  // namespace quorel
