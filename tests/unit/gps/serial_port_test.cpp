// The serial link over pseudo-terminals: the test writes on the master side what a
// receiver sends, the port reads the slave side through the termios device. Which names
// the port search tries is seen on the scripted FakeSerial.
#include "gps/serial_port.h"

#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/format.h"
#include "platform/serial_select.h"
#include "platform/serial_termios.h"
#include "tests/fakes/fake_clock.h"
#include "tests/fakes/fake_serial.h"

namespace quorel {
namespace {

using platform::ComPortNames;
using platform::SerialStatus;
using platform::TermiosSerialDevice;

// A pseudo-terminal: the port reads its slave side, whatever "COMn:" name it opens.
struct Link {
    int master = -1;
    std::string path = openPty();
    fakes::FakeClock clock;
    TermiosSerialDevice device{ComPortNames::fixed(path)};
    SerialPort port{device, clock};

    explicit Link(bool open = true) { EXPECT_TRUE(!open || openSerialPort(port, "COM0:", 4800, 8, 0, 0, 0)); }
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

TEST(SerialPort, AQueueOf3000BytesIsTakenAs2048ThenThe952Left) {
    Link link;
    link.send(std::string(2999, 'q') + "\n");
    EXPECT_EQ(readAvailable(link.port), 2048);
    EXPECT_EQ(readAvailable(link.port), 952);
    EXPECT_EQ(readAvailable(link.port), 0);
}

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
        {"the rest too late: its start is dropped", {{0, "$GP"}, {52, "GGA\n" + rmc}},
         {{"", 52}, {"GGA\n", 52}, {rmc, 52}}},
        {"raw bytes, empty lines, CR CR LF", {{0, "\na\r\r\n" + raw}}, {{"\n", 0}, {"a\r\r\n", 0}, {raw, 0}}},
        // 3000 bytes without a line feed: the 2048-byte piece is held back and given out
        // as a line of its own; the 952 after it begin the next line
        {"3000 bytes without a line feed", {{0, x}, {1, "\n"}},
         {{"", 0}, {x.substr(0, 2048), 0}, {x.substr(2048) + "\n", 1}}},
        {"the tail of an overlong line", {{0, x + "\n" + rmc}},
         {{"", 0}, {x.substr(0, 2048), 0}, {x.substr(2048) + "\n", 0}, {rmc, 0}}},
        {"2047 bytes and a line feed", {{0, y + "\n"}}, {{"", 0}, {y + "\n", 0}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Link link;
        link.clock.onSleep = [&](fakes::FakeClock& clock) {
            for (const auto& [sleeps, bytes] : c.sends) {
                if (sleeps == clock.sleeps) link.send(bytes);
            }
        };
        for (const auto& [sleeps, bytes] : c.sends) {
            if (sleeps == 0) link.send(bytes);
        }
        for (const auto& [line, sleeps] : c.lines) {
            const int n = readLine(link.port, '\n');
            ASSERT_EQ(n, static_cast<int>(line.size()));
            EXPECT_EQ(link.line(n), line);
            EXPECT_EQ(link.clock.sleeps, sleeps);
        }
        EXPECT_EQ(link.clock.now, 10 * link.clock.sleeps);
    }
}

TEST(SerialPort, AClosedOrUnpluggedPortFailsAtOnce) {
    Link closed;
    closed.send("$GPGGA,1\r\n$GPRMC,2\r\n");
    EXPECT_EQ(readLine(closed.port, '\n'), 10);
    closeSerialPort(closed.port);  // what was read but not delivered goes with it
    EXPECT_EQ(readLine(closed.port, '\n'), -1);
    EXPECT_EQ(closed.clock.sleeps, 0);

    Link unplugged;  // the receiver goes away in the middle of a line: its start is dropped
    unplugged.send("$GPGGA,1");
    unplugged.clock.onSleep = [&](fakes::FakeClock&) { unplugged.hangUp(); };
    SentenceBuffer sentence{};
    EXPECT_EQ(readSentence(unplugged.port, sentence), -1);
    EXPECT_EQ(unplugged.clock.sleeps, 1);
}

TEST(SerialPort, SentencesOf512BytesOrMoreAreDropped) {
    for (const std::size_t length : {511u, 512u, 2047u}) {  // line feed included
        SCOPED_TRACE(length);
        Link link;
        const std::string line = "$" + std::string(length - 2, 'Z') + "\n";
        link.send(line + "$GPGGA,after\r\n");
        SentenceBuffer buffer;
        buffer.fill('#');
        EXPECT_EQ(readSentence(link.port, buffer), static_cast<int>(length));
        EXPECT_EQ(std::string(buffer.data()), length < 512 ? line : "");
        EXPECT_EQ(readSentence(link.port, buffer), 14);
        EXPECT_STREQ(buffer.data(), "$GPGGA,after\r\n");
    }
}

TEST(SerialPort, EachFailingStepOfTheOpenHasItsStatus) {
    const Link pty(false);
    const auto dir = std::filesystem::path(::testing::TempDir()) / "quorel_devs";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink(pty.path, dir / "ttyACM1");  // the table falls back to ttyACM
    std::ofstream(dir / "ttyUSB2") << "$GPGGA\n";                  // not a terminal
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
        {table, "COM1:", 4800, 8, 0},  {table, "COM0:", 4800, 8, 2}, {table, "COM2:", 4800, 8, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.port) + " " + std::to_string(c.baudRate) + " " + std::to_string(c.byteSize));
        fakes::FakeClock clock;
        TermiosSerialDevice device(c.names);
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

TEST(SerialPort, TheSearchTakesTheFirstOfCom0ToCom9ThatOpensAFixedPortGivesItsStatus) {
    const struct {
        int autoOpen, commPort;
        std::map<std::string, SerialStatus, std::less<>> opens;
        int result;
        int tried;  // COM0: onwards when searching, else COM<commPort>:
    } cases[] = {
        {1, 1, {}, -1, 10},
        {1, 1, {{"COM1:", SerialStatus::LineRejected}, {"COM3:", SerialStatus::Open}}, 3, 4},
        {0, 3, {}, 2, 1},  // a failed fixed port is never negative
        {0, 12, {{"COM12:", SerialStatus::LineRejected}}, 5, 1},
    };
    for (const auto& c : cases) {
        fakes::FakeClock clock;
        fakes::FakeSerial device(clock);
        device.openResults = c.opens;
        SerialPort port(device, clock);
        GpsSettings settings;
        settings.autoOpen = c.autoOpen;
        settings.commPort = c.commPort;
        settings.baudRate = 9600;
        EXPECT_EQ(openGpsPort(port, settings), c.result);
        std::vector<std::string> names;
        for (int n = 0; n < c.tried; ++n) names.push_back(platform::format("COM%d:", c.autoOpen != 0 ? n : c.commPort));
        EXPECT_EQ(device.openAttempts, names);
        for (const auto& s : device.openSettings) {
            EXPECT_TRUE(s.baudRate == 9600 && s.byteSize == 8 && s.parity == 0 && s.stopBits == 0 && s.rtsControl == 0);
        }
        EXPECT_EQ(port.handle != nullptr, c.autoOpen != 0 ? c.result >= 0 : c.result == 0);
    }
}

TEST(SerialPort, ComNamesLeadToTheDevicesOfTheTableOrTheFrontEndsChoice) {
    const ComPortNames table = ComPortNames::linuxTable("/tmp/devs/");
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"COM0:", {"/tmp/devs/ttyUSB0", "/tmp/devs/ttyACM0"}}, {"COM12:", {"/tmp/devs/ttyUSB12", "/tmp/devs/ttyACM12"}},
        {"COM-1:", {}}, {"COM1", {}}, {"LPT1:", {}}, {"/dev/serial/by-id/gps", {"/dev/serial/by-id/gps"}},
    };
    for (const auto& [name, paths] : cases) EXPECT_EQ(table.candidates(name), paths) << name;
    EXPECT_EQ(ComPortNames::fixed("/dev/pts/7").candidates("COM5:"), std::vector<std::string>{"/dev/pts/7"});
    EXPECT_TRUE(ComPortNames::none().candidates("COM0:").empty());
    // Windowed runs take the table, --gps PATH that device; headless runs open the virtual
    // port, which refuses what a real one would.
    EXPECT_EQ(platform::chooseSerial(std::nullopt, false).kind, platform::SerialChoice::Kind::LinuxTable);
    EXPECT_EQ(platform::chooseSerial("/dev/pts/3", true).path, "/dev/pts/3");
    platform::VirtualSerialDevice virtualPort;
    const auto headless = platform::makeSerialDevice(platform::chooseSerial(std::nullopt, true), virtualPort);
    EXPECT_EQ(headless->open("COM0:", {4801, 8, 0, 0, 0}), SerialStatus::LineRejected);

}

}  // namespace
}  // namespace quorel
