#include "platform/headless/power_recording.h"

#include "platform/format.h"

namespace quorel::platform {

std::string describePowerRequest(std::uint32_t stateFlags, std::uint32_t options) {
    struct Name {
        std::uint32_t flag;
        const char* text;
    };
    static constexpr Name kNames[] = {
        {kPowerStateOn, "ON"}, {kPowerStateIdle, "IDLE"}, {kPowerStateUserIdle, "USERIDLE"}};
    std::string out;
    std::uint32_t rest = stateFlags;
    for (const Name& n : kNames) {
        if ((stateFlags & n.flag) == 0) continue;
        if (!out.empty()) out += '+';
        out += n.text;
        rest &= ~n.flag;
    }
    if (rest != 0 || out.empty()) {
        if (!out.empty()) out += '+';
        appendFormat(out, "0x%08X", static_cast<unsigned>(rest));
    }
    if ((options & kPowerForce) != 0) out += "+FORCE";
    if ((options & ~kPowerForce) != 0) appendFormat(out, "+0x%08X", static_cast<unsigned>(options & ~kPowerForce));
    return out;
}

bool RecordingPowerBackend::setPowerState(std::uint32_t stateFlags, std::uint32_t options) {
    requests_.push_back(describePowerRequest(stateFlags, options));
    state_ = stateFlags;
    return true;
}

std::optional<std::uint32_t> RecordingPowerBackend::powerStateFlags() {
    if (stateQueryFails) return std::nullopt;
    return state_;
}

bool RecordingPowerBackend::startProgram(const std::string& path) {
    requests_.push_back("launch " + path);
    return !launchFails;
}

void RecordingPowerBackend::noteUserActivity() {
    if ((state_ & kPowerStateUserIdle) != 0) state_ = kPowerStateOn;
}

std::string RecordingPowerBackend::joinedRequests() const {
    std::string out;
    for (const std::string& r : requests_) {
        if (!out.empty()) out += ',';
        out += r;
    }
    return out;
}

bool RecordingPowerBackend::blanked() const { return (state_ & (kPowerStateIdle | kPowerStateUserIdle)) != 0; }

}  // namespace quorel::platform
