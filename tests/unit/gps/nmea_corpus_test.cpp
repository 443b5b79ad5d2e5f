// Every receiver log of the corpus is queued at once on the virtual port and polled with
// pollGps until the port holds nothing more; every poll but the last reads 20 lines unless
// a short line ends it first. The table holds, per log, how many polls that took, how many
// points were recorded, the receiver's state after the last poll and the last recorded
// point. It was made by reading the same bytes a second way (fields split at commas and
// read with strtod, checksums compared as text, the pairing redone per poll) and keeps
// that reading's results.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <string>

#include "gps/gps_receiver.h"
#include "platform/format.h"
#include "platform/power_recording.h"
#include "platform/virtual_serial.h"
#include "tests/fakes/fake_clock.h"

namespace quorel {
namespace {

struct LogCase {
    const char* file;
    const char* state;
};

const LogCase kLogs[] = {
    {"april6_2019.log", "2 polls 0 points | 0.000000,0.000000 0 220899 0 sats 0.000 m 0.2963 km/h -r-"},
    {"bt451.log",
     "47 polls 3 points | 55.780329,23.578434 143308 91209 9 sats 127.100 m 59.7696 km/h -rm | 55.780329,23.578434,127.100"},
    {"bu353s4.log", "5 polls 0 points | -37.784795,175.314902 30743 311214 7 sats 60.200 m 0.0000 km/h ---"},
    {"ch-4711.log", "18 polls 0 points | 55.717213,37.412007 135657 51209 6 sats 165.600 m 1.4631 km/h --m"},
    {"firefly-II.log", "23 polls 0 points | 0.000000,0.000000 0 80710 0 sats 0.000 m 0.0000 km/h -r-"},
    {"furuno_gl_ga.log", "56 polls 0 points | 59.950103,11.010715 120228 310722 0 sats 168.900 m 0.0000 km/h ---"},
    {"garmin48.log", "42 polls 0 points | -45.457633,167.152750 225334 60601 5 sats 12.500 m 0.0000 km/h g--"},
    {"geos-1m.log", "27 polls 0 points | 53.919265,27.499377 73708 90710 5 sats 258.900 m 0.5170 km/h --m"},
    {"gp-320fw-2019-04-07-coldboot.log",
     "50 polls 0 points | 48.149988,11.584663 345 220899 0 sats 459.900 m 0.1852 km/h --m"},
    {"GPSmap-76S.log", "68 polls 0 points | 38.908478,-77.440872 125128 241011 10 sats 268.800 m 0.0000 km/h g--"},
    {"haicom-305N.log",
     "76 polls 60 points | -27.210673,153.052000 95415 80407 6 sats 3.500 m 3.9077 km/h --m | -27.210673,153.052000,3.500"},
    {"hp58534a.log", "4 polls 0 points | -33.817228,18.732137 222450 0 7 sats 115.400 m 0.0000 km/h g--"},
    {"jl-micro-jlt.log", "4 polls 0 points | -34.908203,138.596028 12245 120821 12 sats 53.300 m 0.0000 km/h ---"},
    {"mtk-3301.log", "18 polls 0 points | 52.216364,6.885078 81439 230808 3 sats 102.930 m 0.3797 km/h --m"},
    {"neo-m8n.log", "46 polls 0 points | 44.068984,-121.314228 171948 180315 12 sats 1139.400 m 0.1093 km/h g--"},
    {"nmea-fuzzy-cases.log", "2 polls 0 points | 41.575030,-93.750598 133900 180320 19 sats 280.833 m 0.0111 km/h --m"},
    {"polarx2.log",
     "15 polls 1 points | 38.737318,-9.140634 112301 220312 3 sats 0.000 m 0.0000 km/h --m | 38.737322,-9.140636,0.000"},
    {"quectel.log", "60 polls 0 points | -36.745991,174.734548 22102 71020 8 sats 56.100 m 0.0000 km/h ---"},
    {"rgm3800.log", "7 polls 0 points | 48.261467,11.672788 102524 210808 3 sats -47.500 m 0.0000 km/h ---"},
    {"saab-r4.log", "73 polls 0 points | 50.213210,-8.114660 130722 10611 0 sats 0.000 m 0.9260 km/h -r-"},
    {"sirfstarv-nmea.log", "19 polls 0 points | 44.068927,-121.314258 21033 50219 10 sats 1124.700 m 0.0000 km/h ---"},
    {"skytraq-PX1172RH_DS.log",
     "40 polls 0 points | 44.068785,-121.314064 3840 290322 14 sats 1127.630 m 0.0000 km/h ---"},
    {"sl869.log",
     "18 polls 6 points | -33.680232,151.291187 102149 251112 5 sats 83.120 m 0.3704 km/h --m | -33.680232,151.291187,83.120"},
    {"telit-pls83-w.log", "34 polls 0 points | 43.553169,1.460306 43548 40925 5 sats 250.700 m 0.0000 km/h -r-"},
    {"triton400.log", "2 polls 0 points | 26.636255,-80.189838 30133 10413 6 sats 20.000 m 0.0000 km/h ---"},
    {"ublox-lea-5q.log", "36 polls 0 points | 0.000000,0.000000 0 0 0 sats 0.000 m 0.0000 km/h ---"},
    {"ublox-zed-f9p-nmea.log",
     "154 polls 0 points | -45.877566,170.500112 4024 120419 12 sats 14.800 m 0.0741 km/h g--"},
    {"ublox8-uniqid-monhw.log",
     "19 polls 0 points | 46.404615,-117.020729 204224 240324 6 sats 288.800 m 0.0833 km/h g--"},
    {"unicore-um621.log",
     "120 polls 11 points | 44.068804,-121.314120 712 90624 27 sats 1108.600 m 1.2353 km/h --m | 44.068804,-121.314120,1108.600"},
};

std::string pollWholeLog(const std::string& log) {
    fakes::FakeClock clock;
    platform::VirtualSerialDevice device;
    GpsContext gps(device, clock);
    if (!openSerialPort(gps.port, "COM0:", 4800, 8, 0, 0, 0)) return "the port did not open";
    device.queue(log);
    platform::RecordingPowerBackend backend;
    int polls = 0;
    const SerialPort& port = gps.port;
    while (polls < 1000 && (device.pending() > 0 || port.rxPos < port.rxCount || port.carryCount > 0)) {
        pollGps(gps, PowerContext{backend, false, {}});
        ++polls;
    }
    const GpsReceiver& r = gps.receiver;
    const int n = r.track.pointCount();
    std::string state = platform::format(
        "%d polls %d points | %.6f,%.6f %d %d %d sats %.3f m %.4f km/h %c%c%c", polls, n, r.latitude, r.longitude,
        r.fixTime, r.fixDate, r.satellites, r.altitude, r.speedKmh, r.ggaReady ? 'g' : '-', r.rmcReady ? 'r' : '-',
        r.hasMovingFix ? 'm' : '-');
    if (n > 0) platform::appendFormat(state, " | %.6f,%.6f,%.3f", r.track.points[n - 1].lat, r.track.points[n - 1].lon,
                                      r.track.points[n - 1].ele);
    return state;
}

class CorpusLog : public ::testing::TestWithParam<LogCase> {};

TEST_P(CorpusLog, PollingTheWholeLogEndsInTheFrozenState) {
    const LogCase& c = GetParam();
    std::ifstream in(std::string(QUOREL_CORPUS_DIR) + "/nmea/" + c.file, std::ios::binary);
    const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_FALSE(log.empty()) << c.file;
    EXPECT_EQ(pollWholeLog(log), c.state);
}

INSTANTIATE_TEST_SUITE_P(Nmea, CorpusLog, ::testing::ValuesIn(kLogs), [](const auto& param) {
    std::string name = param.param.file;
    for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

}  // namespace
}  // namespace quorel
