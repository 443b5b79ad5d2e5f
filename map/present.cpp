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

// Both bitmaps 32-bit and top-down. Square blocks keep the column walk of a quarter turn
// within the cache.
void turnedCopy(platform::Bitmap& window, const platform::Bitmap& frame, const WindowToView& m) {
    constexpr int kBlock = 32;
    const std::int64_t rowPixels = frame.stride / 4;
    const std::int64_t stepX = m.ax + m.ay * rowPixels;  // frame pixels per window pixel rightwards
    const std::int64_t stepY = m.bx + m.by * rowPixels;  // and downwards
    const std::int64_t origin = m.x0 + m.y0 * rowPixels;
    const std::uint8_t* src = frame.bits.data();
    std::uint8_t* dst = window.bits.data();
    const int width = window.width, height = window.height;
    for (int top = 0; top < height; top += kBlock) {
        const int bottom = std::min(height, top + kBlock);
        for (int left = 0; left < width; left += kBlock) {
            const int right = std::min(width, left + kBlock);
            for (int wy = top; wy < bottom; ++wy) {
                std::uint8_t* d = dst + static_cast<std::size_t>(wy) * static_cast<std::size_t>(window.stride);
                std::int64_t at = origin + left * stepX + wy * stepY;
                for (int wx = left; wx < right; ++wx, at += stepX) {
                    std::memcpy(d + 4 * static_cast<std::size_t>(wx), src + 4 * at, 4);
                }
            }
        }
    }
}

}  // namespace

void presentFrame(MapView& view) {
    if (view.windowBitmap == nullptr) return;
    platform::Bitmap& window = *view.windowBitmap;
    const int w = view.viewWidth, h = view.viewHeight;
    if (view.rotation == 90 || view.rotation == 180 || view.rotation == 270) {
        const platform::Bitmap& frame = view.frameBitmap;
        const bool fits = frame.valid() && frame.width == w && frame.height == h && window.valid() &&
                          window.width == (turnsSideways(view.rotation) ? h : w) &&
                          window.height == (turnsSideways(view.rotation) ? w : h);
        const bool plain = frame.bitsPerPixel == 32 && !frame.bottomUp && window.bitsPerPixel == 32 &&
                           !window.bottomUp && frame.stride >= 4 * w && window.stride >= 4 * window.width;
        if (fits && plain) turnedCopy(window, frame, mirrored(turnBack(view.rotation, w, h), view.hudMode, w, h));
        return;
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
