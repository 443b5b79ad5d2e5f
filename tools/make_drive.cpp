// quorel-make-drive: the scenario script of a long drive in virtual time, for the day run
// (tools/day-run) and other long headless runs.
//
//   quorel-make-drive HOURS DUMP_PREFIX [--stops] > drive.scn
//
// The script waits for the loading ticks, switches following on (the star) and the
// display off (the bulb, which also arms the idle switch-off), then feeds one GGA and one
// RMC sentence of a moving receiver every second of HOURS hours (1 to 24), starting on
// 18 July 2008 at 00:00:00 UTC, and lets the timer run between them. Every ten minutes a
// tap in the wake region (x < 30, DisplayOnMode 1) lights the display, which goes off
// again after DisplayOffTime. It writes dumps DUMP_PREFIX-start.dump after loading,
// DUMP_PREFIX-1h.dump after the first hour and DUMP_PREFIX-end.dump at the end.
//
// The receiver drives round a circle of 5 km radius about the home position at 36 km/h,
// so that every fix is a moving one: HOURS * 3600 fixes make HOURS * 3600 - 1 recorded
// points (the first moving fix only arms the recording). Taps are for a 480 x 272 screen.
// With --stops the car halts in every 20 minutes for 40 s (a red light) and for 150 s (a
// stop), reporting speed 0 in the same place, so that those fixes are not recorded.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/format.h"

namespace {

constexpr double kHomeLat = 36.62159;
constexpr double kHomeLon = 139.7715;
constexpr double kRadiusM = 5000.0;
constexpr double kSpeedMs = 10.0;
constexpr double kMetresPerDegree = 111'319.49;
constexpr double kPi = 3.14159265358979;
constexpr int kWakeEverySeconds = 600;

// ddmm.mmmm (or dddmm.mmmm) of a positive angle.
double nmeaAngle(double degrees) {
    const double whole = std::floor(degrees);
    return whole * 100.0 + (degrees - whole) * 60.0;
}

void printSentence(const std::string& body) {
    unsigned checksum = 0;
    for (const char c : body) checksum ^= static_cast<unsigned char>(c);
    std::printf("nmea $%s*%02X\n", body.c_str(), checksum);
}

// Whether the car stands at this second of a drive with stops.
bool standing(int second) {
    const int t = second % 1200;
    return (t >= 600 && t < 640) || (t >= 1000 && t < 1150);
}

void printFix(int second, double drivenM, bool moving) {
    const double angle = drivenM / kRadiusM;  // radians round the circle
    const double lat = kHomeLat + kRadiusM * std::sin(angle) / kMetresPerDegree;
    const double lon = kHomeLon + kRadiusM * std::cos(angle) / (kMetresPerDegree * std::cos(kHomeLat * kPi / 180.0));
    const double course = std::fmod(360.0 - angle * 180.0 / kPi, 360.0);  // counter-clockwise
    const int time = second / 3600 * 10000 + second / 60 % 60 * 100 + second % 60;
    const double knots = moving ? kSpeedMs * 3.6 / 1.852 : 0.0;
    using quorel::platform::format;
    printSentence(format("GPGGA,%06d,%09.4f,N,%010.4f,E,1,08,0.9,%.1f,M,39.0,M,,", time, nmeaAngle(lat), nmeaAngle(lon),
                         50.0 + 10.0 * std::sin(angle)));
    printSentence(format("GPRMC,%06d,A,%09.4f,N,%010.4f,E,%.2f,%.1f,180708,,,A", time, nmeaAngle(lat), nmeaAngle(lon),
                         knots, course));
}

}  // namespace

int main(int argc, char** argv) {
    const bool stops = argc == 4 && std::string(argv[3]) == "--stops";
    const int hours = argc == 3 || stops ? std::atoi(argv[1]) : 0;
    if (hours < 1 || hours > 24) {
        std::fprintf(stderr, "usage: quorel-make-drive HOURS(1-24) DUMP_PREFIX [--stops] > drive.scn\n");
        return 2;
    }
    const std::string dumps = argv[2];
    std::printf("tick 6\ntap 20 40\ntap 457 42\ndump %s-start.dump\n", dumps.c_str());
    double drivenM = 0.0;
    for (int second = 0; second < hours * 3600; ++second) {
        if (second > 0 && second % kWakeEverySeconds == 0) std::printf("tap 10 100\n");
        const bool moving = !stops || !standing(second);
        if (moving && second > 0) drivenM += kSpeedMs;
        printFix(second, drivenM, moving);
        std::printf("wait 1000\n");
        if (second == 3599) std::printf("dump %s-1h.dump\n", dumps.c_str());
    }
    std::printf("dump %s-end.dump\n", dumps.c_str());
    return std::ferror(stdout) != 0 || std::fflush(stdout) != 0 ? 1 : 0;
}
