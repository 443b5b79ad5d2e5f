// The scanners against the C library's own "%d" and "%lf" (in the "C" locale of a test).
#include "platform/scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

namespace quorel::platform {
namespace {

const char* const kTexts[] = {
    "143514.00",    "  -35 30", "+7x",     "\n\t42",  "x1",           "",      "-",      "3428.9468,N",
    " 36.62158993", ".5",       "5.",      "0x10",    "545.4,M,46.9", "1e999", "1e-999", "-inf",
    "nan",          "M",        "'48.79'", "+1.5e2x", "-2147483648"};

TEST(ScanInt, ReadsAsPercentD) {
    for (const char* text : kTexts) {
        int want = 0, n = 0;
        const bool ok = std::sscanf(text, "%d%n", &want, &n) == 1;
        std::int32_t v = 0;
        const ScanResult r = scanInt(text, v);
        EXPECT_EQ(r.ok, ok) << text;
        if (!ok) continue;
        EXPECT_EQ(v, want) << text;
        EXPECT_EQ(r.consumed, static_cast<std::size_t>(n)) << text;
    }
    // where "%d" is undefined, the value saturates
    for (const auto& [text, value] :
         {std::pair{"99999999999999999999", 2147483647}, {"-99999999999999999999", -2147483647 - 1}}) {
        std::int32_t v = 0;
        EXPECT_TRUE(scanInt(text, v).ok);
        EXPECT_EQ(v, value) << text;
    }
}

TEST(ScanReal, ReadsAsPercentLf) {
    for (const char* text : kTexts) {
        double want = 0.0;
        int n = 0;
        const bool ok = std::sscanf(text, "%lf%n", &want, &n) == 1;
        double v = 0.0;
        const ScanResult r = scanReal(text, v);
        EXPECT_EQ(r.ok, ok) << text;
        if (!ok) continue;
        EXPECT_EQ(r.consumed, static_cast<std::size_t>(n)) << text;
        if (std::isnan(want)) {
            EXPECT_TRUE(std::isnan(v)) << text;
        } else {
            EXPECT_EQ(v, want) << text;
        }
    }
}

}  // namespace
}  // namespace quorel::platform
