#pragma once
// The serial port of headless runs: every "COMn:" opens it, so the port search takes
// COM0:, and the scenario runner puts the receiver's bytes into its receive queue.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>

#include "platform/serial_device.h"

namespace quorel::platform {

class VirtualSerialDevice final : public SerialDevice {
public:
    // Appends bytes to the receive queue, open or not; what is queued before the port is
    // opened is dropped by the open's purge, as a real driver's would be.
    void queue(std::string_view bytes);

    std::size_t pending() const { return rx_.size(); }
    bool isOpen() const { return open_; }

    SerialStatus open(std::string_view portName, const SerialLineSettings& settings) override;
    int queuedBytes() override;
    int read(std::uint8_t* dst, int maxBytes) override;
    void purge() override;
    void close() override;
    LinkState linkState() const override;

private:
    std::deque<std::uint8_t> rx_;
    bool open_ = false;
    bool answered_ = false;
};

}  // namespace quorel::platform
