// Both sentence parsers on arbitrary bytes, then the same bytes as a receiver's stream
// through the fix processing.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "gps/gps_receiver.h"
#include "gps/nmea.h"
#include "platform/headless/power_recording.h"
#include "platform/headless/virtual_clock.h"
#include "platform/headless/virtual_serial.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorel;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    std::int32_t time = -7, date = -7, sats = -7;
    double lat = -7.5, lon = -7.5, speed = -7.5, course = -7.5, alt = -7.5;
    char latH = '?', lonH = '?';
    const bool gga = parseGga(text, GgaFields{time, lat, latH, lon, lonH, sats, alt});
    const bool rmc = parseRmc(text, RmcFields{time, lat, latH, lon, lonH, speed, course, date});
    check(!(gga && rmc));
    if (checkNmeaChecksum(text) == NmeaChecksum::Invalid) {
        check(!gga && !rmc && time == -7 && date == -7 && sats == -7 && lat == -7.5 && lon == -7.5 && speed == -7.5 &&
              course == -7.5 && alt == -7.5 && latH == '?' && lonH == '?');
    }
    (void)nmeaToDegrees(lat);
    (void)nmeaToDegrees(lon);

    platform::VirtualClock clock;
    platform::VirtualSerialDevice device;
    GpsContext gps(device, clock);
    if (!openSerialPort(gps.port, "COM0:", 4800, 8, 0, 0, 0)) return 0;
    device.queue(text);
    platform::RecordingPowerBackend backend;
    const PowerContext power{backend, false, {}};
    for (int poll = 0; poll < 64 && (device.pending() > 0 || gps.port.rxCount > 0 || gps.port.carryCount > 0); ++poll) {
        pollGps(gps, power);
        const GpsReceiver& r = gps.receiver;
        check(std::fabs(r.latitude) <= 90.0 && std::fabs(r.longitude) <= 180.0);
        check(r.fixTime >= 0);
    }
    for (const GeoPoint& p : gps.receiver.track.points.items()) {
        check(std::fabs(p.lat) <= 90.0 && std::fabs(p.lon) <= 180.0);
    }
    return 0;
}
