#include "platform/raster/coverage.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

namespace quorel::platform {

Coverage::Coverage(int width, int height)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      wordsPerRow_((width_ + 63) / 64),
      stride_(wordsPerRow_ + 1),
      firstMarkedRow_(height_) {}

bool Coverage::covers(const Rect& box) const {
    const int left = std::max(box.left, 0), right = std::min(box.right, width_);
    const int top = std::max(box.top, 0), bottom = std::min(box.bottom, height_);
    if (left >= right || top >= bottom) return true;
    if (words_.empty()) return false;  // nothing marked yet
    const int first = left >> 6, last = (right - 1) >> 6;
    const std::uint64_t firstBits = bitsOf(left & 63, first == last ? (right - 1) & 63 : 63);
    const std::uint64_t lastBits = bitsOf(0, (right - 1) & 63);
    for (int y = top; y < bottom; ++y) {
        const std::uint64_t* const row = words_.data() + static_cast<std::size_t>(y) * stride_;
        if ((row[first] & firstBits) != firstBits) return false;
        if (first == last) continue;
        for (int k = first + 1; k < last; ++k) {
            if (row[k] != ~std::uint64_t{0}) return false;
        }
        if ((row[last] & lastBits) != lastBits) return false;
    }
    return true;
}

void Coverage::paintOnto(Bitmap& target, Color color) {
    color &= 0xFFFFFFu;
    std::array<Color, 64> run;  // the longest run a word holds
    run.fill(color);
    const bool direct = target.bitsPerPixel == 32 && target.width == width_ && target.height == height_ &&
                        target.bits.size() >= static_cast<std::size_t>(target.stride) * height_;
    for (int y = firstMarkedRow_; y <= lastMarkedRow_; ++y) {
        std::uint64_t* const row = words_.data() + static_cast<std::size_t>(y) * stride_;
        std::uint8_t* const pixels =
            direct
                ? target.bits.data() + static_cast<std::size_t>(target.bottomUp ? height_ - 1 - y : y) * target.stride
                : nullptr;
        for (int k = 0; k < wordsPerRow_; ++k) {
            // Each run of marked pixels in the word, lowest first.
            for (std::uint64_t bits = std::exchange(row[k], 0); bits != 0;) {
                const int start = std::countr_zero(bits);
                const int length = std::countr_one(bits >> start);
                bits &= length + start >= 64 ? 0 : ~std::uint64_t{0} << (start + length);
                const int x = 64 * k + start;
                if (pixels == nullptr) {
                    for (int j = 0; j < length; ++j) setPixel(target, x + j, y, color);
                } else {
                    std::memcpy(pixels + std::size_t{4} * x, run.data(), std::size_t{4} * length);
                }
            }
        }
    }
    firstMarkedRow_ = height_;
    lastMarkedRow_ = -1;
}

}  // namespace quorel::platform
