#include "settings/map_settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text_file.h"
#include "tests/support/scratch.h"

namespace quorel {
namespace {

class MapSettingsTest : public testing::Test {
protected:
    void SetUp() override { dir_ = test::scratchFolder(testing::UnitTest::GetInstance()->current_test_info()->name()); }
    bool load(const std::string& text) {
        platform::writeTextFile(dir_ / "setmap.txt", text);
        return loadMapSettings(view_, idle_, dir_);
    }
    std::filesystem::path dir_;
    MapView view_;
    DisplayIdle idle_;
};

TEST_F(MapSettingsTest, AMissingFileIsReported) { EXPECT_FALSE(loadMapSettings(view_, idle_, dir_)); }

TEST_F(MapSettingsTest, KeysAreFoundAsSubstringsInTableOrder) {
    const struct {
        const char* text;
        double MapView::*realField;
        int MapView::*intField;
        double real;
        int integer;
    } cases[] = {
        {"MyDefaultLatitude 12.5", &MapView::defaultLat, nullptr, 12.5, 0},
        {"DefaultLatDefaultLon 7", &MapView::defaultLat, nullptr, 7.0, 0},  // the earlier key wins
        {"ZoomMaxZoomLevel 3", nullptr, &MapView::zoomLevel, 0, 3},
        {"xdraw_timerx 100", nullptr, &MapView::drawTimerMs, 0, 100},
        {"zoomlevel 3 ZoomLevel 9", nullptr, &MapView::zoomLevel, 0, 9},     // case matters; "3" skipped
        {"ZoomLevel 3\nZoomLevel 12", nullptr, &MapView::zoomLevel, 0, 12},  // the last one wins
        {"ZoomLevel 500.5", nullptr, &MapView::zoomLevel, 0, 500},
        {"f_HUD\n\n  1", nullptr, &MapView::hudMode, 0, 1},  // white space of any kind
        {"f_Rotate 180 f_Rotate 45 f_Rotate -90 f_Rotate abc", nullptr, &MapView::rotation, 0, 180},  // quarters only
        {"f_Night 2", nullptr, &MapView::nightMode, 0, 2},
    };
    for (const auto& c : cases) {
        view_ = MapView{};
        ASSERT_TRUE(load(c.text));
        if (c.realField) {
            EXPECT_EQ(view_.*c.realField, c.real) << c.text;
        }
        if (c.intField) {
            EXPECT_EQ(view_.*c.intField, c.integer) << c.text;
        }
    }
}

TEST_F(MapSettingsTest, ValuesThatDoNotConvertAreReadAsTokens) {
    ASSERT_TRUE(load("ZoomLevel ZoomMax 18\nCloseBtn 10 x\nDefaultLon abc 5"));
    EXPECT_EQ(view_.zoomLevel, 14);  // its value was the next key
    EXPECT_EQ(view_.zoomMax, 18);
    EXPECT_EQ(view_.closeCornerX, 10);
    EXPECT_EQ(view_.closeCornerY, 22);
    EXPECT_EQ(view_.defaultLon, 139.7714996);
}

TEST_F(MapSettingsTest, SwitchesTakeAnyNonZeroValue) {
    ASSERT_TRUE(load("f_TapPosView 5 f_ViewTile -1"));
    EXPECT_TRUE(view_.showTapPosition);
    EXPECT_TRUE(view_.showTileGrid);
}

}  // namespace
}  // namespace quorel
