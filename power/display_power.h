#pragma once
// The display's power: the numbered switch-off and switch-on methods, whether the display
// is off, starting the external screen-off program, and the battery level.
//
// The methods, as the settings choose them (DisplayOffMode 1, 2, 3, 4 give 12, 11, 13, 14,
// any other value 1; switching on is 7):
//    1  USERIDLE, forced, on a kernel of major version 6 or later; IDLE, forced, before
//    7  ON, not forced
//   11  USERIDLE, forced
//   12  start "ScreenOff.exe" from the program directory when it is there; nothing else
//   13  IDLE, forced
//   14  USERIDLE, forced (as 11)
// Any other number does nothing.
#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/power_backend.h"

namespace quorel {

inline constexpr const char* kScreenOffProgram = "ScreenOff.exe";

struct PowerContext {
    platform::PowerBackend& backend;
    bool osVersion6OrLater = false;
    std::filesystem::path programDir;
};

void setDisplayPower(const PowerContext& power, int method);

// True only when the state can be read and holds the IDLE flag: a user-idle display
// counts as on.
bool isDisplayOff(const PowerContext& power);

// Starts the program without arguments and without waiting for it.
void launchProgram(const PowerContext& power, const std::string& path);

// 0 to 100, or 255 when the level is not known.
std::int32_t readBatteryStatus(const PowerContext& power);

}  // namespace quorel
