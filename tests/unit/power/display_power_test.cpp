// The display power methods on the recording backend, and the Linux backend on a fake
// sysfs tree in a temporary directory.
#include "power/display_power.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/headless/power_recording.h"
#include "platform/power_linux.h"
#include "platform/text_file.h"
#include "tests/support/scratch.h"

namespace quorel {
namespace {

using namespace platform;
namespace fs = std::filesystem;

fs::path freshDir(const std::string& name) { return test::scratchFolder("power_" + name); }

void file(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

TEST(DisplayPower, EachMethodMakesItsRequest) {
    const fs::path dir = freshDir("methods");
    const std::string launch = "launch " + (dir / "ScreenOff.exe").string();
    const struct {
        int method;
        bool osVersion6, screenOffThere;
        std::string request;
        bool off;  // only the idle flag counts: on a user-idle display a tap is an ordinary tap
    } cases[] = {
        {1, false, false, "IDLE+FORCE", true},
        {1, true, false, "USERIDLE+FORCE", false},  // by the kernel version
        {12, false, false, "", false},
        {12, true, true, launch, false},
        {11, false, false, "USERIDLE+FORCE", false},
        {14, false, false, "USERIDLE+FORCE", false},
        {13, true, false, "IDLE+FORCE", true},
        {7, true, true, "ON", false},  // never forced
        {0, false, true, "", false},
        {99, true, true, "", false},
    };
    for (const auto& c : cases) {
        fs::remove(dir / "ScreenOff.exe");
        if (c.screenOffThere) file(dir / "ScreenOff.exe", "#!/bin/sh\n");
        RecordingPowerBackend backend;
        const PowerContext power{backend, c.osVersion6, dir.string() + "/"};  // as kept, with its trailing separator
        setDisplayPower(power, c.method);
        setDisplayPower(power, c.method);  // once per switch-off
        EXPECT_EQ(backend.joinedRequests(), c.request.empty() ? "" : c.request + "," + c.request) << c.method;
        EXPECT_EQ(isDisplayOff(power), c.off) << c.method;
        backend.stateQueryFails = true;
        EXPECT_FALSE(isDisplayOff(power));  // a state that cannot be read counts as on
    }
}

TEST(LinuxPower, TheBacklightFollowsTheStateAndIsLitAgainAtTheEnd) {
    const fs::path root = freshDir("backlight");
    const fs::path blPower = root / "panel" / "bl_power";
    file(blPower, "0\n");
    fs::create_directories(root / "locked" / "bl_power");  // cannot be written
    fs::create_directories(root / "no_switch");
    {
        LinuxPowerBackend backend(root, root / "no_supplies");
        const PowerContext power{backend, false, {}};
        const struct {
            int method;  // -1: user activity
            const char* blPower;
            bool off;
        } steps[] = {
            {13, "4\n", true},  {-1, "4\n", true},   // idle stays until switched on
            {7, "0\n", false},  {11, "4\n", false},  // user-idle: dark, not "off"
            {-1, "0\n", false}, {1, "4\n", true},
        };
        for (const auto& s : steps) {
            s.method < 0 ? backend.noteUserActivity() : setDisplayPower(power, s.method);
            EXPECT_EQ(readTextFile(blPower), s.blPower) << s.method;
            EXPECT_EQ(isDisplayOff(power), s.off) << s.method;
        }
        EXPECT_TRUE(backend.backlightControlled());
    }
    EXPECT_EQ(readTextFile(blPower), "0\n");  // quitting while dark lights the panel again

    fs::remove_all(root / "panel");  // without a backlight that can be written the window darkens itself
    LinuxPowerBackend backend(root, root);
    EXPECT_TRUE(backend.setPowerState(kPowerStateIdle, kPowerForce));
    EXPECT_FALSE(backend.backlightControlled());
    EXPECT_TRUE(backend.blanked());
}

TEST(LinuxPower, TheBatteryIsTheFirstOneThatPowersTheMachine) {
    const fs::path root = freshDir("supplies");
    const struct {
        const char* name;
        std::vector<std::string> supplies;  // name, then type, capacity, scope, present ("-": no such file)
        int percent;
    } cases[] = {
        {"none", {}, 255},
        {"one battery", {"AC Mains - - -", "BAT0 Battery 57 - 1"}, 57},
        {"name order", {"BAT1 Battery 20 - -", "BAT0 Battery 80 - -"}, 80},
        {"a mouse's battery", {"hidpp_battery_0 Battery 15 Device -", "axp20x-battery Battery 64 System -"}, 64},
        {"an absent battery", {"BAT0 Battery 0 - 0", "BAT1 Battery 33 - 1"}, 33},
        {"unreadable capacity", {"BAT0 Battery unknown - -"}, 255},
        {"beyond 100", {"BAT0 Battery 104 - -"}, 100},
        {"UPS", {"ups UPS 90 - -"}, 255},
    };
    for (const auto& c : cases) {
        for (const std::string& supply : c.supplies) {
            std::istringstream in(supply);
            std::string name, value;
            in >> name;
            for (const char* attribute : {"type", "capacity", "scope", "present"}) {
                if (in >> value && value != "-") file(root / c.name / name / attribute, value + "\n");
            }
        }
        LinuxPowerBackend backend(root / "no_backlights", root / c.name);
        EXPECT_EQ(readBatteryStatus(PowerContext{backend, false, {}}), c.percent) << c.name;
    }
}

}  // namespace
}  // namespace quorel
