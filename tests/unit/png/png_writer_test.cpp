#include "png/png_writer.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/raster/raster.h"
#include "png/png_decoder.h"

namespace quorel {
namespace {

using platform::Bitmap;
using platform::Color;
using platform::rgb;

// Palette bitmaps stay palette images of their depth; rows come back in order.
TEST(PngWriter, RoundTripsEveryLayoutThroughTheDecoder) {
    const std::vector<Color> table = {rgb(0, 255, 255), rgb(255, 0, 0), rgb(1, 2, 3), rgb(40, 50, 60)};
    for (const int bpp : {1, 4, 8, 24, 32}) {
        for (const int height : {5, -5}) {
            Bitmap b = bpp == 32 ? platform::createBitmap(7, 5) : platform::createDib(7, height, bpp, table);
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < 7; ++x) {
                    const int index = (x + (y == 0 ? 1 : 0)) % (bpp == 1 ? 2 : 4);  // the top row differs
                    platform::setPixel(b, x, y, bpp >= 24 ? rgb(x * 30, y * 50, 77) : table[static_cast<std::size_t>(index)]);
                }
            }
            const PngDecodeResult back = decodePngMemory(encodePng(b));
            ASSERT_TRUE(back.bitmap) << bpp;
            EXPECT_EQ(back.bitmap->bitsPerPixel, bpp == 32 ? 24 : bpp);
            EXPECT_EQ(platform::toBitmap32(*back.bitmap).bits, platform::toBitmap32(b).bits) << bpp << " " << height;
        }
    }
}

TEST(PngWriter, RefusesWhatItCannotWrite) {
    EXPECT_TRUE(encodePng(Bitmap{}).empty());
    Bitmap broken = platform::createBitmap(4, 4);
    broken.bits.resize(10);
    EXPECT_TRUE(encodePng(broken).empty());
    EXPECT_FALSE(writePngFile(platform::createBitmap(2, 2), "/nonexistent/dir/x.png"));
}

}  // namespace
}  // namespace quorel
