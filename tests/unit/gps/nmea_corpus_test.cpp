// Every receiver log of the corpus runs through the serial link and pollGps, and each
// poll's outcome is compared with a second, deliberately simple reading of the same
// bytes written here: lines cut at line feeds, fields split eagerly at commas and read
// with strtol/strtod, the checksum summed over a std::string, the poll's pairing redone.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gps/gps_receiver.h"
#include "gps/nmea.h"
#include "platform/power_recording.h"
#include "platform/virtual_serial.h"
#include "tests/fakes/fake_clock.h"

namespace quorel {
namespace {

std::string readLog(const std::string& name) {
    std::ifstream in(std::string(QUOREL_CORPUS_DIR) + "/nmea/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// ---- the second reading ----------------------------------------------------------

enum class Kind { Other, Gga, Rmc, ForeignTalker, BadChecksum, Damaged };

struct Sentence {
    Kind kind = Kind::Other;
    std::vector<std::string> fields;
};

Sentence classify(const std::string& line) {
    std::string s = line;
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.pop_back();
    Sentence out;
    if (s.size() < 6 || s[0] != '$') return out;
    const std::string type = s.substr(3, 3);
    const std::string talker = s.substr(1, 2);
    const bool named = s.size() > 6 ? s[6] == ',' || s[6] == '*' : true;
    if (!named || (type != "GGA" && type != "RMC")) return out;
    if (talker != "GP" && talker != "GN") {
        out.kind = Kind::ForeignTalker;
        return out;
    }
    for (const char c : s) {
        if (c < 0x20 || c > 0x7e) {
            out.kind = Kind::Damaged;
            return out;
        }
    }
    std::string body = s;
    const auto star = s.find('*');
    if (star != std::string::npos) {
        const std::string digits = s.substr(star + 1, 2);
        if (digits.size() != 2 || !std::isxdigit(static_cast<unsigned char>(digits[0])) ||
            !std::isxdigit(static_cast<unsigned char>(digits[1]))) {
            out.kind = Kind::BadChecksum;
            return out;
        }
        int sum = 0;
        for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(s[i]);
        if (sum != std::stoi(digits, nullptr, 16)) {
            out.kind = Kind::BadChecksum;
            return out;
        }
        body = s.substr(0, star);
    }
    std::size_t start = 0;
    for (;;) {
        const auto comma = body.find(',', start);
        out.fields.push_back(body.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    out.kind = type == "GGA" ? Kind::Gga : Kind::Rmc;
    return out;
}

bool toInt(const std::string& field, std::int32_t& out) {
    const char* begin = field.c_str();
    char* end = nullptr;
    const long long v = std::strtoll(begin, &end, 10);
    if (end == begin) return false;
    out = static_cast<std::int32_t>(v > 2147483647LL ? 2147483647LL : v < -2147483648LL ? -2147483648LL : v);
    return true;
}

bool toReal(const std::string& field, double& out) {
    const char* begin = field.c_str();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    if (end == begin) return false;
    out = v;
    return true;
}

// Degrees with the hemisphere applied, or false for a value that is not a position.
bool toDegrees(const std::string& value, const std::string& hemisphere, char negative, double limit, double& out) {
    double raw = 0.0;
    if (!toReal(value, raw) || !(raw >= 0.0) || std::isinf(raw)) return false;
    const double whole = static_cast<double>(static_cast<long long>(raw / 100.0));
    const double degrees = whole + (raw - whole * 100.0) / 60.0;
    if (degrees > limit) return false;
    out = !hemisphere.empty() && hemisphere[0] == negative ? -degrees : degrees;
    return true;
}

struct State {
    double latitude = 0.0;
    double longitude = 0.0;
    std::int32_t fixTime = 0;
    std::int32_t fixDate = 0;
    std::int32_t satellites = 0;
    double altitude = 0.0;
    double speedKnots = 0.0;
    double speedKmh = 0.0;
    bool ggaReady = false;
    bool rmcReady = false;
    bool hasMovingFix = false;
    std::vector<GeoPoint> track;
};

struct Counts {
    int polls = 0;
    int ggaAccepted = 0;
    int rmcAccepted = 0;
    int recorded = 0;
    int badChecksum = 0;
    int foreignTalker = 0;
    int damaged = 0;
};

struct Reading {
    std::vector<State> afterPoll;
    Counts counts;
    std::vector<std::string> refused;  // sentences both parsers must refuse untouched
};

Reading readIndependently(const std::string& log) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i] == '\n') {
            lines.push_back(log.substr(start, i - start + 1));
            start = i + 1;
        }
    }
    // A last line without its line feed is dropped by the link; the corpus has none.
    Reading r;
    State st;
    std::size_t next = 0;
    while (next < lines.size()) {
        std::int32_t bestGga = -1;
        std::int32_t bestRmc = -1;
        double pairAltitude = st.altitude;
        for (int k = 0; k < 20 && next < lines.size(); ++k) {
            const std::string& line = lines[next++];
            if (line.size() <= 40) break;
            if (line.size() >= 512) continue;
            const Sentence s = classify(line);
            const auto& f = s.fields;
            switch (s.kind) {
                case Kind::BadChecksum: ++r.counts.badChecksum; r.refused.push_back(line); continue;
                case Kind::ForeignTalker: ++r.counts.foreignTalker; r.refused.push_back(line); continue;
                case Kind::Damaged: ++r.counts.damaged; r.refused.push_back(line); continue;
                case Kind::Other: continue;
                case Kind::Gga: {
                    if (f.size() > 7) toInt(f[7], st.satellites);
                    if (f.size() > 9) toReal(f[9], st.altitude);
                    std::int32_t quality = 0;
                    if (f.size() < 10 || !toInt(f[6], quality) || quality == 0) continue;
                    std::int32_t time = -1;
                    double lat = 0.0;
                    double lon = 0.0;
                    if (!toInt(f[1], time) || time < 0 || !toDegrees(f[2], f[3], 'S', 90.0, lat) ||
                        !toDegrees(f[4], f[5], 'W', 180.0, lon) || time < bestGga) {
                        continue;
                    }
                    bestGga = st.fixTime = time;
                    st.latitude = lat;
                    st.longitude = lon;
                    st.ggaReady = true;
                    pairAltitude = st.altitude;
                    ++r.counts.ggaAccepted;
                    continue;
                }
                case Kind::Rmc: {
                    if (f.size() > 7 && !toReal(f[7], st.speedKnots)) st.speedKnots = 0.0;
                    if (f.size() > 9) toInt(f[9], st.fixDate);
                    std::int32_t time = -1;
                    if (f.size() < 10 || f[2].empty() || f[2][0] != 'A' || !toInt(f[1], time) || time < 0 ||
                        time < bestRmc) {
                        continue;
                    }
                    bestRmc = time;
                    st.speedKmh = st.speedKnots * 1.852;
                    st.rmcReady = true;
                    ++r.counts.rmcAccepted;
                    continue;
                }
            }
        }
        if (st.ggaReady && st.rmcReady) {
            if (bestGga >= 0 && bestGga == bestRmc) {
                st.ggaReady = st.rmcReady = false;
                if (st.speedKmh > 0.1) {
                    if (st.hasMovingFix) {
                        GeoPoint p;
                        p.lat = st.latitude;
                        p.lon = st.longitude;
                        p.ele = pairAltitude;
                        st.track.push_back(p);
                        ++r.counts.recorded;
                    }
                    st.hasMovingFix = true;
                }
            } else if (bestRmc > bestGga) {
                st.ggaReady = false;
            } else {
                st.rmcReady = false;
            }
        }
        r.afterPoll.push_back(st);
        ++r.counts.polls;
    }
    return r;
}

// ---- the logs ------------------------------------------------------------------------

struct LogCase {
    const char* file;
    Counts counts;
    bool southern;  // accepted positions lie south of the equator
    bool western;
};

// Worked out from the logs by the reading above and checked against a throw-away script.
// The whole log is queued at once, so every poll but the last reads 20 lines unless a
// short line ends it first.
const LogCase kLogs[] = {
    // file, {polls, GGA accepted, RMC accepted, points recorded, bad checksums,
    //        other talkers, damaged}, south, west
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
    const std::string log = readLog(c.file);
    ASSERT_FALSE(log.empty()) << c.file;
    const Reading expected = readIndependently(log);
    const Counts& n = expected.counts;
    EXPECT_EQ(n.polls, c.counts.polls);
    EXPECT_EQ(n.ggaAccepted, c.counts.ggaAccepted);
    EXPECT_EQ(n.rmcAccepted, c.counts.rmcAccepted);
    EXPECT_EQ(n.recorded, c.counts.recorded);
    EXPECT_EQ(n.badChecksum, c.counts.badChecksum);
    EXPECT_EQ(n.foreignTalker, c.counts.foreignTalker);
    EXPECT_EQ(n.damaged, c.counts.damaged);

    fakes::FakeClock clock;
    platform::VirtualSerialDevice device;
    GpsContext gps(device, clock);
    ASSERT_TRUE(openSerialPort(gps.port, "COM0:", 4800, 8, 0, 0, 0));
    device.queue(log);
    platform::RecordingPowerBackend backend;
    backend.battery = 80;
    const PowerContext power{backend, false, {}};
    const GpsReceiver& rx = gps.receiver;
    for (std::size_t i = 0; i < expected.afterPoll.size(); ++i) {
        SCOPED_TRACE("poll " + std::to_string(i));
        pollGps(gps, power);
        const State& e = expected.afterPoll[i];
        ASSERT_NEAR(rx.latitude, e.latitude, 1e-9);
        ASSERT_NEAR(rx.longitude, e.longitude, 1e-9);
        ASSERT_EQ(rx.fixTime, e.fixTime);
        ASSERT_EQ(rx.fixDate, e.fixDate);
        ASSERT_EQ(rx.satellites, e.satellites);
        ASSERT_EQ(rx.altitude, e.altitude);
        ASSERT_EQ(rx.speedKmh, e.speedKmh);
        ASSERT_EQ(rx.ggaReady, e.ggaReady);
        ASSERT_EQ(rx.rmcReady, e.rmcReady);
        ASSERT_EQ(rx.hasMovingFix, e.hasMovingFix);
        ASSERT_EQ(rx.track.pointCount(), static_cast<int>(e.track.size()));
        ASSERT_EQ(rx.batteryPercent, 80);
    }
    EXPECT_EQ(device.pending(), 0u);
    EXPECT_EQ(gps.port.rxCount, 0);
    for (int i = 0; i < rx.track.pointCount(); ++i) {
        const GeoPoint& p = rx.track.points[i];
        const GeoPoint& e = expected.afterPoll.back().track[static_cast<std::size_t>(i)];
        EXPECT_NEAR(p.lat, e.lat, 1e-9);
        EXPECT_NEAR(p.lon, e.lon, 1e-9);
        EXPECT_EQ(p.ele, e.ele);
        EXPECT_EQ(p.lat < 0, c.southern);
        EXPECT_EQ(p.lon < 0, c.western);
    }
    if (n.ggaAccepted > 0) {
        EXPECT_EQ(rx.latitude < 0, c.southern);
        EXPECT_EQ(rx.longitude < 0, c.western);
    }

    // Refused sentences write nothing, whichever parser sees them.
    for (const std::string& line : expected.refused) {
        std::int32_t time = -1, date = -1, sats = -1;
        double lat = -1, lon = -1, speed = -1, course = -1, alt = -1;
        char latH = '?', lonH = '?';
        EXPECT_FALSE(parseGga(line, GgaFields{time, lat, latH, lon, lonH, sats, alt})) << line;
        EXPECT_FALSE(parseRmc(line, RmcFields{time, lat, latH, lon, lonH, speed, course, date})) << line;
        EXPECT_TRUE(time == -1 && date == -1 && sats == -1 && lat == -1 && lon == -1 && speed == -1 &&
                    course == -1 && alt == -1 && latH == '?' && lonH == '?')
            << line;
    }
}

INSTANTIATE_TEST_SUITE_P(Nmea, CorpusLog, ::testing::ValuesIn(kLogs), [](const auto& param) {
    std::string name = param.param.file;
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    }
    return name;
});

}  // namespace
}  // namespace quorel
