#include "power/display_power.h"

#include "platform/files.h"

namespace quorel {
namespace {

using platform::kPowerForce;
using platform::kPowerStateIdle;
using platform::kPowerStateOn;
using platform::kPowerStateUserIdle;

enum class Action { Request, RequestByOsVersion, LaunchScreenOff };

struct Method {
    int number;
    Action action;
    std::uint32_t state;
    std::uint32_t options;
};

constexpr Method kMethods[] = {
    {1, Action::RequestByOsVersion, 0, kPowerForce},         {7, Action::Request, kPowerStateOn, 0},
    {11, Action::Request, kPowerStateUserIdle, kPowerForce}, {12, Action::LaunchScreenOff, 0, 0},
    {13, Action::Request, kPowerStateIdle, kPowerForce},     {14, Action::Request, kPowerStateUserIdle, kPowerForce},
};

}  // namespace

void setDisplayPower(const PowerContext& power, int method) {
    for (const Method& m : kMethods) {
        if (m.number != method) continue;
        switch (m.action) {
        case Action::Request:
            power.backend.setPowerState(m.state, m.options);  // a refusal leaves the display as it was
            break;
        case Action::RequestByOsVersion:
            power.backend.setPowerState(power.osVersion6OrLater ? kPowerStateUserIdle : kPowerStateIdle, m.options);
            break;
        case Action::LaunchScreenOff: {
            const std::filesystem::path program = power.programDir / kScreenOffProgram;
            if (platform::fileExists(program)) launchProgram(power, program.string());
            break;
        }
        }
        return;
    }
}

bool isDisplayOff(const PowerContext& power) {
    const auto flags = power.backend.powerStateFlags();
    return flags && (*flags & kPowerStateIdle) != 0;
}

void launchProgram(const PowerContext& power, const std::string& path) { power.backend.startProgram(path); }

std::int32_t readBatteryStatus(const PowerContext& power) {
    const int percent = power.backend.batteryPercent();
    if (percent < 0 || (percent > 100 && percent != platform::kBatteryUnknown)) return platform::kBatteryUnknown;
    return percent;
}

}  // namespace quorel
