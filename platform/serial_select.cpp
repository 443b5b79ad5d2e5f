#include "platform/serial_select.h"

#include "platform/serial_termios.h"

namespace quorel::platform {
namespace {

// Passes every call to a port owned elsewhere.
class BorrowedSerialDevice final : public SerialDevice {
public:
    explicit BorrowedSerialDevice(SerialDevice& target) : target_(target) {}
    SerialStatus open(std::string_view name, const SerialLineSettings& s) override { return target_.open(name, s); }
    int queuedBytes() override { return target_.queuedBytes(); }
    int read(std::uint8_t* dst, int maxBytes) override { return target_.read(dst, maxBytes); }
    void purge() override { target_.purge(); }
    void close() override { target_.close(); }

private:
    SerialDevice& target_;
};

}  // namespace

SerialChoice chooseSerial(const std::optional<std::string>& gpsOption, bool headless) {
    if (gpsOption) {
        if (*gpsOption == "none") return {SerialChoice::Kind::None, {}};
        return {SerialChoice::Kind::Fixed, *gpsOption};
    }
    return {headless ? SerialChoice::Kind::Virtual : SerialChoice::Kind::LinuxTable, {}};
}

std::unique_ptr<SerialDevice> makeSerialDevice(const SerialChoice& choice, VirtualSerialDevice& virtualPort) {
    switch (choice.kind) {
        case SerialChoice::Kind::Virtual: return std::make_unique<BorrowedSerialDevice>(virtualPort);
        case SerialChoice::Kind::Fixed:
            return std::make_unique<TermiosSerialDevice>(ComPortNames::fixed(choice.path));
        case SerialChoice::Kind::None: return std::make_unique<TermiosSerialDevice>(ComPortNames::none());
        case SerialChoice::Kind::LinuxTable: break;
    }
    return std::make_unique<TermiosSerialDevice>(ComPortNames::linuxTable());
}

}  // namespace quorel::platform
