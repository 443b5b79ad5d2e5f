#include "png/tile_image.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/message_box.h"
#include "platform/raster/raster.h"
#include "tests/unit/png/png_fixtures.h"

namespace quorel {
namespace {

const std::filesystem::path kSuite = std::filesystem::path(QUOREL_CORPUS_DIR) / "png";

// Records the messages shown while it lives.
class RecordedMessages {
public:
    RecordedMessages()
        : previous_(platform::setMessageHandler([this](std::string_view text) { shown.emplace_back(text); })) {}
    ~RecordedMessages() { platform::setMessageHandler(std::move(previous_)); }
    std::vector<std::string> shown;

private:
    platform::MessageHandler previous_;
};

class LoadTileImage : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() / ("quorel_tiles_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path file(const std::string& name, const std::string& text) {
        const std::filesystem::path path = dir_ / name;
        test::writeFile(path.string(), test::Bytes(text.begin(), text.end()));
        return path;
    }

    std::filesystem::path dir_;
    MapView view_;
    RecordedMessages messages_;
};

TEST_F(LoadTileImage, AGoodTileReplacesThePreviousOne) {
    ASSERT_TRUE(loadTileImage(view_, kSuite / "basn3p04.png"));
    ASSERT_TRUE(view_.tileBitmap);
    EXPECT_EQ(view_.tileBitmap->bitsPerPixel, 4);
    ASSERT_TRUE(loadTileImage(view_, kSuite / "basn2c08.png"));
    EXPECT_EQ(view_.tileBitmap->bitsPerPixel, 24);
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(LoadTileImage, AMissingTileIsSilentAndDropsThePreviousOne) {
    ASSERT_TRUE(loadTileImage(view_, kSuite / "basn0g08.png"));
    EXPECT_FALSE(loadTileImage(view_, dir_ / "14" / "14553" / "6451.png"));
    EXPECT_FALSE(view_.tileBitmap);
    EXPECT_TRUE(messages_.shown.empty());
    // A directory of that name exists but is no file: also silent.
    std::filesystem::create_directories(dir_ / "d.png");
    EXPECT_FALSE(loadTileImage(view_, dir_ / "d.png"));
    EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(LoadTileImage, AFileLibpngRejectsShowsTheMessageEveryTime) {
    ASSERT_TRUE(loadTileImage(view_, kSuite / "basn0g08.png"));
    const std::filesystem::path text = file("6451.png", "<html>404 Not Found</html>\n");
    EXPECT_FALSE(loadTileImage(view_, text));
    EXPECT_FALSE(view_.tileBitmap);
    EXPECT_FALSE(loadTileImage(view_, text));
    EXPECT_FALSE(loadTileImage(view_, file("empty.png", "")));
    EXPECT_EQ(messages_.shown, (std::vector<std::string>(3, std::string(kNotPngMessage))));
    EXPECT_EQ(kNotPngMessage, "PNGﾌｧｲﾙでありません");
}

TEST_F(LoadTileImage, EveryCorruptedSuiteImageGivesTheMessageAndFalse) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kSuite)) {
        const std::string name = entry.path().filename().string();
        if (name[0] != 'x' || entry.path().extension() != ".png") continue;
        ASSERT_TRUE(loadTileImage(view_, kSuite / "basn0g01.png"));
        EXPECT_FALSE(loadTileImage(view_, entry.path())) << name;
        EXPECT_FALSE(view_.tileBitmap) << name;
        ++files;
    }
    EXPECT_EQ(files, 14);
    EXPECT_EQ(messages_.shown.size(), 14u);
}

}  // namespace
}  // namespace quorel
