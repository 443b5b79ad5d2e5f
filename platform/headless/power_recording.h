#pragma once
// A power manager that only keeps its state and remembers what was asked of it: used by
// the tests and by headless runs, whose state dump shows the requests as power.requests.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/power_backend.h"

namespace quorel::platform {

class RecordingPowerBackend final : public PowerBackend {
public:
    bool setPowerState(std::uint32_t stateFlags, std::uint32_t options) override;
    std::optional<std::uint32_t> powerStateFlags() override;
    int batteryPercent() override { return battery; }
    bool startProgram(const std::string& path) override;
    void noteUserActivity() override;

    // Each request as a short text: "IDLE+FORCE", "USERIDLE+FORCE", "ON", "launch <path>".
    const std::vector<std::string>& requests() const { return requests_; }
    // The requests joined with commas, as the state dump writes them; empty when none.
    std::string joinedRequests() const;

    // True while the display is dark by the state: idle or user-idle.
    bool blanked() const;

    int battery = kBatteryUnknown;  // what batteryPercent reports
    bool stateQueryFails = false;   // makes powerStateFlags fail
    bool launchFails = false;       // makes startProgram fail (still recorded)

private:
    std::uint32_t state_ = kPowerStateOn;
    std::vector<std::string> requests_;
};

// "IDLE+FORCE" and the like; flags without a name are written in hexadecimal.
std::string describePowerRequest(std::uint32_t stateFlags, std::uint32_t options);

}  // namespace quorel::platform
