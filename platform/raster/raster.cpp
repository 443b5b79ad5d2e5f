#include "platform/raster/raster.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace quorel::platform {

namespace {

using Lut = std::array<Color, 256>;

bool supportedDepth(int bpp) { return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24 || bpp == 32; }

std::uint8_t* rowPtr(Bitmap& b, int y) {
    const int memRow = b.bottomUp ? b.height - 1 - y : y;
    return b.bits.data() + static_cast<std::size_t>(memRow) * static_cast<std::size_t>(b.stride);
}

const std::uint8_t* rowPtr(const Bitmap& b, int y) {
    const int memRow = b.bottomUp ? b.height - 1 - y : y;
    return b.bits.data() + static_cast<std::size_t>(memRow) * static_cast<std::size_t>(b.stride);
}

// Pixels are read and written as native words in blue, green, red order.
static_assert(std::endian::native == std::endian::little, "the raster assumes a little-endian machine");

Color load32(const std::uint8_t* p) {
    Color c;
    std::memcpy(&c, p, sizeof c);
    return c;
}

void store32(std::uint8_t* p, Color c) { std::memcpy(p, &c, sizeof c); }

// The colour table as a full 256-entry table: entries the bitmap lacks read black.
Lut makeLut(const Bitmap& b) {
    Lut lut{};
    const std::size_t n = std::min<std::size_t>(b.palette.size(), lut.size());
    for (std::size_t i = 0; i < n; ++i) lut[i] = b.palette[i] & 0xFFFFFFu;
    return lut;
}

// Colours of pixels x0 .. x0 + n - 1 of row y (all inside the bitmap).
void decodeRow(const Bitmap& b, const Lut& lut, int y, int x0, int n, Color* out) {
    const std::uint8_t* row = rowPtr(b, y);
    switch (b.bitsPerPixel) {
    case 32:
        for (int i = 0; i < n; ++i) out[i] = load32(row + 4 * static_cast<std::size_t>(x0 + i)) & 0xFFFFFFu;
        break;
    case 24: {
        // Four pixels from three words at a time: decoded tiles are mostly 24-bit and this
        // conversion runs for every tile put into the mosaic.
        const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x0);
        int i = 0;
        for (; i + 4 <= n; i += 4, p += 12) {
            const Color w0 = load32(p), w1 = load32(p + 4), w2 = load32(p + 8);
            out[i] = w0 & 0xFFFFFFu;
            out[i + 1] = (w0 >> 24) | ((w1 & 0xFFFFu) << 8);
            out[i + 2] = (w1 >> 16) | ((w2 & 0xFFu) << 16);
            out[i + 3] = w2 >> 8;
        }
        for (; i < n; ++i, p += 3) out[i] = (Color{p[2]} << 16) | (Color{p[1]} << 8) | Color{p[0]};
        break;
    }
    case 8:
        for (int i = 0; i < n; ++i) out[i] = lut[row[x0 + i]];
        break;
    case 4:
        for (int i = 0; i < n; ++i) {
            const int x = x0 + i;
            const std::uint8_t byte = row[x >> 1];
            out[i] = lut[(x & 1) ? (byte & 15) : (byte >> 4)];
        }
        break;
    case 1:
        for (int i = 0; i < n; ++i) {
            const int x = x0 + i;
            out[i] = lut[(row[x >> 3] >> (7 - (x & 7))) & 1];
        }
        break;
    default:
        break;
    }
}

// Nearest entry of a colour table, remembering the last answer (runs of one colour
// are the common case).
class PaletteMatcher {
public:
    explicit PaletteMatcher(const Bitmap& b) : palette_(b.palette), limit_(std::size_t{1} << b.bitsPerPixel) {}

    int indexOf(Color c) {
        c &= 0xFFFFFFu;
        if (c == lastColor_ && lastIndex_ >= 0) return lastIndex_;
        int best = 0;
        long bestDistance = std::numeric_limits<long>::max();
        const std::size_t n = std::min(palette_.size(), limit_);
        for (std::size_t i = 0; i < n; ++i) {
            const Color p = palette_[i];
            const long dr = redOf(p) - redOf(c), dg = greenOf(p) - greenOf(c), db = blueOf(p) - blueOf(c);
            const long distance = dr * dr + dg * dg + db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = static_cast<int>(i);
                if (distance == 0) break;
            }
        }
        lastColor_ = c;
        lastIndex_ = best;
        return best;
    }

private:
    const std::vector<Color>& palette_;
    std::size_t limit_;
    Color lastColor_ = 0;
    int lastIndex_ = -1;
};

// Writes one pixel of a row of any depth but 32 (which callers write directly).
void writeDibPixel(Bitmap& b, std::uint8_t* row, int x, Color c, PaletteMatcher& matcher) {
    switch (b.bitsPerPixel) {
    case 32:
        store32(row + 4 * static_cast<std::size_t>(x), c & 0xFFFFFFu);
        break;
    case 24: {
        std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
        p[0] = static_cast<std::uint8_t>(blueOf(c));
        p[1] = static_cast<std::uint8_t>(greenOf(c));
        p[2] = static_cast<std::uint8_t>(redOf(c));
        break;
    }
    case 8:
        row[x] = static_cast<std::uint8_t>(matcher.indexOf(c));
        break;
    case 4: {
        const auto index = static_cast<std::uint8_t>(matcher.indexOf(c));
        std::uint8_t& byte = row[x >> 1];
        byte = (x & 1) ? static_cast<std::uint8_t>((byte & 0xF0) | index)
                       : static_cast<std::uint8_t>((byte & 0x0F) | (index << 4));
        break;
    }
    case 1: {
        const int shift = 7 - (x & 7);
        std::uint8_t& byte = row[x >> 3];
        byte = static_cast<std::uint8_t>((byte & ~(1 << shift)) | ((matcher.indexOf(c) & 1) << shift));
        break;
    }
    default:
        break;
    }
}

// Clips one axis of an unscaled copy: d and s are the destination and source
// starts, n the length; false when nothing is left.
bool clipAxis(std::int64_t& d, std::int64_t& s, std::int64_t& n, std::int64_t dstSize, std::int64_t srcSize) {
    if (s < 0) {
        d -= s;
        n += s;
        s = 0;
    }
    if (d < 0) {
        s -= d;
        n += d;
        d = 0;
    }
    n = std::min({n, srcSize - s, dstSize - d});
    return n > 0;
}

// Combines a run of source colours into a run of a destination row.
void combineRun(Bitmap& dst, std::uint8_t* dstRow, int x0, const Color* colors, int n, RasterOp op,
                PaletteMatcher& matcher, const Lut& dstLut, int dstY) {
    if (dst.bitsPerPixel == 32) {
        std::uint8_t* d = dstRow + 4 * static_cast<std::size_t>(x0);
        if (op == RasterOp::SrcCopy) {
            std::memcpy(d, colors, static_cast<std::size_t>(n) * 4);
        } else {
            for (int i = 0; i < n; ++i) store32(d + 4 * i, load32(d + 4 * i) & colors[i]);
        }
        return;
    }
    Color existing = 0;
    for (int i = 0; i < n; ++i) {
        Color c = colors[i];
        if (op == RasterOp::SrcAnd) {
            decodeRow(dst, dstLut, dstY, x0 + i, 1, &existing);
            c &= existing;
        }
        writeDibPixel(dst, dstRow, x0 + i, c, matcher);
    }
}

std::int64_t magnitude(int v) { return v < 0 ? -static_cast<std::int64_t>(v) : v; }

// The source pixel sampled by destination pixel k of a stretched run.
std::int64_t sampleIndex(std::int64_t k, std::int64_t srcExtent, std::int64_t dstExtent) {
    const __int128 num = static_cast<__int128>(2 * k + 1) * srcExtent;
    return static_cast<std::int64_t>(num / (2 * static_cast<__int128>(dstExtent)));
}

// For the destination pixels of one axis that lie inside the destination bitmap:
// the first such pixel and, for each, the source pixel it samples (-1 when that lies
// outside the source).
struct AxisMap {
    std::int64_t first = 0;
    std::vector<int> source;
};

AxisMap mapAxis(int d, int dExtent, int s, int sExtent, int dstSize, int srcSize) {
    AxisMap map;
    const std::int64_t ad = magnitude(dExtent), as = magnitude(sExtent);
    // Destination run pixel k is d + k (positive extent) or d - 1 - k (negative).
    std::int64_t lo, hi;  // visible destination pixels [lo, hi)
    if (dExtent > 0) {
        lo = std::max<std::int64_t>(d, 0);
        hi = std::min<std::int64_t>(std::int64_t{d} + ad, dstSize);
    } else {
        lo = std::max<std::int64_t>(std::int64_t{d} - ad, 0);
        hi = std::min<std::int64_t>(d, dstSize);
    }
    if (hi <= lo) return map;
    map.first = lo;
    map.source.resize(static_cast<std::size_t>(hi - lo));
    for (std::int64_t x = lo; x < hi; ++x) {
        const std::int64_t k = dExtent > 0 ? x - d : std::int64_t{d} - 1 - x;
        const std::int64_t m = sampleIndex(k, as, ad);
        const std::int64_t sx = sExtent > 0 ? s + m : std::int64_t{s} - 1 - m;
        map.source[static_cast<std::size_t>(x - lo)] = (sx >= 0 && sx < srcSize) ? static_cast<int>(sx) : -1;
    }
    return map;
}

}  // namespace

Bitmap createBitmap(int width, int height, std::vector<std::uint8_t> storage) {
    Bitmap b;
    if (width <= 0 || height <= 0 || std::int64_t{width} * height > kMaxBitmapPixels) return b;
    b.width = width;
    b.height = height;
    b.bitsPerPixel = 32;
    b.stride = width * 4;
    b.bottomUp = false;
    b.bits = std::move(storage);
    b.bits.assign(static_cast<std::size_t>(b.stride) * static_cast<std::size_t>(height), 0);
    return b;
}

Bitmap createDib(int width, int height, int bitsPerPixel, std::span<const Color> palette) {
    Bitmap b;
    const std::int64_t rows = height < 0 ? -static_cast<std::int64_t>(height) : height;
    if (width <= 0 || rows <= 0 || !supportedDepth(bitsPerPixel) || std::int64_t{width} * rows > kMaxBitmapPixels) {
        return b;
    }
    b.width = width;
    b.height = static_cast<int>(rows);
    b.bitsPerPixel = bitsPerPixel;
    b.stride = dibStride(width, bitsPerPixel);
    b.bottomUp = height > 0;
    if (bitsPerPixel <= 8) {
        b.palette.assign(std::size_t{1} << bitsPerPixel, 0);
        const std::size_t n = std::min(palette.size(), b.palette.size());
        for (std::size_t i = 0; i < n; ++i) b.palette[i] = palette[i] & 0xFFFFFFu;
    }
    b.bits.assign(static_cast<std::size_t>(b.stride) * static_cast<std::size_t>(rows), 0);
    return b;
}

bool usableBitmap(const Bitmap& b) {
    if (b.width <= 0 || b.height <= 0 || !supportedDepth(b.bitsPerPixel)) return false;
    if (b.stride < dibStride(b.width, b.bitsPerPixel)) return false;
    return static_cast<std::uint64_t>(b.stride) * static_cast<std::uint64_t>(b.height) <= b.bits.size();
}

Color pixelAt(const Bitmap& b, int x, int y) {
    if (!usableBitmap(b) || x < 0 || y < 0 || x >= b.width || y >= b.height) return 0;
    Color c = 0;
    if (b.bitsPerPixel <= 8) {
        decodeRow(b, makeLut(b), y, x, 1, &c);
    } else {
        const Lut none{};
        decodeRow(b, none, y, x, 1, &c);
    }
    return c;
}

void setPixel(Bitmap& b, int x, int y, Color color) {
    if (!usableBitmap(b) || x < 0 || y < 0 || x >= b.width || y >= b.height) return;
    PaletteMatcher matcher(b);
    writeDibPixel(b, rowPtr(b, y), x, color, matcher);
}

void fillRect(Bitmap& b, const Rect& rect, Color color) {
    if (!usableBitmap(b)) return;
    const int x0 = std::max(rect.left, 0), x1 = std::min(rect.right, b.width);
    const int y0 = std::max(rect.top, 0), y1 = std::min(rect.bottom, b.height);
    if (x0 >= x1 || y0 >= y1) return;
    color &= 0xFFFFFFu;
    PaletteMatcher matcher(b);
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* row = rowPtr(b, y);
        if (b.bitsPerPixel == 32) {
            for (int x = x0; x < x1; ++x) store32(row + 4 * static_cast<std::size_t>(x), color);
        } else {
            for (int x = x0; x < x1; ++x) writeDibPixel(b, row, x, color, matcher);
        }
    }
}

void recolorRect(Bitmap& b, const Rect& rect, const ChannelTables& tables) {
    if (!usableBitmap(b) || b.bitsPerPixel != 32) return;
    const int x0 = std::max(rect.left, 0), x1 = std::min(rect.right, b.width);
    const int y0 = std::max(rect.top, 0), y1 = std::min(rect.bottom, b.height);
    for (int y = y0; y < y1; ++y) {
        std::uint8_t* p = rowPtr(b, y) + 4 * static_cast<std::size_t>(x0);
        for (int x = x0; x < x1; ++x, p += 4) {  // blue, green, red, unused
            p[0] = tables.blue[p[0]];
            p[1] = tables.green[p[1]];
            p[2] = tables.red[p[2]];
        }
    }
}

void fillPolygon(Bitmap& b, std::span<const PointF> points, Color color) {
    if (!usableBitmap(b) || points.size() < 3) return;
    double minY = points[0].y, maxY = points[0].y;
    for (const PointF& p : points) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y)) return;
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    // Rows whose centre can be inside, clamped before any conversion to int.
    const double firstRow = std::clamp(std::ceil(minY - 0.5), 0.0, static_cast<double>(b.height));
    const double endRow = std::clamp(std::ceil(maxY - 0.5), 0.0, static_cast<double>(b.height));
    struct Crossing {
        double x;
        int winding;
    };
    std::vector<Crossing> crossings;
    PaletteMatcher matcher(b);
    color &= 0xFFFFFFu;
    for (int y = static_cast<int>(firstRow); y < static_cast<int>(endRow); ++y) {
        const double yc = y + 0.5;
        crossings.clear();
        for (std::size_t i = 0; i < points.size(); ++i) {
            const PointF& a = points[i];
            const PointF& c = points[(i + 1) % points.size()];
            if (a.y == c.y) continue;
            const bool down = a.y < c.y;
            const double top = down ? a.y : c.y, bottom = down ? c.y : a.y;
            if (yc < top || yc >= bottom) continue;
            crossings.push_back({a.x + (yc - a.y) * (c.x - a.x) / (c.y - a.y), down ? 1 : -1});
        }
        std::sort(crossings.begin(), crossings.end(), [](const Crossing& l, const Crossing& r) { return l.x < r.x; });
        int winding = 0;
        std::uint8_t* row = rowPtr(b, y);
        for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
            winding += crossings[i].winding;
            if (winding == 0) continue;
            // Pixels whose centre lies in [x_i, x_i+1).
            const double w = static_cast<double>(b.width);
            const int x0 = static_cast<int>(std::clamp(std::ceil(crossings[i].x - 0.5), 0.0, w));
            const int x1 = static_cast<int>(std::clamp(std::ceil(crossings[i + 1].x - 0.5), 0.0, w));
            for (int x = x0; x < x1; ++x) {
                if (b.bitsPerPixel == 32) {
                    store32(row + 4 * static_cast<std::size_t>(x), color);
                } else {
                    writeDibPixel(b, row, x, color, matcher);
                }
            }
        }
    }
}

void blit(Bitmap& dst, int dx, int dy, int width, int height, const Bitmap& src, int sx, int sy, RasterOp op) {
    if (width <= 0 || height <= 0 || !usableBitmap(dst) || !usableBitmap(src)) return;
    if (&src == &dst) {
        const Bitmap copy = src;
        blit(dst, dx, dy, width, height, copy, sx, sy, op);
        return;
    }
    std::int64_t x0 = dx, y0 = dy, sx0 = sx, sy0 = sy, n = width, rows = height;
    if (!clipAxis(x0, sx0, n, dst.width, src.width) || !clipAxis(y0, sy0, rows, dst.height, src.height)) return;
    const int count = static_cast<int>(n);
    const Lut srcLut = makeLut(src), dstLut = makeLut(dst);
    PaletteMatcher matcher(dst);
    std::vector<Color> colors;
    for (std::int64_t r = 0; r < rows; ++r) {
        const int srcY = static_cast<int>(sy0 + r), dstY = static_cast<int>(y0 + r);
        std::uint8_t* dstRow = rowPtr(dst, dstY);
        if (dst.bitsPerPixel == 32 && src.bitsPerPixel == 32) {
            std::uint8_t* d = dstRow + 4 * x0;
            const std::uint8_t* s = rowPtr(src, srcY) + 4 * sx0;
            if (op == RasterOp::SrcCopy) {
                std::memcpy(d, s, static_cast<std::size_t>(count) * 4);
            } else {
                for (std::size_t i = 0; i < static_cast<std::size_t>(count) * 4; ++i) d[i] &= s[i];
            }
            continue;
        }
        colors.resize(static_cast<std::size_t>(count));
        decodeRow(src, srcLut, srcY, static_cast<int>(sx0), count, colors.data());
        combineRun(dst, dstRow, static_cast<int>(x0), colors.data(), count, op, matcher, dstLut, dstY);
    }
}

void stretchBlit(Bitmap& dst, int dx, int dy, int dw, int dh, const Bitmap& src, int sx, int sy, int sw, int sh,
                 RasterOp op) {
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0 || !usableBitmap(dst) || !usableBitmap(src)) return;
    if (&src == &dst) {
        const Bitmap copy = src;
        stretchBlit(dst, dx, dy, dw, dh, copy, sx, sy, sw, sh, op);
        return;
    }
    const AxisMap cols = mapAxis(dx, dw, sx, sw, dst.width, src.width);
    const AxisMap rows = mapAxis(dy, dh, sy, sh, dst.height, src.height);
    if (cols.source.empty() || rows.source.empty()) return;

    // The span of source columns in use, and whether the columns form a plain or a
    // reversed one-to-one run (the copies and mirrors of whole frames).
    int minCol = std::numeric_limits<int>::max(), maxCol = -1;
    bool allInside = true;
    for (const int c : cols.source) {
        if (c < 0) {
            allInside = false;
            continue;
        }
        minCol = std::min(minCol, c);
        maxCol = std::max(maxCol, c);
    }
    if (maxCol < 0) return;
    const int n = static_cast<int>(cols.source.size());
    const bool oneToOne = allInside && maxCol - minCol + 1 == n;
    const bool forward = oneToOne && (n == 1 || cols.source[1] > cols.source[0]);
    const bool direct = src.bitsPerPixel == 32 && dst.bitsPerPixel == 32;

    const Lut srcLut = makeLut(src), dstLut = makeLut(dst);
    PaletteMatcher matcher(dst);
    std::vector<Color> decoded(static_cast<std::size_t>(maxCol - minCol + 1));
    std::vector<Color> run(static_cast<std::size_t>(n));
    int decodedRow = -1;
    const int x0 = static_cast<int>(cols.first);
    for (std::size_t r = 0; r < rows.source.size(); ++r) {
        const int srcY = rows.source[r];
        if (srcY < 0) continue;
        const int dstY = static_cast<int>(rows.first + static_cast<std::int64_t>(r));
        std::uint8_t* dstRow = rowPtr(dst, dstY);
        const std::uint8_t* srcRow = rowPtr(src, srcY);
        if (direct && op == RasterOp::SrcCopy && oneToOne) {
            std::uint8_t* d = dstRow + 4 * static_cast<std::size_t>(x0);
            if (forward) {
                std::memcpy(d, srcRow + 4 * static_cast<std::size_t>(minCol), static_cast<std::size_t>(n) * 4);
            } else {
                const std::uint8_t* s = srcRow + 4 * static_cast<std::size_t>(maxCol);
                for (int i = 0; i < n; ++i) store32(d + 4 * i, load32(s - 4 * i));
            }
            continue;
        }
        if (direct) {
            std::uint8_t* d = dstRow + 4 * static_cast<std::size_t>(x0);
            for (int i = 0; i < n; ++i) {
                const int c = cols.source[static_cast<std::size_t>(i)];
                if (c < 0) continue;
                const Color s = load32(srcRow + 4 * static_cast<std::size_t>(c));
                store32(d + 4 * i, op == RasterOp::SrcCopy ? s : (load32(d + 4 * i) & s));
            }
            continue;
        }
        if (srcY != decodedRow) {
            decodeRow(src, srcLut, srcY, minCol, maxCol - minCol + 1, decoded.data());
            decodedRow = srcY;
        }
        // Runs of columns inside the source are combined together.
        int i = 0;
        while (i < n) {
            if (cols.source[static_cast<std::size_t>(i)] < 0) {
                ++i;
                continue;
            }
            int j = i;
            while (j < n && cols.source[static_cast<std::size_t>(j)] >= 0) {
                run[static_cast<std::size_t>(j - i)] =
                    decoded[static_cast<std::size_t>(cols.source[static_cast<std::size_t>(j)] - minCol)];
                ++j;
            }
            combineRun(dst, dstRow, x0 + i, run.data(), j - i, op, matcher, dstLut, dstY);
            i = j;
        }
    }
}

Bitmap toBitmap32(const Bitmap& bitmap) {
    if (!usableBitmap(bitmap)) return {};
    Bitmap out = createBitmap(bitmap.width, bitmap.height);
    blit(out, 0, 0, bitmap.width, bitmap.height, bitmap, 0, 0);
    return out;
}

}  // namespace quorel::platform
