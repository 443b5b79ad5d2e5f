#pragma once
// A bitmap as the drawing code sees it: 32-bit pixels for everything the program
// composes, and device-independent layouts of 1, 4, 8 and 24 bits with a colour table
// for decoded tiles. Pixels of 32 bits are 0x00RRGGBB in native (little-endian) order,
// that is blue, green, red, unused in memory; 24-bit pixels are blue, green, red.
#include <cstdint>
#include <vector>

namespace quorel::platform {

struct Bitmap {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 32;               // 1, 4, 8, 24 or 32
    int stride = 0;                      // bytes per row, a multiple of 4
    bool bottomUp = false;               // the first row in memory is the bottom one
    std::vector<std::uint32_t> palette;  // colour table, entries 0x00RRGGBB
    std::vector<std::uint8_t> bits;      // stride * height bytes

    bool valid() const { return width > 0 && height > 0 && !bits.empty(); }
};

// Row stride of a device-independent bitmap: rows padded to whole 32-bit words.
inline int dibStride(int width, int bitsPerPixel) {
    const auto bits = static_cast<std::int64_t>(width) * bitsPerPixel;
    return static_cast<int>((bits + 31) / 32 * 4);
}

}  // namespace quorel::platform
