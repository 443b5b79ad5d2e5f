#include "power/display_power.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/power_recording.h"

namespace quorel {
namespace {

using platform::RecordingPowerBackend;

class DisplayPowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::path(::testing::TempDir()) /
               ("quorel_power_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    std::filesystem::path dir_;
};

TEST_F(DisplayPowerTest, EachMethodMakesItsRequest) {
    const std::string screenOff = (dir_ / "ScreenOff.exe").string();
    const struct {
        int method;
        bool osVersion6;
        bool screenOffPresent;
        std::vector<std::string> requests;
    } cases[] = {
        {1, false, false, {"IDLE+FORCE"}},
        {1, true, false, {"USERIDLE+FORCE"}},
        {7, false, false, {"ON"}},
        {7, true, false, {"ON"}},
        {11, false, false, {"USERIDLE+FORCE"}},
        {12, false, false, {}},
        {12, true, true, {"launch " + screenOff}},
        {13, true, false, {"IDLE+FORCE"}},
        {14, false, false, {"USERIDLE+FORCE"}},
        {0, false, true, {}},
        {2, false, true, {}},
        {-1, false, true, {}},
        {99, true, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        std::filesystem::remove(screenOff);
        if (c.screenOffPresent) std::ofstream(screenOff) << "#!/bin/sh\n";
        RecordingPowerBackend backend;
        // the program directory as the entry point keeps it, with a trailing separator
        const PowerContext power{backend, c.osVersion6, dir_.string() + "/"};
        setDisplayPower(power, c.method);
        setDisplayPower(power, c.method);  // once per switch-off
        std::vector<std::string> twice = c.requests;
        twice.insert(twice.end(), c.requests.begin(), c.requests.end());
        EXPECT_EQ(backend.requests(), twice);
    }
}

TEST(DisplayPower, OnlyTheIdleFlagCountsAsOff) {
    const struct {
        int method;
        bool osVersion6;
        bool off;
        bool blanked;
    } cases[] = {
        {13, false, true, true},   // idle
        {1, false, true, true},    // idle on an older kernel
        {1, true, false, true},    // user-idle: dark, but a tap is an ordinary tap
        {11, false, false, true},
        {14, false, false, true},
        {7, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method);
        RecordingPowerBackend backend;
        const PowerContext power{backend, c.osVersion6, {}};
        EXPECT_FALSE(isDisplayOff(power));
        setDisplayPower(power, c.method);
        EXPECT_EQ(isDisplayOff(power), c.off);
        EXPECT_EQ(backend.blanked(), c.blanked);
        // Any input ends the user-idle state but not the idle one.
        backend.noteUserActivity();
        EXPECT_EQ(isDisplayOff(power), c.off);
        EXPECT_EQ(backend.blanked(), c.off);
        setDisplayPower(power, 7);
        EXPECT_FALSE(isDisplayOff(power));
        EXPECT_FALSE(backend.blanked());
    }
    RecordingPowerBackend backend;
    const PowerContext power{backend, false, {}};
    setDisplayPower(power, 13);
    backend.stateQueryFails = true;
    EXPECT_FALSE(isDisplayOff(power));  // a state that cannot be read counts as on
}

TEST(DisplayPower, BatteryPercentIsZeroToHundredOrUnknown) {
    const struct {
        int reported;
        int read;
    } cases[] = {{0, 0}, {57, 57}, {100, 100}, {255, 255}, {101, 255}, {254, 255}, {-1, 255}, {1000, 255}};
    for (const auto& c : cases) {
        RecordingPowerBackend backend;
        backend.battery = c.reported;
        EXPECT_EQ(readBatteryStatus(PowerContext{backend, false, {}}), c.read) << c.reported;
    }
    RecordingPowerBackend fresh;
    EXPECT_EQ(readBatteryStatus(PowerContext{fresh, false, {}}), 255);
}

TEST(DisplayPower, RequestsReadAsShortTexts) {
    using namespace platform;
    EXPECT_EQ(describePowerRequest(kPowerStateIdle | kPowerStateUserIdle, 0), "IDLE+USERIDLE");
    EXPECT_EQ(describePowerRequest(kPowerStateOn | 0x4, kPowerForce | 0x1), "ON+0x00000004+FORCE+0x00000001");
    EXPECT_EQ(describePowerRequest(0, 0), "0x00000000");

    RecordingPowerBackend backend;
    EXPECT_EQ(backend.joinedRequests(), "");
    backend.launchFails = true;
    const PowerContext power{backend, true, {}};
    setDisplayPower(power, 1);
    launchProgram(power, "/opt/a b");
    setDisplayPower(power, 7);
    EXPECT_EQ(backend.joinedRequests(), "USERIDLE+FORCE,launch /opt/a b,ON");
}

}  // namespace
}  // namespace quorel
