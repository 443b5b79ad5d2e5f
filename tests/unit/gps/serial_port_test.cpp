// The serial link over pseudo-terminals: the test writes on the master side what a
// receiver sends, the port reads the slave side through the termios device.
#include "gps/serial_port.h"

#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/headless/virtual_clock.h"
#include "platform/serial_termios.h"
#include "tests/support/scratch.h"

namespace quorel {
namespace {

using platform::ComPortNames;
using platform::TermiosSerialDevice;

// A pseudo-terminal: the port reads its slave side, whatever "COMn:" name it opens.
struct Link {
    int master = -1;
    std::string path = openPty();
    platform::VirtualClock clock;
    TermiosSerialDevice device{ComPortNames::fixed(path), clock};
    SerialPort port{device, clock};

    explicit Link(bool open = true) {
        if (open) {
            EXPECT_TRUE(openSerialPort(port, "COM0:", 4800, 8, 0, 0, 0));
        }
    }
    ~Link() { hangUp(); }
    std::string openPty() {
        int slave = -1;
        char name[256] = {};
        EXPECT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        ::close(slave);
        return name;
    }
    void hangUp() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    // Sends bytes into an empty queue and waits (really, but only for the kernel) until
    // they are all queued on the slave side.
    void send(const std::string& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
            ASSERT_GT(n, 0);
            done += static_cast<std::size_t>(n);
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (device.queuedBytes() < static_cast<int>(bytes.size()) && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    std::string line(int n) const {
        return std::string(reinterpret_cast<const char*>(port.lineBuffer.data()), static_cast<std::size_t>(n));
    }
};

TEST(SerialPort, LinesAreCutAtLineFeedsAndJoinedAcrossReads) {
    const std::string gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    const std::string rmc = "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06\r\n";
    const std::string raw("b\x03\x04\x11\x13\x7f\xff\0c\n", 10);  // data, not line editing
    const std::string x(3000, 'x');
    const std::string y(2047, 'y');
    const struct {
        const char* name;
        std::vector<std::pair<int, std::string>> sends;  // bytes sent once the reader has slept so often
        std::vector<std::pair<std::string, int>> lines;  // each readLine: the line ("" for 0), sleeps after it
    } cases[] = {
        {"two sentences in one read", {{0, gga + rmc}}, {{gga, 0}, {rmc, 0}}},
        {"a sentence split across reads", {{0, gga.substr(0, 25)}, {3, gga.substr(25)}}, {{gga, 3}}},
        {"a silent port", {}, {{"", 52}}},
        {"the rest on the 52nd attempt", {{0, "$GP"}, {51, "GGA\n"}}, {{"$GPGGA\n", 51}}},
        {"the rest too late: its start is dropped",
         {{0, "$GP"}, {52, "GGA\n" + rmc}},
         {{"", 52}, {"GGA\n", 52}, {rmc, 52}}},
        {"raw bytes, empty lines, CR CR LF", {{0, "\na\r\r\n" + raw}}, {{"\n", 0}, {"a\r\r\n", 0}, {raw, 0}}},
        // 3000 bytes without a line feed: the 2048-byte piece is held back and given out
        // as a line of its own; the 952 after it begin the next line
        {"3000 bytes without a line feed",
         {{0, x}, {1, "\n"}},
         {{"", 0}, {x.substr(0, 2048), 0}, {x.substr(2048) + "\n", 1}}},
        {"the tail of an overlong line",
         {{0, x + "\n" + rmc}},
         {{"", 0}, {x.substr(0, 2048), 0}, {x.substr(2048) + "\n", 0}, {rmc, 0}}},
        {"2047 bytes and a line feed", {{0, y + "\n"}}, {{"", 0}, {y + "\n", 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Link link;
        link.clock.onSleep = [&](platform::VirtualClock& clock) {
            for (const auto& [sleeps, bytes] : c.sends) {
                if (sleeps == clock.sleeps()) link.send(bytes);
            }
        };
        for (const auto& [sleeps, bytes] : c.sends) {
            if (sleeps == 0) link.send(bytes);
        }
        for (const auto& [line, sleeps] : c.lines) {
            const int n = readLine(link.port, '\n');
            ASSERT_EQ(n, static_cast<int>(line.size()));
            EXPECT_EQ(link.line(n), line);
            EXPECT_EQ(link.clock.sleeps(), sleeps);
        }
        EXPECT_EQ(link.clock.nowMs(), 10 * link.clock.sleeps());
    }
}

TEST(SerialPort, AClosedOrUnpluggedPortFailsAtOnce) {
    Link closed;
    closed.send("$GPGGA,1\r\n$GPRMC,2\r\n");
    EXPECT_EQ(readLine(closed.port, '\n'), 10);
    closeSerialPort(closed.port);  // what was read but not delivered goes with it
    EXPECT_EQ(readLine(closed.port, '\n'), -1);
    EXPECT_EQ(closed.clock.sleeps(), 0);

    Link unplugged;  // the receiver goes away in the middle of a line: its start is dropped
    unplugged.send("$GPGGA,1");
    unplugged.clock.onSleep = [&](platform::VirtualClock&) { unplugged.hangUp(); };
    SentenceBuffer sentence{};
    EXPECT_EQ(readSentence(unplugged.port, sentence), -1);
    EXPECT_EQ(unplugged.clock.sleeps(), 1);
}

TEST(SerialPort, EachFailingStepOfTheOpenHasItsStatus) {
    const Link pty(false);
    const auto dir = test::scratchFolder("devs");
    std::filesystem::create_symlink(pty.path, dir / "ttyACM1");  // the table falls back to ttyACM
    std::ofstream(dir / "ttyUSB2") << "$GPGGA\n";                // not a terminal
    const ComPortNames fixed = ComPortNames::fixed(pty.path);
    const ComPortNames table = ComPortNames::linuxTable(dir.string());
    const struct {
        ComPortNames names;
        const char* port;
        std::int32_t baudRate, byteSize, status;
    } cases[] = {
        {fixed, "COM0:", 4800, 8, 0}, {fixed, "COM0:", 4800, 0x108, 0},  // only the low 8 bits count
        {fixed, "COM0:", 4801, 8, 5}, {fixed, "COM0:", 4800, 9, 5},
        {fixed, "COM0:", 4800, 7, 5},  // a pseudo-terminal keeps 8 data bits: the line is refused
        {table, "COM1:", 4800, 8, 0}, {table, "COM0:", 4800, 8, 2},
        {table, "COM2:", 4800, 8, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.port) + " " + std::to_string(c.baudRate) + " " + std::to_string(c.byteSize));
        platform::VirtualClock clock;
        TermiosSerialDevice device(c.names, clock);
        SerialPort port(device, clock);
        EXPECT_EQ(openSerialPort(port, c.port, c.baudRate, c.byteSize, 0, 0, 0), c.status == 0);
        EXPECT_EQ(port.status, c.status);
        EXPECT_EQ(port.handle != nullptr, c.status == 0);
        if (c.status == 0) {  // opened again: status 1, and the port stays open
            EXPECT_FALSE(openSerialPort(port, c.port, 4800, 8, 0, 0, 0));
            EXPECT_EQ(port.status, 1);
            EXPECT_NE(port.handle, nullptr);
        }
        closeSerialPort(port);
        EXPECT_EQ(device.queuedBytes(), -1);
    }
}

// Run as root, a device never refuses the program, so the lines for a refusal are checked
// here, whole, as stderr shows them: /dev/null belongs to group root on every system.
TEST(TermiosSerial, NamesTheDeviceTheReasonAndTheRemedy) {
    EXPECT_EQ(platform::describeOpenFailure("/dev/null", EACCES),
              "the receiver /dev/null cannot be opened: permission denied to this user (the device belongs to group "
              "root); add yourself to the group with 'sudo usermod -aG root $USER', then log in again");
    EXPECT_EQ(platform::describeOpenFailure("/dev/ttyUSB7", ENOENT), "the receiver /dev/ttyUSB7 is not there");
    EXPECT_EQ(platform::describeOpenFailure("/dev/ttyUSB7", EBUSY),
              "the receiver /dev/ttyUSB7 cannot be opened: Device or resource busy");
}

}  // namespace
}  // namespace quorel
