#include "gps/gps_settings.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text_file.h"

namespace quorel {
namespace {

class GpsSettingsTest : public testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::path(testing::TempDir()) /
               ("quorel_setgps_" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    GpsSettings load(const std::string& text) {
        platform::writeTextFile(dir_ / "setgps.txt", text);
        GpsSettings s;
        EXPECT_TRUE(loadGpsSettings(s, dir_));
        return s;
    }
    std::filesystem::path dir_;
};

TEST_F(GpsSettingsTest, MissingFileIsCreatedWithSixLinesAndReadsBack) {
    GpsSettings s;
    EXPECT_FALSE(loadGpsSettings(s, dir_));
    ASSERT_TRUE(saveGpsSettings(s, dir_));
    EXPECT_EQ(platform::readTextFile(dir_ / "setgps.txt"),
              "AutoOpen 1\nCommPort 1\nBaudrate 4800\nBit 8\nRootDir\n\\sdmmc\\\n");
    GpsSettings back;
    back.autoOpen = back.commPort = back.baudRate = back.byteSize = 0;
    back.storageRoot = "x";
    ASSERT_TRUE(loadGpsSettings(back, dir_));
    EXPECT_EQ(back.autoOpen, 1);
    EXPECT_EQ(back.commPort, 1);
    EXPECT_EQ(back.baudRate, 4800);
    EXPECT_EQ(back.byteSize, 8);
    EXPECT_EQ(back.storageRoot, "\\sdmmc\\");
}

TEST_F(GpsSettingsTest, NumbersAreReadAtAFixedDistanceFromTheKey) {
    const struct {
        const char* text;
        std::int32_t GpsSettings::*field;
        std::int32_t value;
    } cases[] = {
        {"Baudrate 9600\n", &GpsSettings::baudRate, 9600},
        {"Baudrate=9600\n", &GpsSettings::baudRate, 9600},
        {"baudrate 9600\n", &GpsSettings::baudRate, 4800},  // keys have case
        {"Baudrate9600\n", &GpsSettings::baudRate, 600},    // the character after the key is skipped
        {"MyBit 7\n", &GpsSettings::byteSize, 7},
        {"Bit\n", &GpsSettings::byteSize, 8},
        {"AutoOpen", &GpsSettings::autoOpen, 1},             // the line ends before the value
        {"AutoOpen 0\r\nCommPort 3\r\n", &GpsSettings::commPort, 3},
        {"AutoOpen 0\r\nCommPort 3\r\n", &GpsSettings::autoOpen, 0},
        {"CommPort x\n", &GpsSettings::commPort, 1},
        {"AutoOpenBaudrate 5\n", &GpsSettings::autoOpen, 1},  // "AutoOpen" decides; 9 on is "rate 5"
    };
    for (const auto& c : cases) EXPECT_EQ(load(c.text).*c.field, c.value) << c.text;
}

TEST_F(GpsSettingsTest, StorageRootIsTheNextLineUpTo19Characters) {
    const struct {
        const char* text;
        const char* root;
        std::int32_t byteSize;
    } cases[] = {
        {"RootDir\n\\Storage Card\\\n", "\\Storage Card\\", 8},
        {"RootDir\r\n/media/card/\r\n", "/media/card/", 8},
        {"RootDir\n\\abcdefghijklmnopqrBit 5\n", "\\abcdefghijklmnopqr", 5},  // the rest is a line of its own
        {"Bit 6\nRootDir\n", "\\sdmmc\\", 6},                                    // last line: unchanged
        {"RootDir\n\n\nab\nBit 4\n", "\n\nab", 4},                               // early line feeds are kept
        {"RootDir\nab", "ab", 8},
        {"RootDir\n\\\xE6\x98\x8E\xE6\x9C\x9D\\\n", "\\\xE6\x98\x8E\xE6\x9C\x9D\\", 8},  // characters, not bytes
    };
    for (const auto& c : cases) {
        const GpsSettings s = load(c.text);
        EXPECT_EQ(s.storageRoot, c.root) << c.text;
        EXPECT_EQ(s.byteSize, c.byteSize) << c.text;
    }
}

TEST_F(GpsSettingsTest, LongLinesAreReadInPieces) {
    std::string text(600, 'x');
    text.replace(520, 8, "Bit 3 xx");  // in the second piece of the line
    const GpsSettings s = load(text + "\n");
    EXPECT_EQ(s.byteSize, 3);
}

}  // namespace
}  // namespace quorel
