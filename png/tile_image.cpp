#include "png/tile_image.h"

#include <cstdio>
#include <utility>

#include "platform/message_box.h"
#include "platform/raster/raster.h"
#include "png/jpeg_decoder.h"
#include "png/png_decoder.h"

namespace quorel {

namespace {

bool startsAsJpeg(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

// A tile of twice the side ("retina" tiles) halved, each pixel the rounded mean of
// the 2 x 2 it stands for.
platform::Bitmap halved(const platform::Bitmap& big, std::vector<std::uint8_t> storage) {
    const platform::Bitmap source = big.bitsPerPixel == 32 && !big.bottomUp ? platform::Bitmap{} : toBitmap32(big);
    const platform::Bitmap& from = source.valid() ? source : big;
    platform::Bitmap small = platform::createBitmap(kTilePixels, kTilePixels, std::move(storage));
    if (!small.valid() || !from.valid()) return {};
    for (int y = 0; y < kTilePixels; ++y) {
        const std::uint8_t* top = from.bits.data() + std::size_t(2 * y) * from.stride;
        const std::uint8_t* bottom = top + from.stride;
        std::uint8_t* out = small.bits.data() + std::size_t(y) * small.stride;
        for (int x = 0; x < kTilePixels * 4; ++x) {
            const int i = (x / 4) * 8 + x % 4;
            out[x] = static_cast<std::uint8_t>((top[i] + top[i + 4] + bottom[i] + bottom[i + 4] + 2) / 4);
        }
    }
    return small;
}

// A decoded tile in the map's size: 256 pixels square as it is, 512 halved, any other
// size rejected (its top-left corner would stand for the whole tile).
void toTileSize(TileDecodeResult& result, std::vector<std::uint8_t> storage) {
    if (!result.bitmap || result.rejected) return;
    const int w = result.bitmap->width, h = result.bitmap->height;
    if (w == kTilePixels && h == kTilePixels) return;
    if (w == 2 * kTilePixels && h == 2 * kTilePixels) {
        platform::Bitmap small = halved(*result.bitmap, std::move(storage));
        if (small.valid()) {
            result.bitmap = std::move(small);
        } else {
            result.bitmap.reset();
        }
        return;
    }
    result.bitmap.reset();
    result.rejected = true;
    result.reason = "is not 256 or 512 pixels square";
}

}  // namespace

TileDecodeResult decodeTileImage(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t> storage) {
    TileDecodeResult result;
    if (startsAsJpeg(bytes)) {
        JpegDecodeResult jpeg = decodeJpegMemory(bytes);
        result.bitmap = std::move(jpeg.bitmap);
        result.rejected = jpeg.rejected;
        result.reason = "is a damaged or unsupported JPEG image";
        toTileSize(result, std::move(storage));
        return result;
    }
    PngDecodeResult png = decodePngMemory32(bytes, std::move(storage));
    result.bitmap = std::move(png.bitmap);
    result.rejected = png.libpngError;
    result.reason = "is not a PNG or JPEG image, or a damaged one";
    toTileSize(result, {});
    return result;
}

bool reportBadTile(TileReports& reports, const std::string& file, const std::string& what, std::string_view shown) {
    if (!reports.reported.insert(file).second) return false;
    std::fprintf(stderr, "quorel: %s\n", what.c_str());
    platform::showMessage(shown);
    return true;
}

}  // namespace quorel
