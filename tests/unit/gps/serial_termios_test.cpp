// The termios path against pseudo-terminals: the test writes on the master side what a
// receiver would send, the port reads the slave side.
#include "platform/serial_termios.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "gps/serial_port.h"
#include "platform/serial_select.h"
#include "tests/fakes/fake_clock.h"

namespace quorel {
namespace {

using platform::ComPortNames;
using platform::SerialStatus;
using platform::TermiosSerialDevice;

class Pty {
public:
    Pty() {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master_, &slave, name, nullptr, nullptr) != 0) return;
        path_ = name;
        ::close(slave);
    }
    ~Pty() { hangUp(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool ok() const { return master_ >= 0; }
    const std::string& path() const { return path_; }

    void send(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<std::size_t>(n);
        }
    }
    void hangUp() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    std::string path_;
};

// The kernel moves bytes from the master to the slave's queue on its own time: wait
// (really, but only for that) until count bytes are queued.
bool waitQueued(TermiosSerialDevice& device, int count) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (device.queuedBytes() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct PtyLink {
    Pty pty;
    fakes::FakeClock clock;
    TermiosSerialDevice device{ComPortNames::fixed(pty.path())};
    SerialPort port{device, clock};

    PtyLink() {
        EXPECT_TRUE(pty.ok());
        EXPECT_TRUE(openSerialPort(port, "COM0:", 4800, 8, 0, 0, 0));
    }
    std::string lineOf(int n) const {
        return std::string(reinterpret_cast<const char*>(port.lineBuffer.data()), static_cast<std::size_t>(n));
    }
};

TEST(SerialTermios, ComNamesReachTheDevicesOfTheTable) {
    const ComPortNames table = ComPortNames::linuxTable();
    const struct {
        const char* name;
        std::vector<std::string> paths;
    } cases[] = {
        {"COM0:", {"/dev/ttyUSB0", "/dev/ttyACM0"}},
        {"COM3:", {"/dev/ttyUSB3", "/dev/ttyACM3"}},
        {"COM12:", {"/dev/ttyUSB12", "/dev/ttyACM12"}},
        {"COM-1:", {}},
        {"COM+1:", {}},
        {"COM 1:", {}},
        {"COM1", {}},
        {"COM1:x", {}},
        {"COMx:", {}},
        {"LPT1:", {}},
        {"", {}},
        {"/dev/serial/by-id/usb-u-blox_GNSS-if00", {"/dev/serial/by-id/usb-u-blox_GNSS-if00"}},
    };
    for (const auto& c : cases) EXPECT_EQ(table.candidates(c.name), c.paths) << c.name;
    EXPECT_EQ(ComPortNames::linuxTable("/tmp/devs/").candidates("COM2:"),
              (std::vector<std::string>{"/tmp/devs/ttyUSB2", "/tmp/devs/ttyACM2"}));
    EXPECT_EQ(ComPortNames::fixed("/dev/pts/7").candidates("COM5:"), std::vector<std::string>{"/dev/pts/7"});
    EXPECT_EQ(ComPortNames::fixed("/dev/pts/7").candidates("anything"), std::vector<std::string>{"/dev/pts/7"});
    EXPECT_TRUE(ComPortNames::none().candidates("COM0:").empty());
}

TEST(SerialTermios, TheFrontEndChoosesWhereComNamesLead) {
    using Kind = platform::SerialChoice::Kind;
    const struct {
        std::optional<std::string> gps;
        bool headless;
        Kind kind;
        const char* path;
    } cases[] = {
        {std::nullopt, false, Kind::LinuxTable, ""}, {std::nullopt, true, Kind::Virtual, ""},
        {"none", false, Kind::None, ""},             {"none", true, Kind::None, ""},
        {"/dev/pts/3", true, Kind::Fixed, "/dev/pts/3"},
    };
    for (const auto& c : cases) {
        const auto choice = platform::chooseSerial(c.gps, c.headless);
        EXPECT_EQ(choice.kind, c.kind);
        EXPECT_EQ(choice.path, c.path);
    }
    // Headless: every "COMn:" opens the virtual port, which refuses what a real one would.
    platform::VirtualSerialDevice virtualPort;
    auto device = platform::makeSerialDevice({Kind::Virtual, {}}, virtualPort);
    EXPECT_EQ(device->open("COM0:", {4801, 8, 0, 0, 0}), SerialStatus::LineRejected);
    EXPECT_EQ(device->open("COM0:", {}), SerialStatus::Open);
    virtualPort.queue("$GPGGA\n");
    EXPECT_EQ(device->queuedBytes(), 7);
    // --gps none: nothing opens.
    EXPECT_EQ(platform::makeSerialDevice({Kind::None, {}}, virtualPort)->open("COM0:", {}), SerialStatus::OpenFailed);
}

TEST(SerialTermios, TheTableFallsBackToTheAcmDevice) {
    // A device directory with only ttyACM1, a pseudo-terminal standing in for it.
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const auto dir = std::filesystem::path(::testing::TempDir()) / "quorel_devs";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    std::filesystem::create_symlink(pty.path(), dir / "ttyACM1");
    TermiosSerialDevice device(ComPortNames::linuxTable(dir.string()));
    EXPECT_EQ(device.open("COM0:", {}), SerialStatus::OpenFailed);
    EXPECT_EQ(device.open("COM1:", {}), SerialStatus::Open);
    EXPECT_EQ(device.openPath(), (dir / "ttyACM1").string());
    EXPECT_EQ(device.open("COM1:", {}), SerialStatus::AlreadyOpen);
    device.close();
    EXPECT_EQ(device.queuedBytes(), -1);
}

TEST(SerialTermios, EachFailingStepHasItsStatus) {
    Pty pty;
    ASSERT_TRUE(pty.ok());
    const auto plainFile = std::filesystem::path(::testing::TempDir()) / "quorel_not_a_tty";
    std::ofstream(plainFile) << "$GPGGA\n";
    const struct {
        std::string path;
        std::int32_t baudRate;
        std::int32_t byteSize;
        std::int32_t parity;
        std::int32_t status;
    } cases[] = {
        {pty.path(), 4800, 8, 0, 0},
        {pty.path(), 115200, 8, 0, 0},
        {pty.path(), 4800, 0x108, 0, 0},  // only the low 8 bits count
        {"/nonexistent/ttyUSB0", 4800, 8, 0, 2},
        {plainFile.string(), 4800, 8, 0, 3},
        {"/dev/null", 4800, 8, 0, 3},
        {pty.path(), 4801, 8, 0, 5},
        {pty.path(), -9600, 8, 0, 5},
        {pty.path(), 4800, 9, 0, 5},
        {pty.path(), 4800, 8, 5, 5},
        {pty.path(), 4800, 7, 0, 5},  // a pseudo-terminal keeps 8 data bits: the line is refused
    };
    for (const auto& c : cases) {
        fakes::FakeClock clock;
        TermiosSerialDevice device(ComPortNames::fixed(c.path));
        SerialPort port(device, clock);
        EXPECT_EQ(openSerialPort(port, "COM0:", c.baudRate, c.byteSize, c.parity, 0, 0), c.status == 0);
        EXPECT_EQ(port.status, c.status) << c.path << " " << c.baudRate << " " << c.byteSize << " " << c.parity;
        EXPECT_EQ(port.handle != nullptr, c.status == 0);
        EXPECT_EQ(device.openPath().empty(), c.status != 0);
        closeSerialPort(port);
    }
}

TEST(SerialTermios, BytesArriveUnchangedInRawMode) {
    PtyLink link;
    // Carriage returns, control characters and bytes above 127 are data, not line editing.
    const std::string bytes = std::string("a\rb\x03\x04\x11\x13\x7f\xff\0c\n", 12);
    link.pty.send(bytes);
    ASSERT_TRUE(waitQueued(link.device, 12));
    ASSERT_EQ(readLine(link.port, '\n'), 12);
    EXPECT_EQ(link.lineOf(12), bytes);
}

TEST(SerialTermios, AQueueOf3000BytesIsTakenAs2048ThenThe952Left) {
    PtyLink link;
    link.pty.send(std::string(2999, 'q') + "\n");
    ASSERT_TRUE(waitQueued(link.device, 3000));
    EXPECT_EQ(readAvailable(link.port), 2048);
    EXPECT_EQ(readAvailable(link.port), 952);
    EXPECT_EQ(readAvailable(link.port), 0);
}

TEST(SerialTermios, TwoSentencesInOneReadComeOutAsTwoLines) {
    PtyLink link;
    const std::string gga = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n";
    const std::string rmc = "$GPRMC,143514,A,3428.9468,N,13549.4507,E,0.0,196.2,180708,6.7,W,A*06\r\n";
    link.pty.send(gga + rmc);
    ASSERT_TRUE(waitQueued(link.device, static_cast<int>(gga.size() + rmc.size())));
    SentenceBuffer sentence{};
    ASSERT_EQ(readSentence(link.port, sentence), static_cast<int>(gga.size()));
    EXPECT_EQ(std::string(sentence.data()), gga);
    EXPECT_EQ(link.device.queuedBytes(), 0);  // the second is already in the port's own buffer
    ASSERT_EQ(readSentence(link.port, sentence), static_cast<int>(rmc.size()));
    EXPECT_EQ(std::string(sentence.data()), rmc);
    EXPECT_EQ(link.clock.sleeps, 0);
}

TEST(SerialTermios, ASentenceSplitAcrossReadsIsJoined) {
    PtyLink link;
    link.pty.send("$GPGGA,123519,4807.038,N,");
    ASSERT_TRUE(waitQueued(link.device, 25));
    // The rest arrives while the reader waits for the third time.
    link.clock.onSleep = [&](fakes::FakeClock& clock) {
        if (clock.sleeps != 3) return;
        link.pty.send("01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
        waitQueued(link.device, 42);
    };
    const int n = readLine(link.port, '\n');
    ASSERT_EQ(n, 67);
    EXPECT_EQ(link.lineOf(n), "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n");
    EXPECT_EQ(link.clock.sleeps, 3);
    EXPECT_EQ(link.clock.now, 30);
}

TEST(SerialTermios, ASilentPortIsTried52TimesOnTheClock) {
    PtyLink link;
    EXPECT_EQ(readLine(link.port, '\n'), 0);
    EXPECT_EQ(link.clock.sleeps, 52);
    EXPECT_EQ(link.clock.now, 520);
}

TEST(SerialTermios, AClosedOrUnpluggedPortFailsAtOnce) {
    PtyLink closed;
    closeSerialPort(closed.port);
    EXPECT_EQ(readLine(closed.port, '\n'), -1);
    EXPECT_EQ(closed.clock.sleeps, 0);

    // The receiver goes away: the slave side hangs up and the queue query fails.
    PtyLink unplugged;
    unplugged.pty.send("$GPGGA,1");
    ASSERT_TRUE(waitQueued(unplugged.device, 8));
    unplugged.pty.hangUp();
    SentenceBuffer sentence{};
    EXPECT_EQ(readSentence(unplugged.port, sentence), -1);
    EXPECT_EQ(unplugged.clock.sleeps, 0);
}

TEST(SerialTermios, A3000ByteLineWithoutALineFeedComesOutAs2048ThenIsHeldBack) {
    PtyLink link;
    link.pty.send(std::string(3000, 'z'));
    ASSERT_TRUE(waitQueued(link.device, 3000));
    EXPECT_EQ(readLine(link.port, '\n'), 0);
    EXPECT_EQ(link.port.carryCount, 2048);
    EXPECT_EQ(link.clock.sleeps, 0);
    const int n = readLine(link.port, '\n');
    EXPECT_EQ(n, 2048);
    EXPECT_EQ(link.lineOf(n), std::string(2048, 'z'));
    EXPECT_EQ(link.port.carryCount, 952);
    EXPECT_EQ(link.clock.sleeps, 0);
}

}  // namespace
}  // namespace quorel
