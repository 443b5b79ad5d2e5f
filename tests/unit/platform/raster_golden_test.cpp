// Pictures of the block transfers the map is made of, compared with checked-in goldens.
#include <gtest/gtest.h>

#include "platform/raster/raster.h"
#include "tests/support/golden.h"

namespace quorel::platform {
namespace {

// A small asymmetric picture: a corner mark tells orientation at a glance.
Bitmap arrowPicture() {
    Bitmap b = createBitmap(8, 6);
    fillRect(b, {0, 0, 8, 6}, rgb(255, 255, 255));
    fillRect(b, {0, 0, 3, 2}, rgb(255, 0, 0));
    fillRect(b, {0, 2, 8, 3}, rgb(0, 0, 255));
    fillRect(b, {6, 3, 7, 6}, rgb(0, 160, 0));
    setPixel(b, 7, 5, rgb(0, 0, 0));
    return b;
}

TEST(BlitGolden, StretchedAndMirroredCopies) {
    const Bitmap src = arrowPicture();
    Bitmap b = createBitmap(72, 30);
    fillRect(b, {0, 0, 72, 30}, rgb(200, 200, 200));
    stretchBlit(b, 1, 1, 16, 12, src, 0, 0, 8, 6);      // enlarged twice
    stretchBlit(b, 34, 1, -16, 12, src, 0, 0, 8, 6);    // and mirrored left to right
    stretchBlit(b, 35, 13, 16, -12, src, 0, 0, 8, 6);   // top to bottom
    stretchBlit(b, 69, 29, -16, -12, src, 0, 0, 8, 6);  // both: turned half round
    stretchBlit(b, 1, 16, 20, 13, src, 0, 0, 8, 6);     // uneven enlargement
    stretchBlit(b, 22, 16, 5, 4, src, 0, 0, 8, 6);      // reduction
    stretchBlit(b, 28, 16, 4, 6, src, 6, 0, -4, 6);     // mirrored source part
    EXPECT_TRUE(test::matchesGolden(b, "stretch_mirror"));
}

TEST(BlitGolden, AndSpriteOverAPattern) {
    Bitmap b = createBitmap(40, 20);
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 40; ++x) {
            setPixel(b, x, y, ((x / 4 + y / 4) % 2) ? rgb(240, 230, 200) : rgb(120, 200, 120));
        }
    }
    // A two-cell sprite on white: a red disc with a black needle, and a grey one.
    Bitmap sprite = createBitmap(20, 10);
    fillRect(sprite, {0, 0, 20, 10}, rgb(255, 255, 255));
    for (const auto& [cell, colour] : {std::pair{0, rgb(255, 0, 0)}, {1, rgb(150, 150, 150)}}) {
        const int ox = cell * 10;
        fillRect(sprite, {ox + 3, 1, ox + 7, 5}, colour);
        fillRect(sprite, {ox + 2, 2, ox + 8, 4}, colour);
        fillRect(sprite, {ox + 5, 5, ox + 6, 10}, rgb(0, 0, 0));
    }
    for (int i = 0; i < 4; ++i) blit(b, 3 + i * 9, 4 + i * 2, 10, 10, sprite, (i % 2) * 10, 0, RasterOp::SrcAnd);
    blit(b, 36, 15, 10, 10, sprite, 0, 0, RasterOp::SrcAnd);    // clipped at the corner
    blit(b, -5, -6, 10, 10, sprite, 10, 0, RasterOp::SrcAnd);
    EXPECT_TRUE(test::matchesGolden(b, "and_sprite"));
}

}  // namespace
}  // namespace quorel::platform
