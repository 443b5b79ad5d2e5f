#pragma once
// Golden images: a picture a test draws is compared, pixel by pixel and exactly, with
// tests/golden/<name>.png. QUOREL_UPDATE_GOLDENS=1 in the environment rewrites the
// golden instead. On a mismatch the actual picture and a difference picture (changed
// pixels red over a faded copy of the actual one) are written next to the test binary
// as <name>.actual.png and <name>.diff.png, and the failure names them.
#include <string_view>

#include <gtest/gtest.h>

#include "platform/raster/bitmap.h"

namespace quorel::test {

::testing::AssertionResult matchesGolden(const platform::Bitmap& actual, std::string_view name);

}  // namespace quorel::test
