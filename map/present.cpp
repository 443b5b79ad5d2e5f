#include "map/present.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/numeric.h"
#include "platform/raster/raster.h"

namespace quorel {
namespace {

// View pixel (x0 + ax * wx + bx * wy, y0 + ay * wx + by * wy) is shown at window pixel
// (wx, wy).
struct WindowToView {
    std::int64_t x0, ax, bx;
    std::int64_t y0, ay, by;
};

WindowToView turnBack(int rotation, std::int64_t w, std::int64_t h) {
    switch (rotation) {
    case 90:
        return {0, 0, 1, h - 1, -1, 0};
    case 180:
        return {w - 1, -1, 0, h - 1, 0, -1};
    case 270:
        return {w - 1, 0, -1, 0, 1, 0};
    default:
        return {0, 1, 0, 0, 0, 1};
    }
}

// The mirror of a head-up display, applied within the view before it is turned.
WindowToView mirrored(WindowToView m, int hudMode, std::int64_t w, std::int64_t h) {
    if (hudMode == 1) m = {w - 1 - m.x0, -m.ax, -m.bx, m.y0, m.ay, m.by};
    if (hudMode == 2) m = {m.x0, m.ax, m.bx, h - 1 - m.y0, -m.ay, -m.by};
    return m;
}

using Pixel = std::uint32_t;
using Four = Pixel __attribute__((vector_size(16)));  // four pixels

Four loadFour(const std::uint8_t* at) {
    Four v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

void storeFour(std::uint8_t* at, Four v) { std::memcpy(at, &v, sizeof v); }

Four reversed(Four v) { return __builtin_shufflevector(v, v, 3, 2, 1, 0); }

// The four pixels from `at` on, forwards (kStep 1) or backwards (kStep -1).
template <int kStep>
Four runOfFour(const std::uint8_t* at) {
    if constexpr (kStep > 0) {
        return loadFour(at);
    } else {
        return reversed(loadFour(at - 12));
    }
}

// Rows of the window are rows of the frame, read forwards or backwards; backwards eight
// pixels at a time.
void rowsCopy(platform::Bitmap& window, const platform::Bitmap& frame, std::int64_t origin, std::int64_t stepX,
              std::int64_t stepY) {
    const std::uint8_t* src = frame.bits.data();
    for (int wy = 0; wy < window.height; ++wy) {
        std::uint8_t* d = window.bits.data() + static_cast<std::size_t>(wy) * static_cast<std::size_t>(window.stride);
        const std::uint8_t* s = src + 4 * (origin + wy * stepY);
        if (stepX > 0) {
            std::memcpy(d, s, 4 * static_cast<std::size_t>(window.width));
            continue;
        }
        int wx = 0;
        for (; wx + 8 <= window.width; wx += 8) {
            const Four a = loadFour(s - 4 * wx - 12), b = loadFour(s - 4 * wx - 28);
            storeFour(d + 4 * wx, reversed(a));
            storeFour(d + 4 * wx + 16, reversed(b));
        }
        for (; wx < window.width; ++wx) std::memcpy(d + 4 * wx, s - 4 * wx, 4);
    }
}

// Four window columns by four window rows from four runs along frame rows: `from` is the
// frame pixel shown at the block's top left, `across` the bytes from one window column's
// frame row to the next, `down` the bytes between window rows.
template <int kStep>
void turnFourByFour(std::uint8_t* to, std::ptrdiff_t down, const std::uint8_t* from, std::ptrdiff_t across) {
    // c[k] holds window column k, rows 0 to 3.
    const Four c0 = runOfFour<kStep>(from), c1 = runOfFour<kStep>(from + across);
    const Four c2 = runOfFour<kStep>(from + 2 * across), c3 = runOfFour<kStep>(from + 3 * across);
    const Four t0 = __builtin_shufflevector(c0, c1, 0, 4, 1, 5);
    const Four t1 = __builtin_shufflevector(c0, c1, 2, 6, 3, 7);
    const Four t2 = __builtin_shufflevector(c2, c3, 0, 4, 1, 5);
    const Four t3 = __builtin_shufflevector(c2, c3, 2, 6, 3, 7);
    storeFour(to, __builtin_shufflevector(t0, t2, 0, 1, 4, 5));
    storeFour(to + down, __builtin_shufflevector(t0, t2, 2, 3, 6, 7));
    storeFour(to + 2 * down, __builtin_shufflevector(t1, t3, 0, 1, 4, 5));
    storeFour(to + 3 * down, __builtin_shufflevector(t1, t3, 2, 3, 6, 7));
}

// Columns of the window are rows of the frame, read forwards (kStep 1) or backwards
// (kStep -1). The window is walked in square tiles, small enough that the frame rows a
// tile reads and the window rows it writes all stay in the first-level cache, and within a
// tile in blocks of four by four pixels.
template <int kStep>
void quarterTurnCopy(platform::Bitmap& window, const platform::Bitmap& frame, std::int64_t origin,
                     std::int64_t stepX) {
    constexpr int kTile = 16;
    const std::uint8_t* src = frame.bits.data();
    std::uint8_t* dst = window.bits.data();
    const std::ptrdiff_t down = window.stride, across = 4 * stepX;
    const auto pixel = [&](int wx, int wy) { return src + 4 * (origin + wx * stepX + wy * kStep); };
    const auto at = [&](int wx, int wy) { return dst + static_cast<std::ptrdiff_t>(wy) * down + 4 * wx; };
    const int width = window.width, height = window.height;
    const int fullRows = height / 4 * 4, fullCols = width / 4 * 4;
    for (int top = 0; top < fullRows; top += kTile) {
        const int bottom = std::min(fullRows, top + kTile);
        for (int left = 0; left < fullCols; left += kTile) {
            const int right = std::min(fullCols, left + kTile);
            for (int wy = top; wy < bottom; wy += 4) {
                for (int wx = left; wx < right; wx += 4) turnFourByFour<kStep>(at(wx, wy), down, pixel(wx, wy), across);
            }
        }
    }
    // What the blocks of four left: the last columns and the last rows.
    for (int wy = 0; wy < height; ++wy) {
        for (int wx = wy < fullRows ? fullCols : 0; wx < width; ++wx) std::memcpy(at(wx, wy), pixel(wx, wy), 4);
    }
}

// Both bitmaps 32-bit and top-down.
void turnedCopy(platform::Bitmap& window, const platform::Bitmap& frame, const WindowToView& m) {
    const std::int64_t rowPixels = frame.stride / 4;
    const std::int64_t stepX = m.ax + m.ay * rowPixels;  // frame pixels per window pixel rightwards
    const std::int64_t stepY = m.bx + m.by * rowPixels;  // and downwards
    const std::int64_t origin = m.x0 + m.y0 * rowPixels;
    if (m.ay == 0) {
        rowsCopy(window, frame, origin, stepX, stepY);
    } else if (stepY > 0) {
        quarterTurnCopy<1>(window, frame, origin, stepX);
    } else {
        quarterTurnCopy<-1>(window, frame, origin, stepX);
    }
}

}  // namespace

void presentFrame(MapView& view) {
    if (view.windowBitmap == nullptr) return;
    platform::Bitmap& window = *view.windowBitmap;
    const int w = view.viewWidth, h = view.viewHeight;
    const bool turned = view.rotation == 90 || view.rotation == 180 || view.rotation == 270;
    const bool mirror = view.hudMode == 1 || view.hudMode == 2;
    if (turned || mirror) {
        const platform::Bitmap& frame = view.frameBitmap;
        const bool fits = frame.valid() && frame.width == w && frame.height == h && window.valid() &&
                          window.width == (turnsSideways(view.rotation) ? h : w) &&
                          window.height == (turnsSideways(view.rotation) ? w : h);
        const bool plain = frame.bitsPerPixel == 32 && !frame.bottomUp && window.bitsPerPixel == 32 &&
                           !window.bottomUp && frame.stride >= 4 * w && window.stride >= 4 * window.width;
        if (fits && plain) {
            turnedCopy(window, frame, mirrored(turnBack(view.rotation, w, h), view.hudMode, w, h));
            return;
        }
        if (turned) return;
    }
    switch (view.hudMode) {
    case 1:
        platform::stretchBlit(window, w, 0, -w, h, view.frameBitmap, 0, 0, w, h);
        break;
    case 2:
        platform::stretchBlit(window, 0, h, w, -h, view.frameBitmap, 0, 0, w, h);
        break;
    default:
        platform::blit(window, 0, 0, w, h, view.frameBitmap, 0, 0);
        break;
    }
}

ViewPoint windowToView(const MapView& view, int x, int y) {
    const WindowToView m = turnBack(view.rotation, view.viewWidth, view.viewHeight);
    return {platform::clampToInt(m.x0 + m.ax * x + m.bx * y), platform::clampToInt(m.y0 + m.ay * x + m.by * y)};
}

}  // namespace quorel
