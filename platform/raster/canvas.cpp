#include "platform/raster/canvas.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/numeric.h"

namespace quorel::platform {

namespace {

std::int64_t clampCoordinate(std::int64_t v) {
    return std::clamp(v, -kWorldPixelLimit, kWorldPixelLimit);
}

// Paints pixels of one bitmap, 32-bit rows directly, other layouts through setPixel.
class Plotter {
public:
    Plotter(Bitmap& b, Color color) : b_(b), color_(color & 0xFFFFFFu), direct_(b.bitsPerPixel == 32) {}

    void plot(int x, int y) {
        if (!direct_) {
            setPixel(b_, x, y, color_);
            return;
        }
        const int memRow = b_.bottomUp ? b_.height - 1 - y : y;
        std::memcpy(b_.bits.data() + static_cast<std::size_t>(memRow) * static_cast<std::size_t>(b_.stride) +
                        4 * static_cast<std::size_t>(x),
                    &color_, sizeof color_);
    }

    void span(int y, int x0, int x1) {  // [x0, x1]
        for (int x = x0; x <= x1; ++x) plot(x, y);
    }

private:
    Bitmap& b_;
    Color color_;
    bool direct_;
};

void thinLine(Bitmap& b, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, Color color) {
    const std::int64_t dx = x1 - x0, dy = y1 - y0;
    if (dx == 0 && dy == 0) return;
    const bool xMajor = (dx < 0 ? -dx : dx) >= (dy < 0 ? -dy : dy);
    // Walk along the major axis (u) and derive the minor one (v).
    const std::int64_t u0 = xMajor ? x0 : y0, v0 = xMajor ? y0 : x0;
    const std::int64_t du = xMajor ? dx : dy, dv = xMajor ? dy : dx;
    const std::int64_t uSize = xMajor ? b.width : b.height, vSize = xMajor ? b.height : b.width;
    const std::int64_t su = du < 0 ? -1 : 1, sv = dv < 0 ? -1 : 1;
    const std::int64_t adu = du * su, adv = dv * sv;

    // Steps i whose u lies inside the bitmap.
    std::int64_t iLo, iHi;
    if (su > 0) {
        iLo = std::max<std::int64_t>(0, -u0);
        iHi = std::min<std::int64_t>(adu, uSize - u0);
    } else {
        iLo = std::max<std::int64_t>(0, u0 - (uSize - 1));
        iHi = std::min<std::int64_t>(adu, u0 + 1);
    }
    if (iLo >= iHi) return;

    // v offset at step i: floor((2 i |dv| + |du|) / (2 |du|)), kept as quotient and
    // remainder; all magnitudes are below 2^62, so the sums stay inside 64 bits.
    const std::int64_t den = 2 * adu;
    const __int128 num = static_cast<__int128>(2) * iLo * adv + adu;
    std::int64_t q = static_cast<std::int64_t>(num / den);
    std::int64_t r = static_cast<std::int64_t>(num % den);
    Plotter plotter(b, color);
    for (std::int64_t i = iLo; i < iHi; ++i) {
        const std::int64_t u = u0 + su * i;
        const std::int64_t v = v0 + sv * q;
        if (v >= 0 && v < vSize) {
            if (xMajor) {
                plotter.plot(static_cast<int>(u), static_cast<int>(v));
            } else {
                plotter.plot(static_cast<int>(v), static_cast<int>(u));
            }
        } else if ((sv > 0 && v >= vSize) || (sv < 0 && v < 0)) {
            break;  // v only moves further away
        }
        r += 2 * adv;
        if (r >= den) {
            r -= den;
            ++q;
        }
    }
}

void wideLine(Bitmap& b, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, int width,
              Color color) {
    if (x0 == x1 && y0 == y1) return;
    const double c = (width % 2) ? 0.5 : 0.0;
    const double r = width / 2.0, r2 = r * r;
    const double ax = static_cast<double>(x0) + c, ay = static_cast<double>(y0) + c;
    const double bx = static_cast<double>(x1) + c, by = static_cast<double>(y1) + c;
    const double ddx = bx - ax, ddy = by - ay;
    const double len2 = ddx * ddx + ddy * ddy, len = std::sqrt(len2);
    const double h = static_cast<double>(b.height), w = static_cast<double>(b.width);
    const int rowLo = static_cast<int>(std::clamp(std::floor(std::min(ay, by) - r - 1.0), 0.0, h));
    const int rowHi = static_cast<int>(std::clamp(std::ceil(std::max(ay, by) + r + 1.0), 0.0, h));
    constexpr double inf = std::numeric_limits<double>::infinity();
    Plotter plotter(b, color);
    for (int py = rowLo; py < rowHi; ++py) {
        const double yc = py + 0.5;
        double lo = inf, hi = -inf;
        // The round ends.
        for (const auto& [ex, ey] : {std::pair{ax, ay}, std::pair{bx, by}}) {
            const double e = yc - ey;
            if (e * e < r2) {
                const double half = std::sqrt(r2 - e * e);
                lo = std::min(lo, ex - half);
                hi = std::max(hi, ex + half);
            }
        }
        // The band along the segment: the projection falls inside the segment and the
        // distance from the line is below r.
        double bandLo = -inf, bandHi = inf;
        const double along = (yc - ay) * ddy;
        if (ddx != 0.0) {
            const double p = ax + (0.0 - along) / ddx, q = ax + (len2 - along) / ddx;
            bandLo = std::max(bandLo, std::min(p, q));
            bandHi = std::min(bandHi, std::max(p, q));
        } else if (along < 0.0 || along > len2) {
            bandHi = -inf;
        }
        const double across = ddx * (yc - ay);
        if (ddy != 0.0) {
            const double p = ax + (across - r * len) / ddy, q = ax + (across + r * len) / ddy;
            bandLo = std::max(bandLo, std::min(p, q));
            bandHi = std::min(bandHi, std::max(p, q));
        } else if (!(std::fabs(across) < r * len)) {
            bandHi = -inf;
        }
        if (bandLo < bandHi) {
            lo = std::min(lo, bandLo);
            hi = std::max(hi, bandHi);
        }
        if (!(lo < hi)) continue;
        // Pixels whose centre lies strictly inside (lo, hi).
        const double first = std::clamp(std::floor(lo - 0.5) + 1.0, 0.0, w);
        const double last = std::clamp(std::ceil(hi - 0.5) - 1.0, -1.0, w - 1.0);
        if (first > last) continue;
        plotter.span(py, static_cast<int>(first), static_cast<int>(last));
    }
}

}  // namespace

void drawLine(Bitmap& bitmap, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, const Pen& pen) {
    if (!usableBitmap(bitmap)) return;
    x0 = clampCoordinate(x0);
    y0 = clampCoordinate(y0);
    x1 = clampCoordinate(x1);
    y1 = clampCoordinate(y1);
    if (pen.width <= 1) {
        thinLine(bitmap, x0, y0, x1, y1, pen.color);
    } else {
        wideLine(bitmap, x0, y0, x1, y1, pen.width, pen.color);
    }
}

void moveTo(Canvas& canvas, std::int64_t x, std::int64_t y) {
    canvas.currentX = clampCoordinate(x);
    canvas.currentY = clampCoordinate(y);
}

void lineTo(Canvas& canvas, std::int64_t x, std::int64_t y) {
    x = clampCoordinate(x);
    y = clampCoordinate(y);
    if (canvas.target != nullptr) drawLine(*canvas.target, canvas.currentX, canvas.currentY, x, y, canvas.pen);
    canvas.currentX = x;
    canvas.currentY = y;
}

}  // namespace quorel::platform
