#include "png/tile_image.h"

#include <cstdio>
#include <utility>

#include "platform/message_box.h"
#include "png/jpeg_decoder.h"
#include "png/png_decoder.h"

namespace quorel {

namespace {

bool startsAsJpeg(std::span<const std::uint8_t> bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

}  // namespace

TileDecodeResult decodeTileImage(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t> storage) {
    TileDecodeResult result;
    if (startsAsJpeg(bytes)) {
        JpegDecodeResult jpeg = decodeJpegMemory(bytes);
        result.bitmap = std::move(jpeg.bitmap);
        result.rejected = jpeg.rejected;
        result.reason = "is a damaged or unsupported JPEG image";
        return result;
    }
    PngDecodeResult png = decodePngMemory32(bytes, std::move(storage));
    result.bitmap = std::move(png.bitmap);
    result.rejected = png.libpngError;
    result.reason = "is not a PNG or JPEG image, or a damaged one";
    return result;
}

bool reportBadTile(TileReports& reports, const std::string& file, const std::string& what) {
    if (!reports.reported.insert(file).second) return false;
    std::fprintf(stderr, "quorel: %s\n", what.c_str());
    platform::showMessage(kNotPngMessage);
    return true;
}

}  // namespace quorel
