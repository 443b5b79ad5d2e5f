#pragma once
// What the display power control needs of a power manager: set a power state, read the
// state flags back, the battery level, and starting a program without waiting for it.
//
// The flag values are those of the handheld's power manager, so the display methods read
// as they did there: ON lights the display, IDLE and USERIDLE darken it. A display in
// the user-idle state comes back by itself on the next tap or key (noteUserActivity); one
// in the idle state stays dark until ON is asked for.
#include <cstdint>
#include <optional>
#include <string>

namespace quorel::platform {

inline constexpr std::uint32_t kPowerStateOn = 0x00010000;
inline constexpr std::uint32_t kPowerStateIdle = 0x00100000;
inline constexpr std::uint32_t kPowerStateUserIdle = 0x01000000;
inline constexpr std::uint32_t kPowerForce = 0x00001000;

inline constexpr int kBatteryUnknown = 255;

struct PowerBackend {
    virtual ~PowerBackend() = default;

    // Asks for a state (one of the kPowerState values) with options (kPowerForce or 0);
    // false when the request was rejected.
    virtual bool setPowerState(std::uint32_t stateFlags, std::uint32_t options) = 0;

    // The current state flags; none when the state cannot be read.
    virtual std::optional<std::uint32_t> powerStateFlags() = 0;

    // 0 to 100, or kBatteryUnknown.
    virtual int batteryPercent() = 0;

    // Starts the program at path without arguments and returns at once; false when it
    // could not be started.
    virtual bool startProgram(const std::string& path) = 0;

    // A tap or key reached the program: the user-idle state ends, as the handheld's power
    // manager ended it on any input. The front end calls this before handling the input.
    virtual void noteUserActivity() = 0;
};

}  // namespace quorel::platform
