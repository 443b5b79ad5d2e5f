#include "platform/numeric.h"

#include <gtest/gtest.h>

#include <limits>

namespace quorel::platform {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(TruncToInt, TruncatesTowardZeroAndSaturates) {
    const struct {
        double in;
        std::int32_t out;
    } cases[] = {
        {1.9, 1},
        {-1.9, -1},
        {0.0, 0},
        {kNaN, 0},
        {kInf, 2147483647},
        {-kInf, -2147483647 - 1},
        {1e300, 2147483647},
        {-1e300, -2147483647 - 1},
        {2147483647.9, 2147483647},
        {-2147483648.9, -2147483647 - 1},
    };
    for (const auto& c : cases) EXPECT_EQ(truncToInt(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace quorel::platform
