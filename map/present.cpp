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

using Eight = Pixel __attribute__((vector_size(32)));  // eight pixels

// The helpers below take and return eight pixels by value, which the compilers note would
// be passed differently with and without AVX; they are always inlined, so nothing is passed.
#pragma GCC diagnostic ignored "-Wpsabi"

// Inlined into either walker below, and so built for the processor features of each.
#define QUOREL_INLINE __attribute__((always_inline)) inline

QUOREL_INLINE Eight loadEight(const std::uint8_t* at) {
    Eight v;
    std::memcpy(&v, at, sizeof v);
    return v;
}

QUOREL_INLINE void storeEight(std::uint8_t* at, Eight v) { std::memcpy(at, &v, sizeof v); }

// Pixels 2k and 2k + 1 of each 128-bit half of u, paired with the same of v.
QUOREL_INLINE Eight pairsLow(Eight u, Eight v) { return __builtin_shufflevector(u, v, 0, 8, 1, 9, 4, 12, 5, 13); }
QUOREL_INLINE Eight pairsHigh(Eight u, Eight v) { return __builtin_shufflevector(u, v, 2, 10, 3, 11, 6, 14, 7, 15); }
// Pairs k of each half of u followed by the same of v.
QUOREL_INLINE Eight foursLow(Eight u, Eight v) { return __builtin_shufflevector(u, v, 0, 1, 8, 9, 4, 5, 12, 13); }
QUOREL_INLINE Eight foursHigh(Eight u, Eight v) { return __builtin_shufflevector(u, v, 2, 3, 10, 11, 6, 7, 14, 15); }
// The low halves, or the high halves, of u and v.
QUOREL_INLINE Eight lowHalves(Eight u, Eight v) { return __builtin_shufflevector(u, v, 0, 1, 2, 3, 8, 9, 10, 11); }
QUOREL_INLINE Eight highHalves(Eight u, Eight v) { return __builtin_shufflevector(u, v, 4, 5, 6, 7, 12, 13, 14, 15); }

// Four window columns by four window rows from four runs along frame rows: `from` is the
// frame pixel shown at the block's top left, `across` the bytes from one window column's
// frame row to the next, `down` the bytes between window rows. Read backwards (kStep -1),
// a run holds the block's rows bottom up, so the transposed rows are stored bottom up.
template <int kStep>
QUOREL_INLINE void turnFourByFour(std::uint8_t* to, std::ptrdiff_t down, const std::uint8_t* from,
                                  std::ptrdiff_t across) {
    constexpr std::ptrdiff_t kBack = kStep > 0 ? 0 : 12;
    // c[k] holds window column k, rows 0 to 3 (3 to 0 backwards).
    const Four c0 = loadFour(from - kBack), c1 = loadFour(from + across - kBack);
    const Four c2 = loadFour(from + 2 * across - kBack), c3 = loadFour(from + 3 * across - kBack);
    const Four t0 = __builtin_shufflevector(c0, c1, 0, 4, 1, 5);
    const Four t1 = __builtin_shufflevector(c0, c1, 2, 6, 3, 7);
    const Four t2 = __builtin_shufflevector(c2, c3, 0, 4, 1, 5);
    const Four t3 = __builtin_shufflevector(c2, c3, 2, 6, 3, 7);
    const std::ptrdiff_t first = kStep > 0 ? 0 : 3 * down, next = kStep > 0 ? down : -down;
    storeFour(to + first, __builtin_shufflevector(t0, t2, 0, 1, 4, 5));
    storeFour(to + first + next, __builtin_shufflevector(t0, t2, 2, 3, 6, 7));
    storeFour(to + first + 2 * next, __builtin_shufflevector(t1, t3, 0, 1, 4, 5));
    storeFour(to + first + 3 * next, __builtin_shufflevector(t1, t3, 2, 3, 6, 7));
}

// The same for eight window columns by eight window rows, with 256-bit vectors: as fast
// as a plain copy where the processor has them, and far slower where it has not.
template <int kStep>
QUOREL_INLINE void turnEightByEight(std::uint8_t* to, std::ptrdiff_t down, const std::uint8_t* from,
                                    std::ptrdiff_t across) {
    constexpr std::ptrdiff_t kBack = kStep > 0 ? 0 : 28;
    Eight c[8];  // c[k] holds window column k, rows 0 to 7 (7 to 0 backwards)
    for (int k = 0; k < 8; ++k) c[k] = loadEight(from + k * across - kBack);
    const Eight p0 = pairsLow(c[0], c[1]), p1 = pairsHigh(c[0], c[1]), p2 = pairsLow(c[2], c[3]),
                p3 = pairsHigh(c[2], c[3]), p4 = pairsLow(c[4], c[5]), p5 = pairsHigh(c[4], c[5]),
                p6 = pairsLow(c[6], c[7]), p7 = pairsHigh(c[6], c[7]);
    // f[r] and g[r] hold rows r (low half) and r + 4 (high half) of columns 0-3 and 4-7.
    const Eight f[4] = {foursLow(p0, p2), foursHigh(p0, p2), foursLow(p1, p3), foursHigh(p1, p3)};
    const Eight g[4] = {foursLow(p4, p6), foursHigh(p4, p6), foursLow(p5, p7), foursHigh(p5, p7)};
    for (int r = 0; r < 4; ++r) {
        storeEight(to + (kStep > 0 ? r : 7 - r) * down, lowHalves(f[r], g[r]));
        storeEight(to + (kStep > 0 ? r + 4 : 3 - r) * down, highHalves(f[r], g[r]));
    }
}

// The window's blocks of kBlock x kBlock up to fullCols x fullRows (multiples of kBlock),
// in square tiles of 64 x 64 pixels: the 64 frame rows a tile reads and the 64 window rows
// it writes stay in the first-level cache and its address translations, where walking
// whole window rows or columns at once reads or writes hundreds of rows far apart.
template <int kStep, int kBlock>
QUOREL_INLINE void turnBlocks(std::uint8_t* dst, std::ptrdiff_t down, const std::uint8_t* src, std::int64_t origin,
                              std::int64_t stepX, int fullCols, int fullRows) {
    constexpr int kTile = 64;
    for (int top = 0; top < fullRows; top += kTile) {
        for (int left = 0; left < fullCols; left += kTile) {
            for (int wy = top; wy < std::min(fullRows, top + kTile); wy += kBlock) {
                for (int wx = left; wx < std::min(fullCols, left + kTile); wx += kBlock) {
                    std::uint8_t* to = dst + static_cast<std::ptrdiff_t>(wy) * down + 4 * wx;
                    const std::uint8_t* from = src + 4 * (origin + wx * stepX + wy * kStep);
                    if constexpr (kBlock == 8) {
                        turnEightByEight<kStep>(to, down, from, 4 * stepX);
                    } else {
                        turnFourByFour<kStep>(to, down, from, 4 * stepX);
                    }
                }
            }
        }
    }
}
#undef QUOREL_INLINE

template <int kStep>
void turnBlocksPortably(std::uint8_t* dst, std::ptrdiff_t down, const std::uint8_t* src, std::int64_t origin,
                        std::int64_t stepX, int fullCols, int fullRows) {
    turnBlocks<kStep, 4>(dst, down, src, origin, stepX, fullCols, fullRows);
}

#if defined(__x86_64__)
// With the 256-bit shuffles of AVX2 (nearly every x86-64 processor sold since 2015) a
// quarter turn costs about what a plain copy does.
template <int kStep>
__attribute__((target("avx2"))) void turnBlocksWithAvx2(std::uint8_t* dst, std::ptrdiff_t down, const std::uint8_t* src,
                                                        std::int64_t origin, std::int64_t stepX, int fullCols,
                                                        int fullRows) {
    turnBlocks<kStep, 8>(dst, down, src, origin, stepX, fullCols, fullRows);
}
#endif

// Columns of the window are rows of the frame, read forwards (kStep 1) or backwards
// (kStep -1).
template <int kStep>
void quarterTurnCopy(platform::Bitmap& window, const platform::Bitmap& frame, std::int64_t origin, std::int64_t stepX,
                     TurnVectors vectors) {
    const std::uint8_t* src = frame.bits.data();
    std::uint8_t* dst = window.bits.data();
    const std::ptrdiff_t down = window.stride;
    const int width = window.width, height = window.height;
    const int fullRows = height / 8 * 8, fullCols = width / 8 * 8;
    auto turn = turnBlocksPortably<kStep>;
#if defined(__x86_64__)
    if (vectors == TurnVectors::Widest && __builtin_cpu_supports("avx2")) turn = turnBlocksWithAvx2<kStep>;
#endif
    turn(dst, down, src, origin, stepX, fullCols, fullRows);
    // What the blocks left: the last columns and the last rows.
    for (int wy = 0; wy < height; ++wy) {
        for (int wx = wy < fullRows ? fullCols : 0; wx < width; ++wx) {
            std::memcpy(dst + static_cast<std::ptrdiff_t>(wy) * down + 4 * wx,
                        src + 4 * (origin + wx * stepX + wy * kStep), 4);
        }
    }
}

// Both bitmaps 32-bit and top-down.
void turnedCopy(platform::Bitmap& window, const platform::Bitmap& frame, const WindowToView& m, TurnVectors vectors) {
    const std::int64_t rowPixels = frame.stride / 4;
    const std::int64_t stepX = m.ax + m.ay * rowPixels;  // frame pixels per window pixel rightwards
    const std::int64_t stepY = m.bx + m.by * rowPixels;  // and downwards
    const std::int64_t origin = m.x0 + m.y0 * rowPixels;
    if (m.ay == 0) {
        rowsCopy(window, frame, origin, stepX, stepY);
    } else if (stepY > 0) {
        quarterTurnCopy<1>(window, frame, origin, stepX, vectors);
    } else {
        quarterTurnCopy<-1>(window, frame, origin, stepX, vectors);
    }
}

}  // namespace

void presentFrame(MapView& view, TurnVectors vectors) {
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
            turnedCopy(window, frame, mirrored(turnBack(view.rotation, w, h), view.hudMode, w, h), vectors);
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
