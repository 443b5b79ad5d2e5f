#include "map/tile_cache.h"
#include "map/picture_pool.h"

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

// A picture's buffer goes back to the pool when its last holder lets it go, while the
// pool is below its limit, and the next picture is made in it; a pool gone first does
// no harm.
TEST(PicturePool, TakesBackTheBuffersOfPicturesLetGo) {
    auto pool = std::make_shared<PicturePool>(1);
    TilePicture a = pooledPicture(platform::createBitmap(16, 16), pool);
    TilePicture b = pooledPicture(platform::createBitmap(16, 16), pool);
    TilePicture alsoA = a;
    const std::uint8_t* bytesOfA = a->bits.data();
    a.reset();
    EXPECT_EQ(pool->kept(), 0u);
    alsoA.reset();
    b.reset();
    EXPECT_EQ(pool->kept(), 1u);
    const platform::Bitmap again = platform::createBitmap(16, 16, pool->take());
    EXPECT_EQ(again.bits.data(), bytesOfA);
    EXPECT_EQ(again.bits, std::vector<std::uint8_t>(16 * 16 * 4, 0));

    TilePicture outliving = pooledPicture(platform::createBitmap(8, 8), pool);
    pool.reset();
    outliving.reset();
}

}  // namespace
}  // namespace quorel
