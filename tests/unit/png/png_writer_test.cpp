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

TEST(PngWriter, RefusesWhatItCannotWrite) {
    EXPECT_TRUE(encodePng(Bitmap{}).empty());
    Bitmap broken = platform::createBitmap(4, 4);
    broken.bits.resize(10);
    EXPECT_TRUE(encodePng(broken).empty());
    EXPECT_FALSE(writePngFile(platform::createBitmap(2, 2), "/nonexistent/dir/x.png"));
}

}  // namespace
}  // namespace quorel
