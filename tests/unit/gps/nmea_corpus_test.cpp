// Every receiver log of the corpus goes through the virtual port, topped up before each
// poll with whole lines to what one read takes (a receiver the polls keep up with, so no
// poll passes anything over), and is polled with pollGps until the port holds nothing
// more (every poll but the last reads 20 lines unless a short line ends it first). The
// table is what a second reading of the same bytes gave (fields split at commas and read
// with strtod, checksums compared as text, the pairing redone poll by poll), which agreed
// with every poll when it was frozen.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "gps/gps_receiver.h"
#include "platform/format.h"
#include "platform/headless/power_recording.h"
#include "platform/headless/virtual_clock.h"
#include "platform/headless/virtual_serial.h"

namespace quorel {
namespace {

struct LogCase {
    const char* file;
    // polls, points recorded | latitude,longitude fixTime fixDate satellites altitude speedKmh,
    // ggaReady rmcReady hasMovingFix as g r m or -, then the last point's lat,lon,ele if any
    const char* state;
};

const LogCase kLogs[] = {
    {"april6_2019.log", "2 0 | 0.000000,0.000000 0 220899 0 0.000 0.2963 -r-"},
    {"bt451.log", "47 3 | 55.780329,23.578434 143308 91209 9 127.100 59.7696 -rm | 55.780329,23.578434,127.100"},
    {"bu353s4.log", "5 0 | -37.784795,175.314902 30743 311214 7 60.200 0.0000 ---"},
    {"ch-4711.log", "18 0 | 55.717213,37.412007 135657 51209 6 165.600 1.4631 --m"},
    {"firefly-II.log", "23 0 | 0.000000,0.000000 0 80710 0 0.000 0.0000 -r-"},
    {"furuno_gl_ga.log", "56 0 | 59.950103,11.010715 120228 310722 0 168.900 0.0000 ---"},
    {"garmin48.log", "42 0 | -45.457633,167.152750 225334 60601 5 12.500 0.0000 g--"},
    {"geos-1m.log", "27 0 | 53.919265,27.499377 73708 90710 5 258.900 0.5170 --m"},
    {"gp-320fw-2019-04-07-coldboot.log", "50 0 | 48.149988,11.584663 345 220899 0 459.900 0.1852 --m"},
    {"GPSmap-76S.log", "68 0 | 38.908478,-77.440872 125128 241011 10 268.800 0.0000 g--"},
    {"haicom-305N.log", "76 60 | -27.210673,153.052000 95415 80407 6 3.500 3.9077 --m | -27.210673,153.052000,3.500"},
    {"hp58534a.log", "4 0 | -33.817228,18.732137 222450 0 7 115.400 0.0000 g--"},
    {"jl-micro-jlt.log", "4 0 | -34.908203,138.596028 12245 120821 12 53.300 0.0000 ---"},
    {"mtk-3301.log", "18 0 | 52.216364,6.885078 81439 230808 3 102.930 0.3797 --m"},
    {"neo-m8n.log", "46 0 | 44.068984,-121.314228 171948 180315 12 1139.400 0.1093 g--"},
    {"nmea-fuzzy-cases.log", "2 0 | 41.575030,-93.750598 133900 180320 19 280.833 0.0111 --m"},
    {"polarx2.log", "15 1 | 38.737318,-9.140634 112301 220312 3 0.000 0.0000 --m | 38.737322,-9.140636,0.000"},
    {"quectel.log", "60 0 | -36.745991,174.734548 22102 71020 8 56.100 0.0000 ---"},
    {"rgm3800.log", "7 0 | 48.261467,11.672788 102524 210808 3 -47.500 0.0000 ---"},
    {"saab-r4.log", "73 0 | 50.213210,-8.114660 130722 10611 0 0.000 0.9260 -r-"},
    {"sirfstarv-nmea.log", "19 0 | 44.068927,-121.314258 21033 50219 10 1124.700 0.0000 ---"},
    {"skytraq-PX1172RH_DS.log", "40 0 | 44.068785,-121.314064 3840 290322 14 1127.630 0.0000 ---"},
    {"sl869.log", "18 6 | -33.680232,151.291187 102149 251112 5 83.120 0.3704 --m | -33.680232,151.291187,83.120"},
    {"telit-pls83-w.log", "34 0 | 43.553169,1.460306 43548 40925 5 250.700 0.0000 -r-"},
    {"triton400.log", "2 0 | 26.636255,-80.189838 30133 10413 6 20.000 0.0000 ---"},
    {"ublox-lea-5q.log", "36 0 | 0.000000,0.000000 0 0 0 0.000 0.0000 ---"},
    {"ublox-zed-f9p-nmea.log", "154 0 | -45.877566,170.500112 4024 120419 12 14.800 0.0741 g--"},
    {"ublox8-uniqid-monhw.log", "20 0 | 46.404615,-117.020729 204224 240324 6 288.800 0.0833 g--"},
    {"unicore-um621.log",
     "120 11 | 44.068804,-121.314120 712 90624 27 1108.600 1.2353 --m | 44.068804,-121.314120,1108.600"},
};

std::string pollWholeLog(const std::string& log) {
    platform::VirtualClock clock;
    platform::VirtualSerialDevice device;
    GpsContext gps(device, clock);
    if (!openSerialPort(gps.port, "COM0:", 4800, 8, 0, 0, 0)) return "the port did not open";
    platform::RecordingPowerBackend backend;
    int polls = 0;
    const SerialPort& port = gps.port;
    std::size_t queued = 0;
    const auto topUp = [&] {
        const std::size_t unread = port.rxCount > 0 ? static_cast<std::size_t>(port.rxCount - port.rxPos) : 0;
        for (std::size_t end; queued < log.size(); queued = end) {
            end = std::min(log.find('\n', queued), log.size() - 1) + 1;
            if (unread + device.pending() + (end - queued) > kSerialReadMax) return;
            device.queue(log.substr(queued, end - queued));
        }
    };
    while (topUp(), polls < 1000 && (device.pending() > 0 || port.rxPos < port.rxCount || port.carryCount > 0)) {
        pollGps(gps, PowerContext{backend, false, {}});
        ++polls;
    }
    const GpsReceiver& r = gps.receiver;
    const int n = r.track.pointCount();
    std::string state = platform::format("%d %d | %.6f,%.6f %d %d %d %.3f %.4f %c%c%c", polls, n, r.latitude,
                                         r.longitude, r.fixTime, r.fixDate, r.satellites, r.altitude, r.speedKmh,
                                         r.ggaReady ? 'g' : '-', r.rmcReady ? 'r' : '-', r.hasMovingFix ? 'm' : '-');
    if (n > 0) {
        const GeoPoint& last = r.track.points[n - 1];
        platform::appendFormat(state, " | %.6f,%.6f,%.3f", last.lat, last.lon, last.ele);
    }
    return state;
}

TEST(NmeaCorpus, PollingEachWholeLogEndsInTheFrozenState) {
    std::size_t logs = 0;  // a log added to the corpus needs its row
    for (const auto& e : std::filesystem::directory_iterator(std::string(QUOREL_CORPUS_DIR) + "/nmea")) {
        logs += e.path().extension() == ".log" ? 1 : 0;
    }
    EXPECT_EQ(logs, std::size(kLogs));
    for (const LogCase& c : kLogs) {
        std::ifstream in(std::string(QUOREL_CORPUS_DIR) + "/nmea/" + c.file, std::ios::binary);
        const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        ASSERT_FALSE(log.empty()) << c.file;
        EXPECT_EQ(pollWholeLog(log), c.state) << c.file;
    }
}

}  // namespace
}  // namespace quorel
