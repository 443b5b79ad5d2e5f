// The Linux power backend on a fake sysfs tree in a temporary directory, and on real
// child processes.
#include "platform/power_linux.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/text_file.h"
#include "power/display_power.h"

namespace quorel {
namespace {

using namespace platform;
namespace fs = std::filesystem;

class LinuxPowerTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::path(::testing::TempDir()) /
                ("quorel_sysfs_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root_);
        fs::create_directories(backlights());
        fs::create_directories(supplies());
    }
    fs::path backlights() const { return root_ / "backlight"; }
    fs::path supplies() const { return root_ / "power_supply"; }

    void file(const fs::path& path, const std::string& text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << text;
    }
    std::string read(const fs::path& path) { return readTextFile(path).value_or("<none>"); }

    fs::path root_;
};

TEST_F(LinuxPowerTest, TheBacklightFollowsTheState) {
    file(backlights() / "panel" / "bl_power", "0\n");
    fs::create_directories(backlights() / "locked" / "bl_power");  // cannot be written
    fs::create_directories(backlights() / "no_switch");
    const auto blPower = backlights() / "panel" / "bl_power";
    {
        LinuxPowerBackend backend(backlights(), supplies());
        const PowerContext power{backend, false, {}};
        const struct {
            int method;
            const char* blPower;
            bool off;
            bool blanked;
        } steps[] = {
            {13, "4\n", true, true},   // idle
            {7, "0\n", false, false},  // on
            {11, "4\n", false, true},  // user-idle: dark, not "off"
            {7, "0\n", false, false},
            {1, "4\n", true, true},
        };
        for (const auto& s : steps) {
            SCOPED_TRACE(s.method);
            setDisplayPower(power, s.method);
            EXPECT_EQ(read(blPower), s.blPower);
            EXPECT_EQ(isDisplayOff(power), s.off);
            EXPECT_EQ(backend.blanked(), s.blanked);
            EXPECT_TRUE(backend.backlightControlled());
        }
        // Quitting while dark lights the panel again.
    }
    EXPECT_EQ(read(blPower), "0\n");
}

TEST_F(LinuxPowerTest, UserActivityEndsOnlyTheUserIdleState) {
    const auto blPower = backlights() / "panel" / "bl_power";
    file(blPower, "0\n");
    LinuxPowerBackend backend(backlights(), supplies());
    backend.setPowerState(kPowerStateUserIdle, kPowerForce);
    EXPECT_EQ(read(blPower), "4\n");
    backend.noteUserActivity();
    EXPECT_EQ(read(blPower), "0\n");
    EXPECT_EQ(backend.powerStateFlags(), kPowerStateOn);

    backend.setPowerState(kPowerStateIdle, kPowerForce);
    backend.noteUserActivity();
    EXPECT_EQ(read(blPower), "4\n");
    EXPECT_EQ(backend.powerStateFlags(), kPowerStateIdle);
}

TEST_F(LinuxPowerTest, WithoutABacklightTheWindowDarkensItself) {
    fs::create_directories(backlights() / "locked" / "bl_power");
    for (const fs::path& root : {backlights(), root_ / "missing"}) {
        LinuxPowerBackend backend(root, supplies());
        EXPECT_TRUE(backend.setPowerState(kPowerStateIdle, kPowerForce));
        EXPECT_FALSE(backend.backlightControlled());
        EXPECT_TRUE(backend.blanked());
        EXPECT_EQ(backend.powerStateFlags(), kPowerStateIdle);
        EXPECT_TRUE(backend.setPowerState(kPowerStateOn, 0));
        EXPECT_FALSE(backend.blanked());
    }
}

TEST_F(LinuxPowerTest, StatesWithoutMeaningAreRejected) {
    file(backlights() / "panel" / "bl_power", "0\n");
    LinuxPowerBackend backend(backlights(), supplies());
    EXPECT_FALSE(backend.setPowerState(0, kPowerForce));
    EXPECT_FALSE(backend.setPowerState(kPowerStateOn | kPowerStateIdle, 0));
    EXPECT_FALSE(backend.setPowerState(0x00200000, 0));
    EXPECT_EQ(backend.powerStateFlags(), kPowerStateOn);
    EXPECT_EQ(read(backlights() / "panel" / "bl_power"), "0\n");
}

TEST_F(LinuxPowerTest, TheBatteryIsTheFirstOneThatPowersTheMachine) {
    struct Supply {
        const char* name;
        const char* type;
        const char* capacity;  // nullptr: no such file
        const char* scope;
        const char* present;
    };
    const struct {
        const char* name;
        std::vector<Supply> supplies;
        int percent;
    } cases[] = {
        {"none", {}, 255},
        {"mains only", {{"AC", "Mains\n", nullptr, nullptr, "1\n"}}, 255},
        {"one battery", {{"AC", "Mains\n", nullptr, nullptr, nullptr}, {"BAT0", "Battery\n", "57\n", nullptr, "1\n"}},
         57},
        {"name order", {{"BAT1", "Battery\n", "20\n", nullptr, nullptr}, {"BAT0", "Battery\n", "80\n", nullptr, nullptr}},
         80},
        {"a mouse's battery does not count",
         {{"hidpp_battery_0", "Battery\n", "15\n", "Device\n", nullptr}, {"axp20x-battery", "Battery\n", "64\n",
                                                                           "System\n", nullptr}},
         64},
        {"an absent battery does not count",
         {{"BAT0", "Battery\n", "0\n", nullptr, "0\n"}, {"BAT1", "Battery\n", "33\n", nullptr, "1\n"}}, 33},
        {"unreadable capacity", {{"BAT0", "Battery\n", "unknown\n", nullptr, nullptr}}, 255},
        {"no capacity", {{"BAT0", "Battery\n", nullptr, nullptr, nullptr}}, 255},
        {"beyond 100", {{"BAT0", "Battery\n", "104\n", nullptr, nullptr}}, 100},
        {"below 0", {{"BAT0", "Battery\n", "-3\n", nullptr, nullptr}}, 0},
        {"UPS type", {{"ups", "UPS\n", "90\n", nullptr, nullptr}}, 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(supplies());
        fs::create_directories(supplies());
        for (const Supply& s : c.supplies) {
            file(supplies() / s.name / "type", s.type);
            if (s.capacity != nullptr) file(supplies() / s.name / "capacity", s.capacity);
            if (s.scope != nullptr) file(supplies() / s.name / "scope", s.scope);
            if (s.present != nullptr) file(supplies() / s.name / "present", s.present);
        }
        LinuxPowerBackend backend(backlights(), supplies());
        EXPECT_EQ(backend.batteryPercent(), c.percent);
        EXPECT_EQ(readBatteryStatus(PowerContext{backend, false, {}}), c.percent);
    }
    LinuxPowerBackend missing(backlights(), root_ / "missing");
    EXPECT_EQ(missing.batteryPercent(), 255);
}

TEST_F(LinuxPowerTest, ProgramsStartWithoutWaitingAndLeaveNoZombie) {
    const fs::path program = root_ / "ScreenOff.exe";
    const fs::path marker = root_ / "ran";
    file(program, "#!/bin/sh\necho \"$#\" > \"" + marker.string() + "\"\n");
    fs::permissions(program, fs::perms::owner_all);

    LinuxPowerBackend backend(backlights(), supplies());
    const PowerContext power{backend, false, root_};
    setDisplayPower(power, 12);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (backend.reapChildren() > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(backend.reapChildren(), 0);
    EXPECT_EQ(read(marker), "0\n");  // started without arguments
    // Nothing is left for this process to wait for: the child was collected.
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    EXPECT_FALSE(backend.startProgram((root_ / "missing").string()));
    const fs::path notExecutable = root_ / "plain.exe";
    file(notExecutable, "#!/bin/sh\n");
    fs::permissions(notExecutable, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(backend.startProgram(notExecutable.string()));
    EXPECT_EQ(backend.reapChildren(), 0);
}

}  // namespace
}  // namespace quorel
