#include "platform/power_linux.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>

#include "platform/scan.h"
#include "platform/text_file.h"
#include "platform/upower_battery.h"

extern char** environ;

namespace quorel::platform {
namespace {

// bl_power takes the frame-buffer blanking levels: 0 unblank, 4 power down.
constexpr const char* kBacklightOn = "0\n";
constexpr const char* kBacklightOff = "4\n";

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::optional<std::string> readAttribute(const std::filesystem::path& file) {
    const auto text = readTextFile(file);
    if (!text) return std::nullopt;
    return trimmed(*text);
}

bool writeAttribute(const std::filesystem::path& file, const char* value) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    const std::size_t length = std::strlen(value);
    const ssize_t written = ::write(fd, value, length);
    const bool closed = ::close(fd) == 0;
    return written == static_cast<ssize_t>(length) && closed;
}

std::vector<std::filesystem::path> sortedEntries(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> entries;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(it->path());
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

}  // namespace

LinuxPowerBackend::LinuxPowerBackend(std::filesystem::path backlightRoot, std::filesystem::path powerSupplyRoot,
                                     const std::string& upowerBus, std::chrono::milliseconds upowerRefresh)
    : backlightRoot_(std::move(backlightRoot)), powerSupplyRoot_(std::move(powerSupplyRoot)) {
    if (!upowerBus.empty()) upower_ = std::make_unique<UPowerBattery>(upowerBus, upowerRefresh);
}

LinuxPowerBackend::~LinuxPowerBackend() {
    if (backlightDark_) writeBacklights(kBacklightOn);
    reapChildren();
}

bool LinuxPowerBackend::writeBacklights(const char* value) {
    bool any = false;
    for (const auto& device : sortedEntries(backlightRoot_)) {
        if (writeAttribute(device / "bl_power", value)) any = true;
    }
    return any;
}

bool LinuxPowerBackend::setPowerState(std::uint32_t stateFlags, std::uint32_t) {
    reapChildren();
    const bool dark = (stateFlags & (kPowerStateIdle | kPowerStateUserIdle)) != 0;
    const bool on = (stateFlags & kPowerStateOn) != 0;
    if (dark == on) return false;  // neither, or both at once: no such state
    backlightReached_ = writeBacklights(dark ? kBacklightOff : kBacklightOn);
    backlightDark_ = dark && backlightReached_;
    state_ = stateFlags;
    return true;
}

std::optional<std::uint32_t> LinuxPowerBackend::powerStateFlags() {
    reapChildren();
    return state_;
}

int LinuxPowerBackend::batteryPercent() {
    reapChildren();
    if (upower_) {
        if (const auto percent = upower_->percent()) return *percent;
    }
    for (const auto& supply : sortedEntries(powerSupplyRoot_)) {
        if (readAttribute(supply / "type") != "Battery") continue;
        if (readAttribute(supply / "scope") == "Device") continue;
        if (readAttribute(supply / "present") == "0") continue;
        const auto capacity = readAttribute(supply / "capacity");
        if (!capacity) continue;
        std::int32_t percent = 0;
        if (!scanInt(*capacity, percent).ok) continue;
        return std::clamp(percent, 0, 100);
    }
    return kBatteryUnknown;
}

bool LinuxPowerBackend::startProgram(const std::string& path) {
    reapChildren();
    char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return false;
    children_.push_back(pid);
    return true;
}

void LinuxPowerBackend::noteUserActivity() {
    if ((state_ & kPowerStateUserIdle) == 0) return;
    setPowerState(kPowerStateOn, 0);
}

bool LinuxPowerBackend::blanked() const { return (state_ & (kPowerStateIdle | kPowerStateUserIdle)) != 0; }

int LinuxPowerBackend::reapChildren() {
    std::erase_if(children_, [](pid_t pid) {
        int status = 0;
        pid_t r = 0;
        do {
            r = ::waitpid(pid, &status, WNOHANG);
        } while (r < 0 && errno == EINTR);
        return r != 0;  // ended and collected, or no longer ours to wait for
    });
    return static_cast<int>(children_.size());
}

}  // namespace quorel::platform
