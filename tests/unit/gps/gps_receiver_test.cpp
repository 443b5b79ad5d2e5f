#include "gps/gps_receiver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "gpx/gpx_reader.h"
#include "platform/format.h"
#include "platform/headless/power_recording.h"
#include "platform/headless/virtual_clock.h"
#include "platform/text_file.h"
#include "tests/fakes/fake_serial.h"
#include "tests/support/scratch.h"

namespace quorel {
namespace {

std::string withChecksum(const std::string& body) {
    unsigned sum = 0;
    for (const char c : body) sum ^= static_cast<unsigned char>(c);
    return platform::format("$%s*%02X\r\n", body.c_str(), sum);
}

std::string G(int time, const char* position = "4807.038,N,01131.000,E", int quality = 1, const char* alt = "545.4") {
    return withChecksum(platform::format("GPGGA,%06d,%s,%d,08,0.9,%s,M,46.9,M,,", time, position, quality, alt));
}

std::string R(int time, const char* knots = "10.0", char status = 'A') {
    return withChecksum(
        platform::format("GPRMC,%06d,%c,4807.038,N,01131.000,E,%s,084.4,230394,003.1,W", time, status, knots));
}

struct Receiver {
    platform::VirtualClock clock;
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
        for (const std::string& line : lines) device.arrive(line, clock.nowMs());
        pollGps(gps, power);
    }
    // latitude,longitude fixTime, ggaReady rmcReady hasMovingFix as g r m or -, speedKmh,
    // points recorded and the elevation of the last, milliseconds the polls waited.
    std::string state() const {
        const int n = r.track.pointCount();
        return platform::format("%.4f,%.4f %d %c%c%c %.2f %d@%g %dms", r.latitude, r.longitude, r.fixTime,
                                r.ggaReady ? 'g' : '-', r.rmcReady ? 'r' : '-', r.hasMovingFix ? 'm' : '-', r.speedKmh,
                                n, n > 0 ? r.track.points[n - 1].ele : 0.0, static_cast<int>(clock.now()));
    }
};

TEST(PollGps, GgaAndRmcOfOneSecondInOnePollPairAndAreRecordedWhenMoving) {
    const std::string gsa30 = "$GPGSA,A,1,,,,,,,,,,,,,,,*1E\r\n";
    std::vector<std::string> busy(19, "$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74\r\n");
    busy.push_back(G(1));
    busy.push_back(R(1));
    const char* moved = "4807.100,N,01131.200,E";
    const struct {
        const char* name;
        std::vector<std::vector<std::string>> polls;
        const char* state;
    } cases[] = {
        {"the first moving fix only arms the next",
         {{G(1), R(1)}, {G(2), R(2)}},
         "48.1173,11.5167 2 --m 18.52 1@545.4 1040ms"},
        {"standing: followed, not recorded",
         {{G(1), R(1, "0.0")}, {G(2, moved), R(2, "0.0")}},
         "48.1183,11.5200 2 --- 0.00 0@0 1040ms"},
        {"below 0.1 km/h", {{G(1), R(1, "0.05399")}, {G(2), R(2, "0.05399")}}, "48.1173,11.5167 2 --- 0.10 0@0 1040ms"},
        {"above 0.1 km/h", {{G(1), R(1, "0.054")}, {G(2), R(2, "0.054")}}, "48.1173,11.5167 2 --m 0.10 1@545.4 1040ms"},
        {"RMC 'V': the GGA waits", {{G(1), R(1, "10.0", 'V')}}, "48.1173,11.5167 1 g-- 0.00 0@0 520ms"},
        {"different polls never pair", {{G(1), R(1)}, {G(2)}, {R(2)}}, "48.1173,11.5167 2 -rm 18.52 0@0 1560ms"},
        {"GGA t, RMC t, GGA t+1", {{G(1), R(1)}, {G(2), R(2), G(3)}}, "48.1173,11.5167 3 g-m 18.52 0@0 1040ms"},
        {"the pairs of t and t+1 record t+1 only",
         {{G(1), R(1)}, {G(2), R(2), G(3, moved), R(3)}},
         "48.1183,11.5200 3 --m 18.52 1@545.4 1040ms"},
        {"an earlier GGA in the poll", {{G(120000), G(115959, moved)}}, "48.1173,11.5167 120000 g-- 0.00 0@0 520ms"},
        {"a pair of 00:00:00", {{G(235959), R(235959)}, {G(0), R(0)}}, "48.1173,11.5167 0 --m 18.52 1@545.4 1040ms"},
        {"the point's elevation is its pair's",
         {{G(1), R(1)}, {G(2, "4807.038,N,01131.000,E", 1, "500.0"), R(2), G(3, "4807.038,N,01131.000,E", 0, "9999")}},
         "48.1173,11.5167 2 --m 18.52 1@500 1040ms"},
        // A 30-byte line ends the poll at once; the RMC after it comes alone in the next.
        {"a short line", {{G(1), gsa30, R(1)}, {}}, "48.1173,11.5167 1 -r- 18.52 0@0 520ms"},
        {"at most 20 lines a poll", {busy, {}}, "48.1173,11.5167 1 -r- 18.52 0@0 520ms"},
    };
    for (const auto& c : cases) {
        Receiver rx;
        for (const auto& lines : c.polls) rx.poll(lines);
        EXPECT_EQ(rx.state(), c.state) << c.name;
    }
}

// A storage root of any length up to the system's path limit is read, written back and
// used whole (the settings are read before the track's path is formed); only a longer
// line is cut at the limit, its rest read as a line of its own.
TEST(InitGps, ARootUpToThePathLimitIsReadWrittenBackAndUsedWhole) {
    const auto dir = test::scratchFolder("initgps");
    std::filesystem::create_directories(dir / "prog");
    const std::string card = "\\media\\USER\\3AB2-1F0C\\Trips of Summer\\Alps and Lakes 2026 1\\";
    ASSERT_EQ(card.size(), 60u);
    const std::string longest(PATH_MAX - 1, 'r');
    const struct {
        std::string line, root;
        int autoOpen;
    } cases[] = {{card, card, 1}, {longest, longest, 1}, {longest + "AutoOpen 0", longest, 0}};
    for (const auto& c : cases) {
        const std::string text = "AutoOpen 1\nCommPort 1\nBaudrate 4800\nBit 8\nRootDir\n" + c.line + "\n";
        platform::writeTextFile(dir / "prog" / "setgps.txt", text);
        GpsSettings settings;
        ASSERT_TRUE(loadGpsSettings(settings, dir / "prog"));
        EXPECT_EQ(settings.storageRoot, c.root);
        EXPECT_EQ(settings.autoOpen, c.autoOpen);
        ASSERT_TRUE(saveGpsSettings(settings, dir));
        EXPECT_EQ(platform::readTextFile(dir / "setgps.txt") == text, c.line == c.root);
    }

    // A trip recorded onto that card.
    platform::writeTextFile(dir / "prog" / "setgps.txt", "RootDir\n" + card + "\n");
    const auto cardDir = dir / "dev" / "media" / "USER" / "3AB2-1F0C" / "Trips of Summer" / "Alps and Lakes 2026 1";
    std::filesystem::create_directories(cardDir);
    Receiver rx(false);
    initGps(rx.gps, dir / "prog", dir / "dev");
    ASSERT_TRUE(openSerialPort(rx.gps.port, "COM0:", 4800, 8, 0, 0, 0));
    openTrackLog(rx.r, rx.clock);
    for (int t = 1; t <= 3; ++t) rx.poll({G(t), R(t)});
    shutdownGps(rx.gps);
    std::vector<int> copies;
    for (const auto& e : std::filesystem::directory_iterator(cardDir / "GPX")) {
        GpxPath path;
        if (e.path().filename() != "scurrent.gpx" && loadTrackFile(e.path(), path) == 0) {
            copies.push_back(path.pointCount());
        }
    }
    EXPECT_EQ(copies, std::vector<int>{2});
}

}  // namespace
}  // namespace quorel
