#include "platform/raster/canvas.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/numeric.h"

namespace quorel::platform {

namespace {

std::int64_t clampCoordinate(std::int64_t v) { return std::clamp(v, -kWorldPixelLimit, kWorldPixelLimit); }

// Paints pixels of one bitmap, 32-bit rows directly, other layouts through setPixel;
// or, given a coverage, marks them there.
class Plotter {
public:
    Plotter(Bitmap& b, Color color, Coverage* cover = nullptr)
        : b_(b),
          color_(color & 0xFFFFFFu),
          quad_{color_, color_, color_, color_},
          direct_(b.bitsPerPixel == 32),
          cover_(cover) {}

    void plot(int x, int y) {
        if (cover_ != nullptr) {
            cover_->mark(x, y);
            return;
        }
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
        if (cover_ != nullptr) {
            cover_->markSpan(y, x0, x1);
            return;
        }
        if (!direct_) {
            for (int x = x0; x <= x1; ++x) setPixel(b_, x, y, color_);
            return;
        }
        const int memRow = b_.bottomUp ? b_.height - 1 - y : y;
        std::uint8_t* p = b_.bits.data() + static_cast<std::size_t>(memRow) * static_cast<std::size_t>(b_.stride) +
                          4 * static_cast<std::size_t>(x0);
        spanAt(p, x1 - x0 + 1);
    }

    // n > 0 pixels from p in a 32-bit row, unclipped. Every store writes the same
    // colour, so stores may overlap: that spares the loops their tails.
    void spanAt(std::uint8_t* p, int n) const {
        if (n < 4) {
            std::memcpy(p, &color_, sizeof color_);
            std::memcpy(p + 4 * (n / 2), &color_, sizeof color_);
            std::memcpy(p + 4 * (n - 1), &color_, sizeof color_);
            return;
        }
        std::uint8_t* const lastFour = p + 4 * (n - 4);
        for (; p < lastFour; p += 16) std::memcpy(p, quad_.data(), 16);
        std::memcpy(lastFour, quad_.data(), 16);
    }

private:
    Bitmap& b_;
    Color color_;
    std::array<Color, 4> quad_;  // four pixels of the colour, for stores of four at a time
    bool direct_;
    Coverage* cover_;
};

void thinLine(Bitmap& b, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, Color color,
              Coverage* cover) {
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
    Plotter plotter(b, color, cover);
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

// The pixels of a wide segment, row by row: for each row py in [rowLo, rowHi) whose
// centre line meets the capsule around (ax, ay)-(bx, by), emit(py, lo, hi) with the open
// interval (lo, hi) of x where pixel centres lie closer than r to the segment.
// Without startCap the round end at (ax, ay) is left out: a polyline's joint is the end
// of the segment before, already painted.
template <class Emit>
void capsuleRows(double ax, double ay, double bx, double by, double r, int rowLo, int rowHi, bool startCap, Emit emit) {
    const double r2 = r * r;
    const double ddx = bx - ax, ddy = by - ay;
    const double len2 = ddx * ddx + ddy * ddy, len = std::sqrt(len2);
    constexpr double inf = std::numeric_limits<double>::infinity();
    for (int py = rowLo; py < rowHi; ++py) {
        const double yc = py + 0.5;
        double lo = inf, hi = -inf;
        // The round ends.
        const auto roundEnd = [&](double ex, double ey) {
            const double e = yc - ey;
            if (e * e < r2) {
                const double half = std::sqrt(r2 - e * e);
                lo = std::min(lo, ex - half);
                hi = std::max(hi, ex + half);
            }
        };
        if (startCap) roundEnd(ax, ay);
        roundEnd(bx, by);
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
        if (lo < hi) emit(py, lo, hi);
    }
}

// Rows whose centre lies strictly within r of [minY, maxY], unclamped.
double firstRowNear(double minY, double r) { return std::floor(minY - r - 0.5) + 1.0; }
double endRowNear(double maxY, double r) { return std::ceil(maxY + r - 0.5); }

void wideLineDirect(Bitmap& b, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, int width,
                    Color color, Coverage* cover = nullptr) {
    if (x0 == x1 && y0 == y1) return;
    const double c = (width % 2) ? 0.5 : 0.0;
    const double r = width / 2.0;
    const double ax = static_cast<double>(x0) + c, ay = static_cast<double>(y0) + c;
    const double bx = static_cast<double>(x1) + c, by = static_cast<double>(y1) + c;
    const double h = static_cast<double>(b.height), w = static_cast<double>(b.width);
    const int rowLo = static_cast<int>(std::clamp(firstRowNear(std::min(ay, by), r), 0.0, h));
    const int rowHi = static_cast<int>(std::clamp(endRowNear(std::max(ay, by), r), 0.0, h));
    Plotter plotter(b, color, cover);
    capsuleRows(ax, ay, bx, by, r, rowLo, rowHi, true, [&](int py, double lo, double hi) {
        // Pixels whose centre lies strictly inside (lo, hi).
        const double first = std::clamp(std::floor(lo - 0.5) + 1.0, 0.0, w);
        const double last = std::clamp(std::ceil(hi - 0.5) - 1.0, -1.0, w - 1.0);
        if (first <= last) plotter.span(py, static_cast<int>(first), static_cast<int>(last));
    });
}

// A recorded track is thousands of segments of a few pixels each. The pixels of a short
// segment depend only on its extent and the pen width, so they are worked out once per
// shape, relative to the start point, and then only placed and clipped.
constexpr int kShortSegment = 24;    // |dx| and |dy| up to this use the shapes
constexpr int kShapedPenWidth = 32;  // widths up to this

struct SpanRow {
    int dy;
    int xFirst;
    int xLast;
};

// The rows of a shape and the box around them, which tells when a placed shape needs
// no clipping.
struct Shape {
    std::vector<SpanRow> rows;
    int top = 0, bottom = -1, left = 0, right = -1;
    // Row top + k as bits from column left (bit j is column left + j), for coverages.
    std::vector<std::uint64_t> rowBits;
};

const Shape& segmentShape(int width, int dx, int dy, bool startCap) {
    constexpr int side = 2 * kShortSegment + 1;
    // One lazily made table per pen width and kind of start: a memo of a pure function,
    // never invalidated. Each thread that draws fills its own, so drawing stays safe from
    // any thread (today only the main thread draws).
    thread_local std::array<std::array<std::vector<Shape>, 2>, kShapedPenWidth + 1> shapes;
    std::vector<Shape>& table = shapes[static_cast<std::size_t>(width)][startCap ? 1 : 0];
    if (table.empty()) table.resize(side * side);
    Shape& shape = table[static_cast<std::size_t>((dy + kShortSegment) * side + (dx + kShortSegment))];
    if (shape.rows.empty()) {
        const double c = (width % 2) ? 0.5 : 0.0;
        const double r = width / 2.0;
        const double bx = dx + c, by = dy + c;
        const int rowLo = static_cast<int>(firstRowNear(std::min(c, by), r));
        const int rowHi = static_cast<int>(endRowNear(std::max(c, by), r));
        capsuleRows(c, c, bx, by, r, rowLo, rowHi, startCap, [&](int py, double lo, double hi) {
            const int first = static_cast<int>(std::floor(lo - 0.5) + 1.0);
            const int last = static_cast<int>(std::ceil(hi - 0.5) - 1.0);
            if (first > last) return;
            if (shape.rows.empty()) {
                shape.top = py;
                shape.left = first;
                shape.right = last;
            }
            shape.bottom = py;
            shape.left = std::min(shape.left, first);
            shape.right = std::max(shape.right, last);
            shape.rows.push_back({py, first, last});
        });
        if (shape.rows.empty()) shape.rows.push_back({0, 1, 0});  // nothing to draw, but known
        static_assert(kShortSegment + kShapedPenWidth + 2 <= Coverage::kRowBits, "a short shape fits a word");
        shape.rowBits.assign(static_cast<std::size_t>(shape.bottom - shape.top + 1), 0);
        for (const SpanRow& row : shape.rows) {
            if (row.xFirst > row.xLast) continue;
            shape.rowBits[static_cast<std::size_t>(row.dy - shape.top)] |=
                Coverage::bitsOf(row.xFirst - shape.left, row.xLast - shape.left);
        }
    }
    return shape;
}

void wideLine(Bitmap& b, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, int width, Color color,
              bool startCap, Coverage* cover) {
    const std::int64_t dx = x1 - x0, dy = y1 - y0;
    if (dx == 0 && dy == 0) return;
    if (width > kShapedPenWidth || dx < -kShortSegment || dx > kShortSegment || dy < -kShortSegment ||
        dy > kShortSegment) {
        wideLineDirect(b, x0, y0, x1, y1, width, color, cover);
        return;
    }
    // Wholly outside: the shape lies within width + |d| of the start point.
    const std::int64_t reach = width + kShortSegment;
    if (x0 < -reach || y0 < -reach || x0 > b.width + reach || y0 > b.height + reach) return;
    const int ox = static_cast<int>(x0), oy = static_cast<int>(y0);
    const Shape& shape = segmentShape(width, static_cast<int>(dx), static_cast<int>(dy), startCap);
    const bool inside = ox >= 0 && ox < b.width && oy >= 0 && oy < b.height && ox + shape.left >= 0 &&
                        ox + shape.right < b.width && oy + shape.top >= 0 && oy + shape.bottom < b.height;
    if (cover != nullptr && inside) {
        cover->markRows(ox + shape.left, oy + shape.top, shape.right - shape.left + 1, shape.rowBits);
        return;
    }
    Plotter plotter(b, color, cover);
    if (cover == nullptr && inside && b.bitsPerPixel == 32) {
        // Wholly inside: rows are found by stepping, spans need no clipping.
        const std::ptrdiff_t rowStep = b.bottomUp ? -std::ptrdiff_t{b.stride} : std::ptrdiff_t{b.stride};
        std::uint8_t* const origin = b.bits.data() +
                                     static_cast<std::ptrdiff_t>(b.bottomUp ? b.height - 1 - oy : oy) * b.stride +
                                     std::ptrdiff_t{4} * ox;
        for (const SpanRow& row : shape.rows) {
            if (row.xFirst <= row.xLast) {
                plotter.spanAt(origin + row.dy * rowStep + std::ptrdiff_t{4} * row.xFirst, row.xLast - row.xFirst + 1);
            }
        }
        return;
    }
    for (const SpanRow& row : shape.rows) {
        const int py = oy + row.dy;
        if (py < 0 || py >= b.height) continue;
        const int first = std::max(ox + row.xFirst, 0), last = std::min(ox + row.xLast, b.width - 1);
        if (first <= last) plotter.span(py, first, last);
    }
}

}  // namespace

namespace detail {
void drawWideLineWithoutShapes(Bitmap& bitmap, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1,
                               const Pen& pen) {
    if (usableBitmap(bitmap)) wideLineDirect(bitmap, x0, y0, x1, y1, pen.width, pen.color);
}
}  // namespace detail

namespace {

// The ends are clamped to the world pixel limit already.
void drawLineFrom(Bitmap& bitmap, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, const Pen& pen,
                  bool startCap, Coverage* cover) {
    // Marks go to a coverage of the bitmap's size; the pixels themselves are not touched.
    if (cover != nullptr && (cover->width() != bitmap.width || cover->height() != bitmap.height)) cover = nullptr;
    if (cover == nullptr && !usableBitmap(bitmap)) return;
    if (pen.width <= 1) {
        thinLine(bitmap, x0, y0, x1, y1, pen.color, cover);
    } else {
        wideLine(bitmap, x0, y0, x1, y1, pen.width, pen.color, startCap, cover);
    }
}

}  // namespace

void drawLine(Bitmap& bitmap, std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1, const Pen& pen) {
    drawLineFrom(bitmap, clampCoordinate(x0), clampCoordinate(y0), clampCoordinate(x1), clampCoordinate(y1), pen, true,
                 nullptr);
}

void moveTo(Canvas& canvas, std::int64_t x, std::int64_t y) {
    canvas.currentX = clampCoordinate(x);
    canvas.currentY = clampCoordinate(y);
    canvas.endCapPainted = false;
}

void lineTo(Canvas& canvas, std::int64_t x, std::int64_t y) {
    x = clampCoordinate(x);
    y = clampCoordinate(y);
    if (x == canvas.currentX && y == canvas.currentY) return;  // a segment of length zero draws nothing
    // The joint of a polyline is the round end of the segment before: painted once.
    const bool joined = canvas.endCapPainted && canvas.endCapPen.width == canvas.pen.width &&
                        canvas.endCapPen.color == canvas.pen.color;
    if (canvas.target != nullptr) {
        drawLineFrom(*canvas.target, clampCoordinate(canvas.currentX), clampCoordinate(canvas.currentY), x, y,
                     canvas.pen, !joined, canvas.coverage);
    }
    canvas.currentX = x;
    canvas.currentY = y;
    canvas.endCapPainted = canvas.target != nullptr && canvas.pen.width > 1;
    canvas.endCapPen = canvas.pen;
}

}  // namespace quorel::platform
