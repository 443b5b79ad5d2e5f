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

const std::filesystem::path kSuite = std::filesystem::path(QUOREL_CORPUS_DIR) / "png";

class LoadTileImage : public ::testing::Test {
protected:
    LoadTileImage() : previous_(platform::setMessageHandler([this](std::string_view text) { shown.emplace_back(text); })) {
        std::filesystem::create_directories(dir_);
    }
    ~LoadTileImage() override {
        platform::setMessageHandler(std::move(previous_));
        std::filesystem::remove_all(dir_);
    }

    const std::filesystem::path dir_ = std::filesystem::temp_directory_path() / ("quorel_tiles_" + std::to_string(::getpid()));
    MapView view_;
    std::vector<std::string> shown;
    platform::MessageHandler previous_;
};

TEST_F(LoadTileImage, AMissingTileIsSilentAndDropsThePreviousOne) {
    ASSERT_TRUE(loadTileImage(view_, kSuite / "basn3p04.png"));
    ASSERT_TRUE(view_.tileBitmap);
    EXPECT_EQ(view_.tileBitmap->bitsPerPixel, 4);
    EXPECT_FALSE(loadTileImage(view_, dir_ / "14" / "14553" / "6451.png"));
    EXPECT_FALSE(view_.tileBitmap);
    std::filesystem::create_directories(dir_ / "d.png");  // a directory of that name is no file either
    EXPECT_FALSE(loadTileImage(view_, dir_ / "d.png"));
    EXPECT_TRUE(shown.empty());
}

// Each file libpng rejects shows the message again and leaves no tile (and, under ASan,
// no leak).
TEST_F(LoadTileImage, EveryFileLibpngRejectsGivesTheMessageAndFalse) {
    std::vector<std::filesystem::path> rejected = {dir_ / "404.png", dir_ / "empty.png"};
    std::ofstream(rejected[0]) << "<html>404 Not Found</html>\n";
    std::ofstream{rejected[1]};
    for (const auto& entry : std::filesystem::directory_iterator(kSuite)) {
        if (entry.path().filename().string()[0] == 'x') rejected.push_back(entry.path());
    }
    ASSERT_EQ(rejected.size(), 2u + 14u);
    for (const auto& path : rejected) {
        ASSERT_TRUE(loadTileImage(view_, kSuite / "basn0g01.png"));
        EXPECT_FALSE(loadTileImage(view_, path)) << path;
        EXPECT_FALSE(view_.tileBitmap) << path;
    }
    EXPECT_EQ(shown, std::vector<std::string>(rejected.size(), "PNGﾌｧｲﾙでありません"));
}

}  // namespace
}  // namespace quorel
