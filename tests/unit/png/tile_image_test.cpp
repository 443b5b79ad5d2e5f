#include "png/tile_image.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/message_box.h"

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
    cases.emplace_back(bytesOf(kSuite / "basn2c08.png"), false);

    std::vector<std::uint8_t> rgb(64 * 48 * 3, 99);
    tjhandle h = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(h, rgb.data(), 64, 0, 48, TJPF_RGB, &out, &size, TJSAMP_444, 90, 0), 0);
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
    const TileDecodeResult whole = decodeTileImage(jpeg);
    ASSERT_TRUE(whole.bitmap);
    EXPECT_EQ(whole.bitmap->bitsPerPixel, 24);
    EXPECT_EQ(whole.bitmap->width, 64);
    EXPECT_EQ(whole.bitmap->height, 48);
}

// However often the fallbacks read a bad file, the user hears of it once.
TEST(ReportBadTile, ShowsTheMessageOncePerFile) {
    std::vector<std::string> shown;
    platform::MessageHandler previous = platform::setMessageHandler([&](std::string_view text) { shown.emplace_back(text); });
    TileReports reports;
    const bool reported[] = {reportBadTile(reports, "a.png", "tile a.png"), reportBadTile(reports, "b.png", "tile b.png"),
                             reportBadTile(reports, "a.png", "tile a.png")};
    platform::setMessageHandler(std::move(previous));
    EXPECT_TRUE(reported[0]);
    EXPECT_TRUE(reported[1]);
    EXPECT_FALSE(reported[2]);
    EXPECT_EQ(shown, std::vector<std::string>(2, std::string(kNotPngMessage)));
}

}  // namespace
}  // namespace quorel
