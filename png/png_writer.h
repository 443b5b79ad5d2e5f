#pragma once
// Bitmaps to PNG, for screenshots, golden images and the program's own images.
// Palette bitmaps (1, 4, 8 bits) are written as palette PNGs of the same depth with
// their colour table; 24- and 32-bit bitmaps as 8-bit RGB. Rows are written top row
// first whatever the bitmap's row order.
#include <cstdint>
#include <filesystem>
#include <vector>

#include "platform/raster/bitmap.h"

namespace quorel {

// The encoded file; empty when the bitmap is not usable or encoding fails. zlibLevel
// trades size for time: 9, the smallest files, takes about twice the time of 6.
std::vector<std::uint8_t> encodePng(const platform::Bitmap& bitmap, int zlibLevel = 9);

// False when the bitmap cannot be encoded or the file cannot be written completely.
bool writePngFile(const platform::Bitmap& bitmap, const std::filesystem::path& path);

}  // namespace quorel
