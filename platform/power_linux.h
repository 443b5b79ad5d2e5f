#pragma once
// The power manager of a Linux handheld: the display through the backlights' bl_power
// switches, the battery through UPower's display device when a bus address is given and
// UPower answers there, else through the power-supply class, programs through posix_spawn.
//
// Where no backlight can be written (a desktop, a panel without the switch) the state is
// only remembered and the window darkens itself: it draws black while blanked() is true.
// The sysfs roots are parameters so that a fake tree in a temporary directory stands in.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/power_backend.h"

namespace quorel::platform {

class UPowerBattery;

class LinuxPowerBackend final : public PowerBackend {
public:
    // An empty upowerBus leaves UPower out; otherwise it is asked every upowerRefresh.
    explicit LinuxPowerBackend(std::filesystem::path backlightRoot = "/sys/class/backlight",
                               std::filesystem::path powerSupplyRoot = "/sys/class/power_supply",
                               const std::string& upowerBus = {},
                               std::chrono::milliseconds upowerRefresh = std::chrono::seconds(5));
    // Lights again a backlight this backend darkened, so that quitting while the display
    // is off never leaves the screen dark.
    ~LinuxPowerBackend() override;
    LinuxPowerBackend(const LinuxPowerBackend&) = delete;
    LinuxPowerBackend& operator=(const LinuxPowerBackend&) = delete;

    // ON lights the display, IDLE and USERIDLE darken it; any other state is rejected.
    bool setPowerState(std::uint32_t stateFlags, std::uint32_t options) override;
    std::optional<std::uint32_t> powerStateFlags() override;
    // UPower's last answer when it has one (never waiting for the bus); else the capacity
    // of the first battery in name order that is present and powers the machine (a supply
    // whose scope is "Device", such as a wireless mouse, does not).
    int batteryPercent() override;
    bool startProgram(const std::string& path) override;
    void noteUserActivity() override;

    // True while the display is dark by the state; the window draws black then.
    bool blanked() const;
    // True when the last switch reached at least one backlight.
    bool backlightControlled() const { return backlightReached_; }

    // Collects the programs started here that have ended, so none stays a zombie. Every
    // other operation does this first; the count of those still running.
    int reapChildren();

private:
    bool writeBacklights(const char* value);

    std::filesystem::path backlightRoot_;
    std::filesystem::path powerSupplyRoot_;
    std::uint32_t state_ = kPowerStateOn;
    bool backlightReached_ = false;
    bool backlightDark_ = false;
    std::vector<pid_t> children_;
    std::unique_ptr<UPowerBattery> upower_;
};

}  // namespace quorel::platform
