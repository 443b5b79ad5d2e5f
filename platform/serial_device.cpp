#include "platform/serial_device.h"

#include <algorithm>
#include <array>

namespace quorel::platform {
namespace {

constexpr std::array<std::int32_t, 30> kStandardRates = {
    50,     75,     110,     134,     150,     200,     300,     600,     1200,    1800,
    2400,   4800,   9600,    19200,   38400,   57600,   115200,  230400,  460800,  500000,
    576000, 921600, 1000000, 1152000, 1500000, 2000000, 2500000, 3000000, 3500000, 4000000};

}  // namespace

bool isStandardBaudRate(std::int32_t baudRate) {
    if (baudRate <= 0) return false;
    return std::find(kStandardRates.begin(), kStandardRates.end(), baudRate) != kStandardRates.end();
}

bool isValidLineSettings(const SerialLineSettings& s) {
    const std::int32_t bits = s.byteSize & 0xFF;
    return isStandardBaudRate(s.baudRate) && bits >= 5 && bits <= 8 && s.parity >= 0 && s.parity <= 4 &&
           s.stopBits >= 0 && s.stopBits <= 2;
}

const char* linkStateName(LinkState state) {
    switch (state) {
    case LinkState::Closed:
        return "closed";
    case LinkState::Silent:
        return "silent";
    case LinkState::Answering:
        return "answering";
    case LinkState::Away:
        return "away";
    }
    return "closed";
}

}  // namespace quorel::platform
