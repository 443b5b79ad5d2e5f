#include "map/tile_cache.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "map/tile_mosaic.h"
#include "platform/raster/raster.h"
#include "png/png_writer.h"

namespace quorel {
namespace {

TileOrigin originOf(int col) { return TileOrigin{"/t/" + std::to_string(col) + ".png", false, 5, col, 1, 100, 7}; }

// Three tiles fit; the one used longest ago goes, a tile seen again counts as used.
TEST(TileCache, LetsTheLeastRecentlyUsedGoWhenTheBytesRunOut) {
    const platform::Bitmap tile = platform::createBitmap(16, 16);
    TileCache cache(3 * tileBytes(tile) + 1);
    for (int col = 0; col < 3; ++col) cache.keep(originOf(col), tile);
    ASSERT_NE(cache.find(originOf(0)), nullptr);
    cache.keep(originOf(3), tile);
    EXPECT_EQ(cache.find(originOf(1)), nullptr);
    for (const int col : {0, 2, 3}) EXPECT_NE(cache.find(originOf(col)), nullptr) << col;


    cache.setBudget(0);  // --tile-cache 0
    cache.keep(originOf(4), tile);
    EXPECT_EQ(cache.count(), 0u);
}

// Through the loader: a tile rewritten on the card (same size, new time) is shown anew;
// a damaged one is never kept, so it is decoded (and reported once) as before.
TEST(TileCache, TheLoaderShowsARewrittenTileAndKeepsNoDamagedOne) {
    const auto root = std::filesystem::temp_directory_path() / ("quorel_tile_cache_" + std::to_string(getpid()));
    MapView view;
    view.storageRootPath = root.string() + "/";
    const std::filesystem::path file = treeTilePath(root / "Maps" / "std", 9, 3, 4, ".png");
    std::filesystem::create_directories(file.parent_path());
    MapTileLoader loader;
    const auto colourAfterWriting = [&](platform::Color colour, int second) {
        platform::Bitmap tile = platform::createBitmap(256, 256);
        platform::fillRect(tile, {0, 0, 256, 256}, colour);
        EXPECT_TRUE(writePngFile(tile, file));
        std::filesystem::last_write_time(file, std::filesystem::file_time_type(std::chrono::seconds(second)));
        EXPECT_TRUE(loader.load(view, 9, 3, 4));
        return platform::pixelAt(*view.tileBitmap, 10, 10);
    };
    EXPECT_EQ(colourAfterWriting(platform::rgb(200, 0, 0), 1000), platform::rgb(200, 0, 0));
    EXPECT_EQ(colourAfterWriting(platform::rgb(0, 0, 200), 2000), platform::rgb(0, 0, 200));
    EXPECT_EQ(loader.cache.count(), 2u);

    std::ofstream(file, std::ios::binary | std::ios::trunc) << "not a picture";
    for (int i = 0; i < 2; ++i) EXPECT_FALSE(loader.load(view, 9, 3, 4));
    std::filesystem::remove_all(root);
    EXPECT_EQ(loader.reports.reported.size(), 1u);
    EXPECT_EQ(loader.cache.count(), 2u);
}

}  // namespace
}  // namespace quorel
