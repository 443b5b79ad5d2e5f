#include "platform/serial_select.h"

#include "platform/gpsd_device.h"
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
    LinkState linkState() const override { return target_.linkState(); }

private:
    SerialDevice& target_;
};

}  // namespace

SerialChoice chooseSerial(const std::optional<std::string>& gpsOption, bool headless) {
    if (gpsOption) {
        if (*gpsOption == "none") return {SerialChoice::Kind::None, {}};
        if (parseGpsdAddress(*gpsOption)) return {SerialChoice::Kind::Gpsd, *gpsOption};
        return {SerialChoice::Kind::Fixed, *gpsOption};
    }
    return {headless ? SerialChoice::Kind::Virtual : SerialChoice::Kind::LinuxTable, {}};
}

std::unique_ptr<SerialDevice> makeSerialDevice(const SerialChoice& choice, VirtualSerialDevice& virtualPort,
                                               Clock& clock) {
    switch (choice.kind) {
    case SerialChoice::Kind::Virtual:
        return std::make_unique<BorrowedSerialDevice>(virtualPort);
    case SerialChoice::Kind::Fixed:
        return std::make_unique<TermiosSerialDevice>(ComPortNames::fixed(choice.path), clock);
    case SerialChoice::Kind::Gpsd:
        if (auto address = parseGpsdAddress(choice.path)) {
            return std::make_unique<GpsdSerialDevice>(std::move(*address), clock);
        }
        break;
    case SerialChoice::Kind::None:
        break;
    case SerialChoice::Kind::LinuxTable:
        return std::make_unique<TermiosSerialDevice>(ComPortNames::linuxTable(), clock);
    }
    return std::make_unique<TermiosSerialDevice>(ComPortNames::none(), clock);
}

}  // namespace quorel::platform
