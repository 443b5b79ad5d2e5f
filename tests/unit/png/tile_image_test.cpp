#include "png/tile_image.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace quorel {
namespace {

namespace fs = std::filesystem;
const fs::path kSuite = fs::path(QUOREL_CORPUS_DIR) / "png";

// A missing tile (or a folder in its place) is silent; a file libpng rejects shows the
// message the first time only, however often it is read. Either way the previous tile
// is dropped (and, under ASan, no buffer leaks).
TEST(LoadTileImage, MissingTilesAreSilentRejectedFilesShowTheMessage) {
    const fs::path dir = fs::temp_directory_path() / ("quorel_tiles_" + std::to_string(::getpid()));
    fs::create_directories(dir / "d.png");
    std::ofstream(dir / "404.png") << "<html>404 Not Found</html>\n";
    std::ofstream{dir / "empty.png"};
    std::vector<std::pair<fs::path, bool>> cases = {
        {dir / "14" / "14553" / "6451.png", false}, {dir / "d.png", false}, {dir / "404.png", true}, {dir / "empty.png", true}};
    for (const auto& entry : fs::directory_iterator(kSuite)) {
        if (entry.path().filename().string()[0] == 'x') cases.emplace_back(entry.path(), true);
    }
    ASSERT_EQ(cases.size(), 4u + 14u);
    std::vector<std::string> shown;
    platform::MessageHandler previous = platform::setMessageHandler([&](std::string_view text) { shown.emplace_back(text); });
    MapView view;
    TileReports reports;
    for (int round = 0; round < 2; ++round) {
        for (const auto& [path, message] : cases) {
            ASSERT_TRUE(loadTileImage(view, kSuite / "basn3p04.png", reports));
            EXPECT_EQ(view.tileBitmap->bitsPerPixel, 4);
            const std::size_t before = shown.size();
            EXPECT_FALSE(loadTileImage(view, path, reports)) << path;
            EXPECT_FALSE(view.tileBitmap) << path;
            EXPECT_EQ(shown.size() - before, message && round == 0 ? 1u : 0u) << path;
        }
    }
    platform::setMessageHandler(std::move(previous));
    fs::remove_all(dir);
    EXPECT_EQ(shown.back(), "PNGﾌｧｲﾙでありません");
}

}  // namespace
}  // namespace quorel
