#include "gps/gps_receiver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/power_recording.h"
#include "platform/text_file.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_serial.h"

namespace quorel {
namespace {

std::string withChecksum(const std::string& body) {
    unsigned sum = 0;
    for (const char c : body) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

struct Gga {
    int time;
    const char* lat = "4807.038";
    const char* latH = "N";
    const char* lon = "01131.000";
    const char* lonH = "E";
    int quality = 1;
    const char* alt = "545.4";
    const char* talker = "GP";
    std::string text() const {
        char body[200];
        std::snprintf(body, sizeof body, "%sGGA,%06d,%s,%s,%s,%s,%d,08,0.9,%s,M,46.9,M,,", talker, time, lat, latH,
                      lon, lonH, quality, alt);
        return withChecksum(body);
    }
};

struct Rmc {
    int time;
    const char* knots = "10.0";
    char status = 'A';
    const char* date = "230394";
    std::string text() const {
        char body[200];
        std::snprintf(body, sizeof body, "GPRMC,%06d,%c,4807.038,N,01131.000,E,%s,084.4,%s,003.1,W", time, status,
                      knots, date);
        return withChecksum(body);
    }
};

constexpr double kLat = 48.1173;
constexpr double kLon = 11.516666666666667;

struct Receiver {
    fakes::FakeClock clock;
    fakes::FakeSerial device{clock};
    GpsContext gps{device, clock};
    platform::RecordingPowerBackend backend;
    PowerContext power{backend, false, {}};
    GpsReceiver& r = gps.receiver;

    explicit Receiver(bool open = true) {
        device.openAll = true;
        if (open) {
            EXPECT_TRUE(openSerialPort(gps.port, "COM0:", 4800, 8, 0, 0, 0));
        }
    }
    // The lines reach the port now; then one timer tick polls.
    void poll(const std::vector<std::string>& lines) {
        for (const std::string& line : lines) device.arrive(line, clock.now);
        pollGps(gps, power);
    }
};

TEST(PollGps, PairsOfOneSecondAreRecordedWhenMoving) {
    const struct {
        const char* name;
        std::vector<std::vector<std::string>> polls;
        double lat;
        double lon;
        int fixTime;
        bool ggaReady;
        bool rmcReady;
        bool hasMovingFix;
        int recorded;
    } cases[] = {
        {"the first moving fix only arms the recording",
         {{Gga{120000}.text(), Rmc{120000}.text()}}, kLat, kLon, 120000, false, false, true, 0},
        {"the next moving fix is recorded",
         {{Gga{120000}.text(), Rmc{120000}.text()}, {Gga{120001}.text(), Rmc{120001}.text()}},
         kLat, kLon, 120001, false, false, true, 1},
        {"RMC before GGA pairs as well",
         {{Rmc{120000}.text(), Gga{120000}.text()}, {Rmc{120001}.text(), Gga{120001}.text()}},
         kLat, kLon, 120001, false, false, true, 1},
        {"standing still: followed, never recorded",
         {{Gga{120000}.text(), Rmc{120000, "0.0"}.text()}, {Gga{120001}.text(), Rmc{120001, "0.0"}.text()}},
         kLat, kLon, 120001, false, false, false, 0},
        {"just below 0.1 km/h is standing",
         {{Gga{1}.text(), Rmc{1, "0.05399"}.text()}, {Gga{2}.text(), Rmc{2, "0.05399"}.text()}},
         kLat, kLon, 2, false, false, false, 0},
        {"just above 0.1 km/h is moving",
         {{Gga{1}.text(), Rmc{1, "0.054"}.text()}, {Gga{2}.text(), Rmc{2, "0.054"}.text()}},
         kLat, kLon, 2, false, false, true, 1},
        {"an RMC of status V: the position moves, the GGA waits",
         {{Gga{120000}.text(), Rmc{120000, "10.0", 'V'}.text()}}, kLat, kLon, 120000, true, false, false, 0},
        {"GGA and RMC of one second in different polls never pair",
         {{Gga{120000}.text(), Rmc{120000}.text()}, {Gga{120001}.text()}, {Rmc{120001}.text()}},
         kLat, kLon, 120001, false, true, true, 0},
        {"GGA t, RMC t, then GGA t+1: the RMC is the earlier",
         {{Gga{120000}.text(), Rmc{120000}.text()}, {Gga{120001}.text(), Rmc{120001}.text(), Gga{120002}.text()}},
         kLat, kLon, 120002, true, false, true, 0},
        {"the pairs of t and t+1 in one poll record t+1 only",
         {{Gga{120000}.text(), Rmc{120000}.text()},
          {Gga{120001}.text(), Rmc{120001}.text(), Gga{120002}.text(), Rmc{120002}.text()}},
         kLat, kLon, 120002, false, false, true, 1},
        {"an earlier GGA in the same poll is not accepted",
         {{Gga{120000}.text(), Gga{115959, "1111.111"}.text()}}, kLat, kLon, 120000, true, false, false, 0},
        {"nor is 00:00:00 after 23:59:59",
         {{Gga{235959}.text(), Gga{0, "1111.111"}.text()}}, kLat, kLon, 235959, true, false, false, 0},
        {"GN talker", {{Gga{10, "4807.038", "N", "01131.000", "E", 1, "1.0", "GN"}.text()}}, kLat, kLon, 10, true,
         false, false, 0},
        {"other talkers are not accepted",
         {{Gga{10, "4807.038", "N", "01131.000", "E", 1, "1.0", "GL"}.text()}}, 0, 0, 0, false, false, false, 0},
        {"a GGA without a fix is not accepted", {{Gga{10, "4807.038", "N", "01131.000", "E", 0}.text()}}, 0, 0, 0,
         false, false, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Receiver rx;
        for (const auto& lines : c.polls) rx.poll(lines);
        EXPECT_DOUBLE_EQ(rx.r.latitude, c.lat);
        EXPECT_DOUBLE_EQ(rx.r.longitude, c.lon);
        EXPECT_EQ(rx.r.fixTime, c.fixTime);
        EXPECT_EQ(rx.r.ggaReady, c.ggaReady);
        EXPECT_EQ(rx.r.rmcReady, c.rmcReady);
        EXPECT_EQ(rx.r.hasMovingFix, c.hasMovingFix);
        EXPECT_EQ(rx.r.track.pointCount(), c.recorded);
    }
}

TEST(PollGps, TheFirstMovingFixUpdatesTheFixButRecordsNothing) {
    Receiver rx;
    rx.poll({Gga{143514}.text(), Rmc{143514, "10.0"}.text()});
    EXPECT_DOUBLE_EQ(rx.r.speedKmh, 18.52);
    EXPECT_DOUBLE_EQ(rx.r.speedKnots, 10.0);
    EXPECT_EQ(rx.r.fixDate, 230394);
    EXPECT_EQ(rx.r.satellites, 8);
    EXPECT_DOUBLE_EQ(rx.r.altitude, 545.4);
    EXPECT_TRUE(rx.r.hasMovingFix);
    EXPECT_EQ(rx.r.track.pointCount(), 0);

    rx.poll({Gga{143515, "4807.100", "N", "01131.200", "E", 1, "600.5"}.text(), Rmc{143515}.text()});
    ASSERT_EQ(rx.r.track.pointCount(), 1);
    const GeoPoint& p = rx.r.track.points[0];
    EXPECT_DOUBLE_EQ(p.lat, 48 + 7.1 / 60);
    EXPECT_DOUBLE_EQ(p.lon, 11 + 31.2 / 60);
    EXPECT_DOUBLE_EQ(p.ele, 600.5);
    EXPECT_EQ(p.utcTime, 0);  // the recorded track keeps no times; the log file does
    EXPECT_EQ(p.utcDate, 0);
}

TEST(PollGps, HemispheresSignTheDegrees) {
    const struct {
        const char* latH;
        const char* lonH;
        double lat;
        double lon;
    } cases[] = {{"N", "E", kLat, kLon}, {"S", "E", -kLat, kLon}, {"N", "W", kLat, -kLon},
                 {"S", "W", -kLat, -kLon}, {"", "", kLat, kLon}, {"s", "w", kLat, kLon}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.latH) + c.lonH);
        Receiver rx;
        rx.poll({Gga{1, "4807.038", c.latH, "01131.000", c.lonH}.text(), Rmc{1}.text()});
        rx.poll({Gga{2, "4807.038", c.latH, "01131.000", c.lonH}.text(), Rmc{2}.text()});
        EXPECT_DOUBLE_EQ(rx.r.latitude, c.lat);
        EXPECT_DOUBLE_EQ(rx.r.longitude, c.lon);
        ASSERT_EQ(rx.r.track.pointCount(), 1);
        EXPECT_DOUBLE_EQ(rx.r.track.points[0].lat, c.lat);
        EXPECT_DOUBLE_EQ(rx.r.track.points[0].lon, c.lon);
    }
}

TEST(PollGps, SentencesThatCannotBeTrustedMoveNothing) {
    const std::string good = Gga{120000}.text();
    std::string badChecksum = good;
    badChecksum[badChecksum.size() - 3] = badChecksum[badChecksum.size() - 3] == '0' ? '1' : '0';
    std::string damaged = good;
    damaged[20] = '\0';
    const struct {
        const char* name;
        std::string line;
    } cases[] = {
        {"wrong checksum", badChecksum},
        {"a zero byte inside", damaged},
        {"no latitude", Gga{120000, ""}.text()},
        {"no longitude", Gga{120000, "4807.038", "N", ""}.text()},
        {"latitude beyond 90", Gga{120000, "9100.000"}.text()},
        {"longitude beyond 180", Gga{120000, "4807.038", "N", "18100.000"}.text()},
        {"negative latitude value", Gga{120000, "-4807.038"}.text()},
        {"latitude nan", Gga{120000, "nan"}.text()},
        {"longitude inf", Gga{120000, "4807.038", "N", "inf"}.text()},
        {"no time", withChecksum("GPGGA,,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,")},
        {"negative time", withChecksum("GPGGA,-1,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Receiver rx;
        rx.poll({c.line, Rmc{120000}.text()});
        EXPECT_EQ(rx.r.latitude, 0.0);
        EXPECT_EQ(rx.r.longitude, 0.0);
        EXPECT_FALSE(rx.r.ggaReady);
        // The RMC of that second was accepted and found no partner.
        EXPECT_TRUE(rx.r.rmcReady);
        EXPECT_FALSE(rx.r.hasMovingFix);
    }
    // Bounds themselves are positions.
    Receiver pole;
    pole.poll({Gga{1, "9000.000", "S", "18000.000", "W"}.text()});
    EXPECT_DOUBLE_EQ(pole.r.latitude, -90.0);
    EXPECT_DOUBLE_EQ(pole.r.longitude, -180.0);
}

TEST(PollGps, AnEmptySpeedIsStandingNotTheLastSpeed) {
    Receiver rx;
    rx.poll({Gga{1}.text(), Rmc{1, "10.0"}.text()});
    ASSERT_TRUE(rx.r.hasMovingFix);
    rx.poll({Gga{2}.text(), Rmc{2, ""}.text()});
    rx.poll({Gga{3}.text(), Rmc{3, ""}.text()});
    EXPECT_EQ(rx.r.speedKmh, 0.0);
    EXPECT_EQ(rx.r.track.pointCount(), 0);
    EXPECT_EQ(rx.r.fixTime, 3);
}

TEST(PollGps, APointTakesElevationAndDateFromItsOwnPair) {
    Receiver rx;
    rx.poll({Gga{235958}.text(), Rmc{235958}.text()});
    ASSERT_TRUE(rx.r.trackFilePath.empty());
    // The pair of 23:59:59, then sentences of the next second without a fix: they carry
    // another altitude and the next day's date, which the point must not take.
    rx.poll({Gga{235959, "4807.038", "N", "01131.000", "E", 1, "500.0"}.text(),
             Rmc{235959, "10.0", 'A', "230394"}.text(),
             Gga{0, "4807.038", "N", "01131.000", "E", 0, "9999.0"}.text(), Rmc{0, "10.0", 'V', "240394"}.text()});
    ASSERT_EQ(rx.r.track.pointCount(), 1);
    EXPECT_DOUBLE_EQ(rx.r.track.points[0].ele, 500.0);
    // The receiver's own fields follow every sentence, as the gauges show them.
    EXPECT_DOUBLE_EQ(rx.r.altitude, 9999.0);
    EXPECT_EQ(rx.r.fixDate, 240394);
}

TEST(PollGps, MidnightDoesNotPairAWaitingRmcWithANewGga) {
    Receiver rx;
    rx.poll({Gga{235958}.text(), Rmc{235958}.text()});
    rx.poll({Rmc{235959}.text()});  // its GGA is lost
    rx.poll({Gga{0}.text()});       // 00:00:00 of the next day, no RMC yet
    EXPECT_EQ(rx.r.track.pointCount(), 0);
    EXPECT_TRUE(rx.r.ggaReady);
    EXPECT_FALSE(rx.r.rmcReady);
    // A whole pair of 00:00:00 is a fix like any other.
    rx.poll({Gga{0}.text(), Rmc{0}.text()});
    EXPECT_EQ(rx.r.track.pointCount(), 1);
}

TEST(PollGps, ShortLinesEndThePollLongOnesAreSkipped) {
    // A 30-byte line ends the poll; what follows waits for the next tick.
    Receiver rx;
    const std::string gsa = "$GPGSA,A,1,,,,,,,,,,,,,,,*1E\r\n";
    ASSERT_EQ(gsa.size(), 30u);
    rx.poll({Gga{1}.text(), gsa, Rmc{1}.text()});
    EXPECT_TRUE(rx.r.ggaReady);
    EXPECT_FALSE(rx.r.rmcReady);
    EXPECT_EQ(rx.clock.now, 0);  // no wait: the poll ended at the short line
    rx.poll({});  // the RMC comes now, alone: the two never pair
    EXPECT_TRUE(rx.r.rmcReady);
    EXPECT_FALSE(rx.r.ggaReady);
    EXPECT_FALSE(rx.r.hasMovingFix);

    // A line too long for the sentence buffer is passed over and the poll goes on.
    Receiver binary;
    binary.poll({Gga{1}.text(), "$" + std::string(597, '\x01') + "\n", Rmc{1}.text()});
    EXPECT_TRUE(binary.r.hasMovingFix);

    // At most 20 lines per poll.
    Receiver busy;
    std::vector<std::string> lines(19, "$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74\r\n");
    lines.push_back(Gga{1}.text());
    lines.push_back(Rmc{1}.text());
    busy.poll(lines);
    EXPECT_TRUE(busy.r.ggaReady);
    EXPECT_FALSE(busy.r.rmcReady);
    busy.poll({});
    EXPECT_TRUE(busy.r.rmcReady);
}

TEST(PollGps, EveryPollRefreshesTheBattery) {
    Receiver closed(false);
    closed.backend.battery = 42;
    closed.poll({});
    EXPECT_EQ(closed.r.batteryPercent, 42);
    EXPECT_EQ(closed.clock.sleeps, 0);  // a closed port is not waited on
    closed.backend.battery = 255;
    closed.poll({});
    EXPECT_EQ(closed.r.batteryPercent, 255);

    Receiver open;
    open.backend.battery = 7;
    open.poll({});
    EXPECT_EQ(open.r.batteryPercent, 7);
    EXPECT_EQ(open.clock.now, 520);  // nothing came: the poll waited its half second
}

class InitGpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::path(::testing::TempDir()) /
               ("quorel_initgps_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_ / "prog");
    }
    std::filesystem::path dir_;
};

TEST_F(InitGpsTest, SettingsAreReadBeforeTheTrackPathIsFormed) {
    const struct {
        const char* settings;  // nullptr: no file
        std::string root;
    } cases[] = {
        {nullptr, (dir_ / "dev" / "sdmmc").string() + "/"},
        {"RootDir\n\\Storage Card\\\n", (dir_ / "dev" / "Storage Card").string() + "/"},
        {"RootDir\n/media/card\n", "/media/card/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.root);
        std::filesystem::remove(dir_ / "prog" / "setgps.txt");
        if (c.settings != nullptr) platform::writeTextFile(dir_ / "prog" / "setgps.txt", c.settings);
        fakes::FakeClock clock;
        fakes::FakeSerial device(clock);
        GpsContext gps(device, clock);
        gps.receiver.hasMovingFix = true;
        gps.receiver.latitude = 5.0;
        initGps(gps, dir_ / "prog", dir_ / "dev");
        EXPECT_EQ(gps.receiver.storageRootPath, c.root);
        EXPECT_EQ(gps.receiver.trackFilePath, c.root + "GPX/scurrent.gpx");
        EXPECT_TRUE(std::filesystem::exists(dir_ / "prog" / "setgps.txt"));
        EXPECT_FALSE(gps.receiver.hasMovingFix);
        EXPECT_EQ(gps.receiver.latitude, 0.0);
        EXPECT_TRUE(gps.receiver.datedNamePending);
        EXPECT_EQ(gps.port.handle, nullptr);
    }
}

TEST_F(InitGpsTest, RecordedFixesGoToTheLogAndShutdownClosesLogThenPort) {
    fakes::FakeClock clock;
    fakes::FakeSerial device(clock);
    device.openAll = true;
    GpsContext gps(device, clock);
    initGps(gps, dir_ / "prog", dir_ / "dev");
    std::filesystem::create_directories(dir_ / "dev" / "sdmmc" / "GPX");
    ASSERT_EQ(openGpsPort(gps.port, gps.settings), 0);
    openTrackLog(gps.receiver);
    ASSERT_TRUE(gps.receiver.trackFile.isOpen());

    platform::RecordingPowerBackend backend;
    const PowerContext power{backend, false, {}};
    for (int second = 1; second <= 3; ++second) {
        for (const std::string& line : {Gga{second}.text(), Rmc{second}.text()}) device.arrive(line, clock.now);
        pollGps(gps, power);
    }
    EXPECT_EQ(gps.receiver.track.pointCount(), 2);
    shutdownGps(gps);
    EXPECT_FALSE(gps.receiver.trackFile.isOpen());
    EXPECT_EQ(gps.port.handle, nullptr);
    EXPECT_EQ(device.closes, 1);

    const auto log = platform::readTextFile(gps.receiver.trackFilePath);
    ASSERT_TRUE(log);
    std::size_t points = 0;
    for (std::size_t at = log->find("<trkpt"); at != std::string::npos; at = log->find("<trkpt", at + 1)) ++points;
    EXPECT_EQ(points, 2u);
}

TEST(GeoDistance, FlatEarthWithElevation) {
    const double kmPerDegree = 6378.137 * 3.14159265359 / 180;
    const struct {
        GeoPoint a;
        GeoPoint b;
        double km;
    } cases[] = {
        {{0.0, 0.0, 0.0}, {0.01, 0.0, 0.0}, 0.01 * kmPerDegree},  // about 1.1132 km
        {{35.0, 135.0, 0.0, 120000, 230394}, {35.0, 135.0, 500.0}, 0.5},
        // east-west at 60 degrees: half; the cosine is that of the first point
        {{60.0, 10.0, 0.0}, {60.0, 10.01, 0.0}, 0.5 * 0.01 * kmPerDegree},
        {{0.0, 10.0, 0.0}, {60.0, 10.01, 0.0}, std::hypot(60 * kmPerDegree, 0.01 * kmPerDegree)},
    };
    for (const auto& c : cases) EXPECT_NEAR(geoDistanceKm(c.a, c.b), c.km, 1e-9);
}

}  // namespace
}  // namespace quorel
