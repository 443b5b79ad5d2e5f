#include "gps/serial_port.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_serial.h"

namespace quorel {
namespace {

using platform::SerialStatus;

struct Link {
    fakes::FakeClock clock;
    fakes::FakeSerial device{clock};
    SerialPort port{device, clock};

    Link() {
        device.openAll = true;
        EXPECT_TRUE(openSerialPort(port, "COM0:", 4800, 8, 0, 0, 0));
    }
    // The line readLine just returned.
    std::string lineOf(int n) const {
        return std::string(reinterpret_cast<const char*>(port.lineBuffer.data()), static_cast<std::size_t>(n));
    }
};

// What one readLine call should give: its result, the line, and the clock afterwards.
struct Step {
    int result;
    std::string line;
    std::int64_t clockAfter;
};

// The pseudo-terminal tests cover the plain cases; these need bytes that arrive at
// chosen moments of the wait.
TEST(SerialPort, LinesAreCutAtLineFeedsAndJoinedAcrossReads) {
    const std::string x3000(3000, 'x');
    const std::string x2047(2047, 'y');
    const struct {
        const char* name;
        std::vector<std::pair<std::string, std::int64_t>> arrivals;
        std::vector<Step> steps;
        int reads;
    } cases[] = {
        {"the rest arrives on the 52nd attempt", {{"$GP", 0}, {"GGA\n", 510}}, {{7, "$GPGGA\n", 510}}, 2},
        {"the rest arrives too late: the start is dropped", {{"$GP", 0}, {"GGA\n", 520}, {"$GPRMC\n", 520}},
         {{0, "", 520}, {4, "GGA\n", 520}, {7, "$GPRMC\n", 520}}, 2},
        {"a line ending in CR CR LF", {{"$GPRMC\r\r\nA\n", 0}}, {{9, "$GPRMC\r\r\n", 0}, {2, "A\n", 0}}, 1},
        {"empty lines", {{"\n\n", 0}}, {{1, "\n", 0}, {1, "\n", 0}}, 1},
        // 2047 bytes and a line feed fill one read exactly: held back, then given out whole
        // by the next call without waiting for more.
        {"a line of 2048 bytes with its line feed", {{x2047 + "\n", 0}}, {{0, "", 0}, {2048, x2047 + "\n", 0}}, 1},
        // The tail of an overlong line comes out on its own and the sentence after it whole.
        {"the tail of an overlong line", {{x3000 + "\n$GPRMC\n", 0}},
         {{0, "", 0}, {2048, x3000.substr(0, 2048), 0}, {953, x3000.substr(2048) + "\n", 0}, {7, "$GPRMC\n", 0}},
         2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Link link;
        for (const auto& [bytes, at] : c.arrivals) link.device.arrive(bytes, at);
        for (const Step& step : c.steps) {
            const int n = readLine(link.port, '\n');
            EXPECT_EQ(n, step.result);
            if (n > 0) {
                EXPECT_EQ(link.lineOf(n), step.line);
            }
            EXPECT_EQ(link.clock.now, step.clockAfter);
        }
        EXPECT_EQ(link.device.reads, c.reads);
    }
}

TEST(SerialPort, FailuresEndTheReadAtOnce) {
    // Opened and closed again: what was read but not delivered goes with it.
    Link link;
    link.device.arrive("$GPGGA,1\r\n$GPRMC,2\r\n");
    EXPECT_EQ(readLine(link.port, '\n'), 10);
    closeSerialPort(link.port);
    EXPECT_EQ(readLine(link.port, '\n'), -1);
    EXPECT_EQ(link.clock.sleeps, 0);

    // The queue query fails in the middle of a line: the start is dropped.
    Link failing;
    failing.device.arrive("$GPGGA,1");
    failing.clock.onSleep = [&](fakes::FakeClock&) { failing.device.failQuery = true; };
    EXPECT_EQ(readLine(failing.port, '\n'), -1);
    EXPECT_EQ(failing.clock.sleeps, 1);

    Link unreadable;
    unreadable.device.arrive("$GPGGA,1\r\n");
    unreadable.device.failRead = true;
    EXPECT_EQ(readLine(unreadable.port, '\n'), -1);
    EXPECT_EQ(unreadable.clock.sleeps, 0);
}

TEST(SerialPort, SentencesOf512BytesOrMoreAreDropped) {
    const struct {
        std::size_t length;  // line feed included
        bool kept;
    } cases[] = {{41, true}, {511, true}, {512, false}, {598, false}, {2047, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        Link link;
        const std::string line = "$" + std::string(c.length - 2, 'Z') + "\n";
        link.device.arrive(line + "$GPGGA,after\r\n");
        SentenceBuffer buffer;
        buffer.fill('#');
        EXPECT_EQ(readSentence(link.port, buffer), static_cast<int>(c.length));
        if (c.kept) {
            EXPECT_EQ(std::string(buffer.data()), line);
        } else {
            EXPECT_EQ(buffer[0], '\0');
        }
        // The next line is whole.
        EXPECT_EQ(readSentence(link.port, buffer), 14);
        EXPECT_STREQ(buffer.data(), "$GPGGA,after\r\n");
    }
    Link silent;
    SentenceBuffer buffer{};
    EXPECT_EQ(readSentence(silent.port, buffer), -1);
}

TEST(SerialPort, OpeningReportsTheStepThatFailed) {
    const SerialStatus results[] = {SerialStatus::Open, SerialStatus::OpenFailed, SerialStatus::TimeoutsUnreadable,
                                    SerialStatus::TimeoutsRejected, SerialStatus::LineRejected};
    for (const SerialStatus result : results) {
        fakes::FakeClock clock;
        fakes::FakeSerial device(clock);
        device.openResults["COM4:"] = result;
        SerialPort port(device, clock);
        const bool opened = openSerialPort(port, "COM4:", 9600, 7, 0, 0, 0);
        EXPECT_EQ(opened, result == SerialStatus::Open);
        EXPECT_EQ(port.status, static_cast<std::int32_t>(result));
        EXPECT_EQ(port.handle != nullptr, opened);
        EXPECT_EQ(device.purges, opened ? 1 : 0);
        ASSERT_EQ(device.openSettings.size(), 1u);
        EXPECT_EQ(device.openSettings[0].baudRate, 9600);
        EXPECT_EQ(device.openSettings[0].byteSize, 7);
    }

    // Opening twice: status 1 and the device is not asked again.
    Link link;
    link.device.arrive("old bytes\n");
    EXPECT_FALSE(openSerialPort(link.port, "COM1:", 4800, 8, 0, 0, 0));
    EXPECT_EQ(link.port.status, 1);
    EXPECT_EQ(link.device.openAttempts.size(), 1u);
    EXPECT_NE(link.port.handle, nullptr);

    // Closing purges and closes once; a second close does nothing.
    const int purges = link.device.purges;
    closeSerialPort(link.port);
    closeSerialPort(link.port);
    EXPECT_EQ(link.device.purges, purges + 1);
    EXPECT_EQ(link.device.closes, 1);
    EXPECT_EQ(link.port.handle, nullptr);
}

TEST(SerialPort, TheSearchTakesTheFirstPortThatOpens) {
    const struct {
        const char* opens;  // the one name that opens, or none
        int result;
        std::size_t attempts;
    } cases[] = {{nullptr, -1, 10}, {"COM0:", 0, 1}, {"COM3:", 3, 4}, {"COM9:", 9, 10}, {"COM10:", -1, 10}};
    for (const auto& c : cases) {
        fakes::FakeClock clock;
        fakes::FakeSerial device(clock);
        if (c.opens != nullptr) device.openResults[c.opens] = SerialStatus::Open;
        device.openResults["COM1:"] = SerialStatus::LineRejected;  // opens but refuses the speed
        SerialPort port(device, clock);
        GpsSettings settings;
        settings.baudRate = 9600;
        EXPECT_EQ(openGpsPort(port, settings), c.result);
        ASSERT_EQ(device.openAttempts.size(), c.attempts);
        for (std::size_t i = 0; i < c.attempts; ++i) {
            EXPECT_EQ(device.openAttempts[i], "COM" + std::to_string(i) + ":");
            EXPECT_EQ(device.openSettings[i].baudRate, 9600);
            EXPECT_EQ(device.openSettings[i].byteSize, 8);
            EXPECT_EQ(device.openSettings[i].parity, 0);
            EXPECT_EQ(device.openSettings[i].stopBits, 0);
            EXPECT_EQ(device.openSettings[i].rtsControl, 0);
        }
    }
}

TEST(SerialPort, AFixedPortGivesItsStatusNeverANegativeNumber) {
    const struct {
        std::int32_t commPort;
        SerialStatus result;
        int expected;
    } cases[] = {{3, SerialStatus::Open, 0}, {3, SerialStatus::OpenFailed, 2}, {-1, SerialStatus::OpenFailed, 2},
                 {12, SerialStatus::LineRejected, 5}};
    for (const auto& c : cases) {
        fakes::FakeClock clock;
        fakes::FakeSerial device(clock);
        const std::string name = "COM" + std::to_string(c.commPort) + ":";
        device.openResults[name] = c.result;
        SerialPort port(device, clock);
        GpsSettings settings;
        settings.autoOpen = 0;
        settings.commPort = c.commPort;
        EXPECT_EQ(openGpsPort(port, settings), c.expected) << name;
        ASSERT_EQ(device.openAttempts.size(), 1u);
        EXPECT_EQ(device.openAttempts[0], name);
    }
}

}  // namespace
}  // namespace quorel
