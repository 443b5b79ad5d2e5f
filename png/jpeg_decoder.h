#pragma once
// JPEG tiles (satellite and scanned maps) to the bitmap a truecolour PNG gives: 24 bits,
// blue, green, red, bottom-up rows padded to 4 bytes, no colour table. Grey JPEGs come
// out as 24-bit grey; CMYK ones are refused.
#include <cstdint>
#include <optional>
#include <span>

#include "platform/raster/bitmap.h"

namespace quorel {

struct JpegDecodeResult {
    std::optional<platform::Bitmap> bitmap;  // the image, or nothing
    bool rejected = false;                   // not a JPEG, damaged, truncated or unsupported
};

// A pure function of the bytes: safe to call from several threads at once. A picture
// whose pixels would exceed kMaxPngPixelBytes gives nothing without rejection, as a
// PNG does. Any warning of the decoder (a truncated or damaged file) is a rejection:
// a half-grey tile would pass for a whole one.
JpegDecodeResult decodeJpegMemory(std::span<const std::uint8_t> bytes);

}  // namespace quorel
