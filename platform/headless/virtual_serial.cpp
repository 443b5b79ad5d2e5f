#include "platform/headless/virtual_serial.h"

#include <algorithm>
#include <limits>

namespace quorel::platform {

void VirtualSerialDevice::queue(std::string_view bytes) {
    for (const char c : bytes) rx_.push_back(static_cast<std::uint8_t>(c));
}

SerialStatus VirtualSerialDevice::open(std::string_view, const SerialLineSettings& settings) {
    if (open_) return SerialStatus::AlreadyOpen;
    // Refuses what a real port would, so a headless run shows the same settings errors.
    if (!isValidLineSettings(settings)) return SerialStatus::LineRejected;
    open_ = true;
    answered_ = false;
    return SerialStatus::Open;
}

int VirtualSerialDevice::queuedBytes() {
    if (!open_) return -1;
    return static_cast<int>(std::min<std::size_t>(rx_.size(), std::numeric_limits<int>::max()));
}

int VirtualSerialDevice::read(std::uint8_t* dst, int maxBytes) {
    if (!open_) return -1;
    if (maxBytes <= 0) return 0;
    const std::size_t n = std::min(rx_.size(), static_cast<std::size_t>(maxBytes));
    std::copy_n(rx_.begin(), n, dst);
    rx_.erase(rx_.begin(), rx_.begin() + static_cast<std::ptrdiff_t>(n));
    answered_ = answered_ || n > 0;
    return static_cast<int>(n);
}

void VirtualSerialDevice::purge() {
    if (open_) rx_.clear();
}

void VirtualSerialDevice::close() { open_ = false; }

LinkState VirtualSerialDevice::linkState() const {
    if (!open_) return LinkState::Closed;
    return answered_ ? LinkState::Answering : LinkState::Silent;
}

}  // namespace quorel::platform
