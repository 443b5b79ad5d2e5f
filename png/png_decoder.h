#pragma once
// PNG files to device-independent bitmaps, laid out so that the tile cache can copy
// them with plain blits: bottom-up rows padded to 4 bytes, and for each PNG colour
// type the depth that needs no conversion of its own.
//
//   colour type          bit depth   output                    colour table
//   0 grey               1, 4, 8     same depth                grey ramp (2, 16, 256)
//   0 grey               2           4 bits, indices kept      16: ramp 0, 85, 170, 255, then black
//   0 grey               16          8 bits, high byte         256-entry ramp
//   2 truecolour         8, 16       24 bits, B G R            none
//   3 palette            1, 4, 8     same depth                2^depth: PLTE, then black
//   3 palette            2           4 bits, indices kept      16: PLTE, then black
//   4 grey + alpha       8, 16       8 bits, alpha dropped     256-entry ramp
//   6 truecolour + alpha 8, 16       24 bits, alpha dropped    none
//
// Alpha is dropped, never blended; no gamma, transparency or palette expansion is
// applied; interlaced files come out as the full image.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "platform/raster/bitmap.h"

namespace quorel {

struct PngDecodeResult {
    std::optional<platform::Bitmap> bitmap;  // the image, or nothing
    bool libpngError = false;                // libpng rejected the data: not a PNG, damaged, unsupported
};

// Images whose pixel buffer would exceed this are not decoded (nothing, no error).
inline constexpr std::uint64_t kMaxPngPixelBytes = std::uint64_t{64} << 20;

// Nothing without an error when the file cannot be opened or is not a regular file.
// Whatever happens, the file and every buffer are released before returning.
PngDecodeResult decodePngFile(const std::filesystem::path& path);

// The same decoding of a PNG held in memory (the program's embedded images).
PngDecodeResult decodePngMemory(std::span<const std::uint8_t> bytes);

// The same decoding of a PNG held in memory into the layout the map composes with
// (32 bits, top-down), the colours exactly those blit gives from the table's layout:
// rows pass through a small strip, so the image is never held in two layouts at once.
// Interlaced images, whose passes need the whole image, and those too large for a
// 32-bit bitmap come in the table's layout.
// storage: a buffer the picture may be made in (createBitmap).
PngDecodeResult decodePngMemory32(std::span<const std::uint8_t> bytes, std::vector<std::uint8_t> storage = {});

}  // namespace quorel
