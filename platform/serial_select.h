#pragma once
// How the front end decides where "COMn:" names lead, from its --gps option:
//
//   window, no --gps     the Linux table (/dev/ttyUSBn, then /dev/ttyACMn)
//   --gps PATH           that one device for every "COMn:" (a pty, a /dev/serial/by-id link)
//   --gps none           nothing: every open fails, the program runs without a receiver
//   --gps gpsd[://HOST[:PORT]]  gpsd for every "COMn:" (gpsd_device.h)
//   headless, no --gps   the virtual port, which the scenario script fills
#include <memory>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/headless/virtual_serial.h"
#include "platform/serial_device.h"

namespace quorel::platform {

struct SerialChoice {
    enum class Kind { LinuxTable, Fixed, None, Virtual, Gpsd };
    Kind kind = Kind::LinuxTable;
    std::string path;  // the device of Fixed, the gpsd option of Gpsd
};

SerialChoice chooseSerial(const std::optional<std::string>& gpsOption, bool headless);

// The device for a choice. For Virtual, virtualPort is the port the scenario runner
// keeps filling and is returned wrapped (not owned); it must outlive the result. The
// clock paces the retries of a port that went away.
std::unique_ptr<SerialDevice> makeSerialDevice(const SerialChoice& choice, VirtualSerialDevice& virtualPort,
                                               Clock& clock);

}  // namespace quorel::platform
