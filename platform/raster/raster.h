#pragma once
// The software raster: creating bitmaps, reading and writing pixels, filling, and the
// block transfers the map is built from (plain and stretched, with mirroring).
//
// Every operation clips to both bitmaps before it touches a pixel, so rectangles that
// lie partly or wholly outside a bitmap, huge offsets and empty or malformed bitmaps
// are all safe: what falls outside is simply not drawn. Colours are 0x00RRGGBB.
#include <array>
#include <cstdint>
#include <span>

#include "platform/raster/bitmap.h"

namespace quorel::platform {

using Color = std::uint32_t;

constexpr Color rgb(int r, int g, int b) {
    return (static_cast<Color>(r & 255) << 16) | (static_cast<Color>(g & 255) << 8) | static_cast<Color>(b & 255);
}
constexpr int redOf(Color c) { return static_cast<int>((c >> 16) & 255); }
constexpr int greenOf(Color c) { return static_cast<int>((c >> 8) & 255); }
constexpr int blueOf(Color c) { return static_cast<int>(c & 255); }

// left/top inclusive, right/bottom exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Rect&) const = default;
};

// No bitmap larger than this is created (64 Mi pixels, 256 MiB at 32 bits); a larger
// request gives an empty bitmap, as a failed allocation would.
inline constexpr std::int64_t kMaxBitmapPixels = std::int64_t{1} << 26;

// A 32-bit, top-down bitmap, all black, made in storage when that holds enough bytes
// (a buffer of a bitmap let go, to be used again). Empty (not valid()) when a side is
// not positive or the size is beyond kMaxBitmapPixels.
Bitmap createBitmap(int width, int height, std::vector<std::uint8_t> storage = {});

// A device-independent bitmap of 1, 4, 8 or 24 bits, all pixels zero. A positive
// height gives a bottom-up bitmap (the first row in memory is the bottom one), a
// negative height a top-down one. Palette depths get a colour table of exactly
// 2^bitsPerPixel entries: the given entries, cut or padded with black.
Bitmap createDib(int width, int height, int bitsPerPixel, std::span<const Color> palette = {});

// True when the record describes pixels that can be read: a supported depth, a
// stride that holds a row and enough bytes for every row.
bool usableBitmap(const Bitmap& bitmap);

// The colour of a pixel in any layout (palette entries looked up; an index beyond
// the table reads black). x, y count from the top-left corner whatever the row
// order; outside the bitmap the result is 0.
Color pixelAt(const Bitmap& bitmap, int x, int y);

// Sets one pixel; palette bitmaps take the nearest entry of their table. Nothing
// happens outside the bitmap.
void setPixel(Bitmap& bitmap, int x, int y, Color color);

void fillRect(Bitmap& bitmap, const Rect& rect, Color color);

// A new value for each value of each channel.
struct ChannelTables {
    std::array<std::uint8_t, 256> red;
    std::array<std::uint8_t, 256> green;
    std::array<std::uint8_t, 256> blue;
};

// Every pixel of rect passed through the tables, in 32-bit bitmaps; other depths are
// left alone.
void recolorRect(Bitmap& bitmap, const Rect& rect, const ChannelTables& tables);

struct PointF {
    double x = 0.0;
    double y = 0.0;
};

// Fills the polygon (closed implicitly, non-zero winding). A pixel is inside when its
// centre (x + 0.5, y + 0.5) is; pixel corners sit on integer coordinates.
void fillPolygon(Bitmap& bitmap, std::span<const PointF> points, Color color);

enum class RasterOp {
    SrcCopy,  // destination = source
    SrcAnd,   // destination = destination AND source, channel by channel
};

// Copies width x height pixels from (sx, sy) of src to (dx, dy) of dst. Non-positive
// sizes copy nothing. Source pixels outside src leave their destination unchanged.
// src and dst may be the same bitmap, also overlapping.
void blit(Bitmap& dst, int dx, int dy, int width, int height, const Bitmap& src, int sx, int sy,
          RasterOp op = RasterOp::SrcCopy);

// Stretches the source rectangle onto the destination rectangle, nearest neighbour.
// A negative extent covers the pixels [x + extent, x) and runs from x - 1 backwards,
// so a negative width on one side only mirrors left to right (destination x = w,
// width = -w covers 0..w-1 reversed). Destination pixel k of a run (counted from its
// start) samples source pixel floor((2k + 1) * |srcExtent| / (2 * |dstExtent|)) of
// the source run. Samples that fall outside src leave their destination unchanged.
void stretchBlit(Bitmap& dst, int dx, int dy, int dw, int dh, const Bitmap& src, int sx, int sy, int sw, int sh,
                 RasterOp op = RasterOp::SrcCopy);

// The same picture as a 32-bit, top-down bitmap.
Bitmap toBitmap32(const Bitmap& bitmap);

}  // namespace quorel::platform
