#include "map/tile_cache.h"

#include <gtest/gtest.h>

#include <memory>

#include "platform/raster/raster.h"

namespace quorel {
namespace {

TileOrigin originOf(int col) { return TileOrigin{"/t/" + std::to_string(col) + ".png", false, 5, col, 1, 100, 7}; }

// Three tiles fit; the one used longest ago goes, a tile seen again counts as used.
// (Through the loader, with tiles replaced on the card: tile_threads_test.cpp.)
TEST(TileCache, LetsTheLeastRecentlyUsedGoWhenTheBytesRunOut) {
    const TilePicture tile = std::make_shared<const platform::Bitmap>(platform::createBitmap(16, 16));
    TileCache cache(3 * tileBytes(*tile) + 1);
    for (int col = 0; col < 3; ++col) cache.keep(originOf(col), tile);
    ASSERT_NE(cache.find(originOf(0)), nullptr);
    cache.keep(originOf(3), tile);
    EXPECT_EQ(cache.find(originOf(1)), nullptr);
    for (const int col : {0, 2, 3}) EXPECT_NE(cache.find(originOf(col)), nullptr) << col;
    cache.makeRoom(tileBytes(*tile));  // for a tile about to be decoded
    EXPECT_EQ(cache.find(originOf(0)), nullptr);
    EXPECT_EQ(cache.count(), 2u);

    cache.setBudget(0);  // --tile-cache 0
    cache.keep(originOf(4), tile);
    EXPECT_EQ(cache.count(), 0u);
}

}  // namespace
}  // namespace quorel
