#pragma once
// Double-to-integer conversions that are defined for every input.
//
// The map arithmetic truncates toward zero everywhere. A latitude of +-90 makes the
// Mercator function infinite, settings files may hold any number, and a world pixel
// at zoom 23 no longer fits 32 bits, so every conversion goes through these helpers:
// NaN gives 0, values beyond the range give the nearest limit.
#include <cmath>
#include <cstdint>
#include <limits>

namespace quorel::platform {

// World pixels saturate here (the width of the world at zoom 52) rather than at the
// int64 limits, so that sums and differences of a few world pixels
// (view positions, tile deltas) can never overflow.
inline constexpr std::int64_t kWorldPixelLimit = std::int64_t{1} << 60;

inline std::int32_t truncToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

// Truncation toward zero into [-kWorldPixelLimit, kWorldPixelLimit].
inline std::int64_t truncToWorld(double v) {
    constexpr double limit = static_cast<double>(kWorldPixelLimit);
    if (std::isnan(v)) return 0;
    if (v >= limit) return kWorldPixelLimit;
    if (v <= -limit) return -kWorldPixelLimit;
    return static_cast<std::int64_t>(v);
}

inline std::int32_t clampToInt(std::int64_t v) {
    if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

// a + b for settings-driven counters (zoom steps, idle milliseconds) without overflow.
inline std::int32_t saturatingAdd(std::int32_t a, std::int32_t b) {
    return clampToInt(std::int64_t{a} + std::int64_t{b});
}

}  // namespace quorel::platform
