#pragma once
// The pixels one pen paints over a stretch of drawing, one bit each, painted onto the
// bitmap in one pass at the end. Every pixel of it gets the same colour, so the order
// in which they were marked does not matter, and a stretch whose pixels are all marked
// already can be left out: it would paint nothing new. That is what keeps a dense
// track cheap where it crosses itself again and again.
//
// Bits are kept row by row, 64 pixels to a word (bit j of word k is pixel 64 k + j).
#include <cstdint>
#include <span>
#include <vector>

#include "platform/raster/bitmap.h"
#include "platform/raster/raster.h"

namespace quorel::platform {

class Coverage {
public:
    // Nothing covered, over a bitmap of the given size; the bits are made at the first mark.
    Coverage(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }

    // Marks pixels [x0, x1] of row y; the caller keeps them inside the bitmap.
    void markSpan(int y, int x0, int x1) {
        markedRows(y, y);
        std::uint64_t* const row = words_.data() + static_cast<std::size_t>(y) * stride_;
        const int first = x0 >> 6, last = x1 >> 6;
        if (first == last) {
            row[first] |= bitsOf(x0 & 63, x1 & 63);
            return;
        }
        row[first] |= bitsOf(x0 & 63, 63);
        for (int k = first + 1; k < last; ++k) row[k] = ~std::uint64_t{0};
        row[last] |= bitsOf(0, x1 & 63);
    }
    void mark(int x, int y) { markSpan(y, x, x); }

    // Marks a shape of columns (up to kRowBits) columns: bit j of rows[k] is pixel
    // (x + j, y + k). The caller keeps its marked pixels inside the bitmap.
    static constexpr int kRowBits = 64;
    void markRows(int x, int y, int columns, std::span<const std::uint64_t> rows) {
        markedRows(y, y + static_cast<int>(rows.size()) - 1);
        const int shift = x & 63;
        std::uint64_t* row = words_.data() + static_cast<std::size_t>(y) * stride_ + (x >> 6);
        if (shift + columns <= 64) {
            for (const std::uint64_t bits : rows) {
                row[0] |= bits << shift;
                row += stride_;
            }
            return;
        }
        for (const std::uint64_t bits : rows) {
            // A row ends in a spare word, so the second store never leaves it.
            row[0] |= bits << shift;
            row[1] |= bits >> (64 - shift);
            row += stride_;
        }
    }

    // Every pixel of the box that lies inside the bitmap is marked (pixels outside it
    // never need painting). The box is [left, right) x [top, bottom).
    bool covers(const Rect& box) const;

    // Paints the marked pixels onto target (of the size given above) in color, then
    // forgets them: the coverage is ready for the next stretch of drawing.
    void paintOnto(Bitmap& target, Color color);

    // Bits first .. last of a word, 0 <= first <= last <= 63.
    static std::uint64_t bitsOf(int first, int last) {
        return (~std::uint64_t{0} >> (63 - last)) & (~std::uint64_t{0} << first);
    }

private:
    void markedRows(int top, int bottom) {
        if (words_.empty()) words_.assign(static_cast<std::size_t>(stride_) * height_, 0);  // the first mark
        firstMarkedRow_ = top < firstMarkedRow_ ? top : firstMarkedRow_;
        lastMarkedRow_ = bottom > lastMarkedRow_ ? bottom : lastMarkedRow_;
    }

    int width_;
    int height_;
    int wordsPerRow_;
    int stride_;  // words per row with the spare one
    std::vector<std::uint64_t> words_;
    // Rows outside [firstMarkedRow_, lastMarkedRow_] hold no marks.
    int firstMarkedRow_;
    int lastMarkedRow_ = -1;
};

}  // namespace quorel::platform
