#include "png/tile_image.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "platform/raster/raster.h"
#include "png/png_writer.h"

namespace quorel {
namespace {

namespace fs = std::filesystem;
const fs::path kSuite = fs::path(QUOREL_CORPUS_DIR) / "png";

std::vector<std::uint8_t> bytesOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Whatever a downloader may have saved in place of a tile is rejected (and, under ASan,
// leaks nothing): the broken files of the PNG suite, the damaged tiles the PNG fuzz target
// keeps (one of each kind quorel-make-hostile makes, an HTML page and an empty file among
// them), and a JPEG cut short or with its scan damaged. The good ones decode.
TEST(DecodeTileImage, RejectsWhatIsNotAWholePngOrJpeg) {
    std::vector<std::pair<std::vector<std::uint8_t>, bool>> cases;
    for (const auto& entry : fs::directory_iterator(kSuite)) {
        if (entry.path().filename().string()[0] == 'x') cases.emplace_back(bytesOf(entry.path()), true);
    }
    for (const auto& entry : fs::directory_iterator(fs::path(QUOREL_SOURCE_DIR) / "tests/fuzz/regressions/png")) {
        if (entry.path().filename().string().starts_with("hostile-")) cases.emplace_back(bytesOf(entry.path()), true);
    }
    ASSERT_EQ(cases.size(), 14u + 8u);
    cases.emplace_back(bytesOf(kSuite / "basn2c08.png"), true);  // a good PNG, but 32 pixels square

    std::vector<std::uint8_t> rgb(256 * 256 * 3, 99);
    tjhandle h = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(h, rgb.data(), 256, 0, 256, TJPF_RGB, &out, &size, TJSAMP_444, 90, 0), 0);
    const std::vector<std::uint8_t> jpeg(out, out + size);
    tjFree(out);
    tjDestroy(h);
    cases.emplace_back(jpeg, false);
    cases.emplace_back(std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + jpeg.size() / 2), true);
    std::vector<std::uint8_t> noHeader = jpeg;
    noHeader.resize(40);  // stops inside the quantisation tables
    cases.emplace_back(noHeader, true);

    for (std::size_t i = 0; i < cases.size(); ++i) {
        const TileDecodeResult r = decodeTileImage(cases[i].first);
        EXPECT_EQ(r.rejected, cases[i].second) << "case " << i;
        EXPECT_EQ(r.bitmap.has_value(), !cases[i].second) << "case " << i;
    }
}

// A tile of 512 pixels square, true colour or with a colour table, is shown halved: each
// pixel the rounded mean of its 2 x 2, channel by channel. Other sizes are rejected.
TEST(DecodeTileImage, HalvesTilesOfTwiceTheSideAndRejectsOtherSizes) {
    std::vector<platform::Color> palette;
    for (int i = 0; i < 256; ++i) palette.push_back(platform::rgb(i, (i * 37) % 256, 255 - i));
    for (const int bits : {32, 8}) {
        platform::Bitmap big =
            bits == 32 ? platform::createBitmap(512, 512) : platform::createDib(512, 512, 8, palette);
        for (int y = 0; y < 512; ++y) {
            for (int x = 0; x < 512; ++x) platform::setPixel(big, x, y, palette[(x * 131 + y * 71 + x * y) % 256]);
        }
        const TileDecodeResult r = decodeTileImage(encodePng(big, 1));
        ASSERT_TRUE(r.bitmap && r.bitmap->width == 256 && r.bitmap->height == 256) << bits;
        int wrong = 0;
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                int sum[3] = {};
                for (int k = 0; k < 4; ++k) {
                    const platform::Color c = platform::pixelAt(big, 2 * x + k % 2, 2 * y + k / 2);
                    sum[0] += platform::redOf(c), sum[1] += platform::greenOf(c), sum[2] += platform::blueOf(c);
                }
                const platform::Color want = platform::rgb((sum[0] + 2) / 4, (sum[1] + 2) / 4, (sum[2] + 2) / 4);
                wrong += (platform::pixelAt(*r.bitmap, x, y) & 0xFFFFFF) != want;
            }
        }
        EXPECT_EQ(wrong, 0) << bits;
    }
    for (const auto& [w, h] : {std::pair{512, 256}, std::pair{300, 300}, std::pair{1024, 1024}}) {
        const TileDecodeResult r = decodeTileImage(encodePng(platform::createBitmap(w, h), 1));
        EXPECT_TRUE(r.rejected) << w << "x" << h;
        EXPECT_FALSE(r.bitmap) << w << "x" << h;
        EXPECT_EQ(r.reason, "is not 256 or 512 pixels square");
    }
}

// However often the fallbacks read a bad file, the user hears of it once.
TEST(ReportBadTile, ShowsTheMessageOncePerFile) {
    std::vector<std::string> shown;
    platform::MessageHandler previous =
        platform::setMessageHandler([&](std::string_view text) { shown.emplace_back(text); });
    TileReports reports;
    const bool reported[] = {reportBadTile(reports, "a.png", "tile a.png"),
                             reportBadTile(reports, "b.png", "tile b.png"),
                             reportBadTile(reports, "a.png", "tile a.png")};
    platform::setMessageHandler(std::move(previous));
    EXPECT_TRUE(reported[0]);
    EXPECT_TRUE(reported[1]);
    EXPECT_FALSE(reported[2]);
    EXPECT_EQ(shown, std::vector<std::string>(2, std::string(kNotPngMessage)));
}

}  // namespace
}  // namespace quorel
