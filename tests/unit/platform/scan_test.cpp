#include "platform/scan.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quorel::platform {
namespace {

TEST(ScanInt, ReadsLikePercentD) {
    const struct {
        const char* text;
        bool ok;
        std::int32_t value;
        std::size_t consumed;
    } cases[] = {
        {"143514.00", true, 143514, 6},
        {"  -35 30", true, -35, 5},
        {"+7x", true, 7, 2},
        {"\n\t42", true, 42, 4},
        {"x1", false, 0, 0},
        {"", false, 0, 0},
        {"-", false, 0, 0},
        {"99999999999999999999", true, 2147483647, 20},
        {"-99999999999999999999", true, -2147483647 - 1, 21},
        {"-2147483648", true, -2147483647 - 1, 11},
    };
    for (const auto& c : cases) {
        std::int32_t v = 0;
        const ScanResult r = scanInt(c.text, v);
        EXPECT_EQ(r.ok, c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
            EXPECT_EQ(r.consumed, c.consumed) << c.text;
        }
    }
}

TEST(ScanReal, ReadsLikePercentLf) {
    const struct {
        const char* text;
        bool ok;
        double value;
        std::size_t consumed;
    } cases[] = {
        {"3428.9468,N", true, 3428.9468, 9},
        {" 36.62158993", true, 36.62158993, 12},
        {"-47.5", true, -47.5, 5},
        {"+1.5e2x", true, 150.0, 6},
        {".5", true, 0.5, 2},
        {"5.", true, 5.0, 2},
        {"0x10", true, 16.0, 4},
        {"545.4,M,46.9", true, 545.4, 5},
        {"1e999", true, HUGE_VAL, 5},
        {"1e-999", true, 0.0, 6},
        {"-inf", true, -HUGE_VAL, 4},
        {"M", false, 0.0, 0},
        {"", false, 0.0, 0},
        {"'48.79'", false, 0.0, 0},
    };
    for (const auto& c : cases) {
        double v = 0.0;
        const ScanResult r = scanReal(c.text, v);
        EXPECT_EQ(r.ok, c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value) << c.text;
            EXPECT_EQ(r.consumed, c.consumed) << c.text;
        }
    }
    double nan = 0.0;
    EXPECT_TRUE(scanReal("nan", nan).ok);
    EXPECT_TRUE(std::isnan(nan));
}

}  // namespace
}  // namespace quorel::platform
