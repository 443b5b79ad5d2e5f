#include "tests/support/golden.h"

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/format.h"
#include "platform/paths.h"
#include "platform/raster/raster.h"
#include "png/png_decoder.h"
#include "png/png_writer.h"

namespace quorel::test {

namespace {

std::filesystem::path goldenPath(std::string_view name) {
    return std::filesystem::path(QUOREL_SOURCE_DIR) / "tests" / "golden" / (std::string(name) + ".png");
}

bool updating() {
    const char* value = std::getenv("QUOREL_UPDATE_GOLDENS");
    return value != nullptr && std::string_view(value) == "1";
}

std::filesystem::path outputDir() { return platform::executableDir(); }

std::string hex(platform::Color c) { return platform::format("%06X", static_cast<unsigned>(c & 0xFFFFFFu)); }

}  // namespace

::testing::AssertionResult matchesGolden(const platform::Bitmap& actual, std::string_view name) {
    const platform::Bitmap picture = platform::toBitmap32(actual);
    if (!picture.valid()) return ::testing::AssertionFailure() << "the picture for " << name << " is empty";
    const std::filesystem::path golden = goldenPath(name);
    if (updating()) {
        if (!writePngFile(picture, golden)) return ::testing::AssertionFailure() << "cannot write " << golden;
        return ::testing::AssertionSuccess() << "rewrote " << golden;
    }
    const std::filesystem::path actualPath = outputDir() / (std::string(name) + ".actual.png");
    const PngDecodeResult decoded = decodePngFile(golden);
    if (!decoded.bitmap) {
        writePngFile(picture, actualPath);
        return ::testing::AssertionFailure() << "no golden " << golden << " (actual picture in " << actualPath
                                             << "; QUOREL_UPDATE_GOLDENS=1 writes it)";
    }
    const platform::Bitmap& expected = *decoded.bitmap;
    if (expected.width != picture.width || expected.height != picture.height) {
        writePngFile(picture, actualPath);
        return ::testing::AssertionFailure()
               << name << ": size " << picture.width << "x" << picture.height << ", golden " << expected.width << "x"
               << expected.height << " (actual picture in " << actualPath << ")";
    }
    platform::Bitmap diff = platform::createBitmap(picture.width, picture.height);
    long differing = 0;
    int firstX = -1, firstY = -1;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            const platform::Color a = platform::pixelAt(picture, x, y);
            const platform::Color e = platform::pixelAt(expected, x, y);
            if (a != e) {
                if (differing++ == 0) {
                    firstX = x;
                    firstY = y;
                }
                platform::setPixel(diff, x, y, platform::rgb(255, 0, 0));
            } else {
                const int grey = (platform::redOf(a) + platform::greenOf(a) + platform::blueOf(a)) / 3;
                const int faded = 192 + grey / 4;
                platform::setPixel(diff, x, y, platform::rgb(faded, faded, faded));
            }
        }
    }
    if (differing == 0) return ::testing::AssertionSuccess();
    const std::filesystem::path diffPath = outputDir() / (std::string(name) + ".diff.png");
    writePngFile(picture, actualPath);
    writePngFile(diff, diffPath);
    return ::testing::AssertionFailure() << name << ": " << differing << " pixels differ from " << golden
                                         << ", the first at (" << firstX << ", " << firstY
                                         << "): " << hex(platform::pixelAt(picture, firstX, firstY)) << " instead of "
                                         << hex(platform::pixelAt(expected, firstX, firstY)) << "; see " << actualPath
                                         << " and " << diffPath;
}

}  // namespace quorel::test
