// Every receiver log of the corpus runs through the serial link and pollGps, and the state
// after each poll is compared with a second reading of the same bytes written here by
// other means: fields split at every comma and read with strtol/strtod, the checksum
// compared as text, the degrees and the poll's pairing redone.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gps/gps_receiver.h"
#include "platform/format.h"
#include "platform/power_recording.h"
#include "platform/virtual_serial.h"
#include "tests/fakes/fake_clock.h"

namespace quorel {
namespace {

std::string describe(double lat, double lon, int time, int date, int sats, double alt, double kmh, bool g, bool r,
                     bool m, int points, const GeoPoint& last) {
    return platform::format("%.8f,%.8f %d %d %d %.17g %.17g %d%d%d %d (%.8f,%.8f,%.17g)", lat, lon, time, date, sats,
                            alt, kmh, g, r, m, points, last.lat, last.lon, last.ele);
}

// A number at the start of a field, or the fallback when there is none.
double number(const std::string& field, double fallback, bool whole = false) {
    char* end = nullptr;
    const char* text = field.c_str();
    const double v = whole ? static_cast<double>(std::strtoll(text, &end, 10)) : std::strtod(text, &end);
    return end == text ? fallback : whole ? std::clamp(v, -2147483648.0, 2147483647.0) : v;
}

bool toDegrees(const std::string& value, const std::string& hemisphere, char negative, double limit, double& out) {
    const double raw = number(value, NAN);
    const double whole = std::trunc(raw / 100.0);
    out = whole + (raw - whole * 100.0) / 60.0;
    if (!(raw >= 0.0) || std::isinf(raw) || out > limit) return false;
    if (hemisphere.substr(0, 1) == std::string(1, negative)) out = -out;
    return true;
}

struct Reading {
    std::vector<std::string> afterPoll;  // as describe writes them
    std::array<int, 7> counts{};         // polls, GGA and RMC accepted, recorded, bad checksums, other talkers, damaged
};

Reading readIndependently(const std::string& log) {
    Reading r;
    auto& [polls, ggaCount, rmcCount, recorded, bad, foreign, damaged] = r.counts;
    double lat = 0, lon = 0, alt = 0, knots = 0, kmh = 0, la = 0, lo = 0;
    int fixTime = 0, date = 0, sats = 0;
    bool ggaReady = false, rmcReady = false, moving = false;
    GeoPoint last;
    for (std::size_t pos = 0; pos < log.size(); ++polls) {
        int bestGga = -1, bestRmc = -1;
        double pairAlt = alt;
        for (int k = 0; k < 20 && pos < log.size(); ++k) {
            const std::string line = log.substr(pos, log.find('\n', pos) + 1 - pos);
            pos += line.size();
            if (line.size() <= 40) break;
            if (line.size() >= 512) continue;
            const std::string body = line.substr(0, line.find_last_not_of("\r\n") + 1);
            const std::string name = body.substr(0, body.find_first_of(",*"));
            const std::string type = name.size() == 6 && name[0] == '$' ? name.substr(3) : "";
            if (type != "GGA" && type != "RMC") continue;
            const auto star = body.find('*');
            unsigned sum = 0;
            for (std::size_t i = 1; i < std::min(star, body.size()); ++i) sum ^= static_cast<unsigned char>(body[i]);
            std::string digits = star == std::string::npos ? "" : body.substr(star + 1, 2);
            for (char& c : digits) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (name.substr(1, 2) != "GP" && name.substr(1, 2) != "GN") {
                ++foreign;
            } else if (std::any_of(body.begin(), body.end(), [](char c) { return c < 0x20 || c > 0x7e; })) {
                ++damaged;
            } else if (star != std::string::npos && digits != platform::format("%02X", sum)) {
                ++bad;
            } else {
                std::vector<std::string> f;
                const std::string s = body.substr(0, star);
                for (std::size_t at = 0, comma = 0; comma != std::string::npos; at = comma + 1) {
                    comma = s.find(',', at);
                    f.push_back(s.substr(at, comma - at));
                }
                f.resize(std::max<std::size_t>(f.size(), 3));
                const bool all = f.size() >= 10;
                const int time = static_cast<int>(number(f[1], -1, true));
                if (type == "GGA") {
                    if (f.size() > 7) sats = static_cast<int>(number(f[7], sats, true));
                    if (all) alt = number(f[9], alt);
                    if (!all || number(f[6], 0, true) == 0 || time < 0 || !toDegrees(f[2], f[3], 'S', 90, la) ||
                        !toDegrees(f[4], f[5], 'W', 180, lo) || time < bestGga) {
                        continue;
                    }
                    bestGga = fixTime = time;
                    lat = la;
                    lon = lo;
                    ggaReady = true;
                    pairAlt = alt;
                    ++ggaCount;
                } else {
                    if (f.size() > 7) knots = number(f[7], 0.0);
                    if (all) date = static_cast<int>(number(f[9], date, true));
                    if (!all || f[2].substr(0, 1) != "A" || time < 0 || time < bestRmc) continue;
                    bestRmc = time;
                    kmh = knots * 1.852;
                    rmcReady = true;
                    ++rmcCount;
                }
            }
        }
        if (ggaReady && rmcReady && bestGga >= 0 && bestGga == bestRmc) {
            ggaReady = rmcReady = false;
            if (kmh > 0.1 && moving) {
                last = GeoPoint{lat, lon, pairAlt, 0, 0};
                ++recorded;
            }
            moving = moving || kmh > 0.1;
        } else if (ggaReady && rmcReady) {
            (bestRmc > bestGga ? ggaReady : rmcReady) = false;
        }
        r.afterPoll.push_back(
            describe(lat, lon, fixTime, date, sats, alt, kmh, ggaReady, rmcReady, moving, recorded, last));
    }
    return r;
}

struct LogCase {
    const char* file;
    std::array<int, 7> counts;  // polls, GGA and RMC accepted, recorded, bad checksums, other talkers, damaged
    bool southern;              // where the accepted positions lie
    bool western;
};

// The whole log is queued at once, so every poll but the last reads 20 lines unless a
// short line ends it first.
const LogCase kLogs[] = {
    {"april6_2019.log", {2, 0, 2, 0, 0, 0, 0}, false, false},
    {"bt451.log", {47, 12, 13, 3, 0, 0, 0}, false, false},
    {"bu353s4.log", {5, 25, 25, 0, 0, 0, 0}, true, false},
    {"ch-4711.log", {18, 6, 6, 0, 0, 2, 0}, false, false},
    {"firefly-II.log", {23, 0, 23, 0, 23, 0, 0}, false, false},
    {"furuno_gl_ga.log", {56, 16, 16, 0, 0, 0, 0}, false, false},
    {"garmin48.log", {42, 7, 7, 0, 0, 0, 0}, true, false},
    {"geos-1m.log", {27, 7, 7, 0, 0, 0, 0}, false, false},
    {"gp-320fw-2019-04-07-coldboot.log", {50, 2, 1, 0, 8, 0, 1}, false, false},
    {"GPSmap-76S.log", {68, 12, 0, 0, 0, 0, 0}, false, true},
    {"haicom-305N.log", {76, 68, 68, 60, 0, 0, 0}, true, false},
    {"hp58534a.log", {4, 2, 0, 0, 0, 0, 0}, true, false},
    {"jl-micro-jlt.log", {4, 8, 8, 0, 0, 0, 0}, true, false},
    {"mtk-3301.log", {18, 4, 4, 0, 0, 0, 0}, false, false},
    {"neo-m8n.log", {46, 23, 23, 0, 0, 0, 0}, false, true},
    {"nmea-fuzzy-cases.log", {2, 14, 14, 0, 0, 0, 0}, false, true},
    {"polarx2.log", {15, 5, 5, 1, 0, 0, 0}, false, true},
    {"quectel.log", {60, 34, 34, 0, 0, 0, 0}, true, false},
    {"rgm3800.log", {7, 2, 2, 0, 0, 0, 0}, false, false},
    {"saab-r4.log", {73, 12, 12, 0, 0, 0, 0}, false, true},
    {"sirfstarv-nmea.log", {19, 59, 59, 0, 0, 59, 0}, false, true},
    {"skytraq-PX1172RH_DS.log", {40, 9, 9, 0, 0, 0, 0}, false, true},
    {"sl869.log", {18, 8, 8, 6, 0, 0, 0}, true, false},
    {"telit-pls83-w.log", {34, 10, 10, 0, 0, 20, 0}, false, false},
    {"triton400.log", {2, 4, 4, 0, 1, 0, 0}, false, true},
    {"ublox-lea-5q.log", {36, 0, 0, 0, 0, 0, 0}, false, false},
    {"ublox-zed-f9p-nmea.log", {154, 29, 29, 0, 0, 0, 0}, true, false},
    {"ublox8-uniqid-monhw.log", {19, 4, 1, 0, 0, 0, 0}, false, true},
    {"unicore-um621.log", {120, 16, 16, 11, 0, 0, 0}, false, true},
};

class CorpusLog : public ::testing::TestWithParam<LogCase> {};

TEST_P(CorpusLog, PollsAgreeWithAnIndependentReading) {
    const LogCase& c = GetParam();
    std::ifstream in(std::string(QUOREL_CORPUS_DIR) + "/nmea/" + c.file, std::ios::binary);
    const std::string log{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    ASSERT_TRUE(!log.empty() && log.back() == '\n') << c.file;
    const Reading expected = readIndependently(log);
    EXPECT_EQ(expected.counts, c.counts);

    fakes::FakeClock clock;
    platform::VirtualSerialDevice device;
    GpsContext gps(device, clock);
    ASSERT_TRUE(openSerialPort(gps.port, "COM0:", 4800, 8, 0, 0, 0));
    device.queue(log);
    platform::RecordingPowerBackend backend;
    const GpsReceiver& rx = gps.receiver;
    for (std::size_t i = 0; i < expected.afterPoll.size(); ++i) {
        pollGps(gps, PowerContext{backend, false, {}});
        const int n = rx.track.pointCount();
        ASSERT_EQ(describe(rx.latitude, rx.longitude, rx.fixTime, rx.fixDate, rx.satellites, rx.altitude, rx.speedKmh,
                           rx.ggaReady, rx.rmcReady, rx.hasMovingFix, n, n > 0 ? rx.track.points[n - 1] : GeoPoint{}),
                  expected.afterPoll[i])
            << "poll " << i;
    }
    EXPECT_EQ(device.pending(), 0u);
    if (expected.counts[1] > 0) {
        EXPECT_EQ(rx.latitude < 0, c.southern);
        EXPECT_EQ(rx.longitude < 0, c.western);
    }
}

INSTANTIATE_TEST_SUITE_P(Nmea, CorpusLog, ::testing::ValuesIn(kLogs), [](const auto& param) {
    std::string name = param.param.file;
    for (char& ch : name) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
});

}  // namespace
}  // namespace quorel
