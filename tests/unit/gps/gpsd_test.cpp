// The receiver through a real gpsd, which gpsfake feeds with receiver logs of the corpus:
// the fixes and the recorded points must be those of the same log read from a
// pseudo-terminal as a serial receiver.
//
// Both ways get the log in the receiver's rhythm, one second of sentences at a time, far
// enough apart that a poll (which waits 52 x 10 ms for more) reads one second each way.
// gpsd hands a receiver's NMEA sentences on unchanged and in order, but it reads its
// device only once a client watches, so the first seconds of a log can miss the gpsd
// run: the gpsd run must be the end of the serial one, short of at most three entries.
#include <netinet/in.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "gps/gps_receiver.h"
#include "platform/format.h"
#include "platform/gpsd_device.h"
#include "platform/power_recording.h"
#include "platform/serial_termios.h"
#include "tests/fakes/fake_clock.h"

namespace quorel {
namespace {

namespace fs = std::filesystem;
using Seconds = std::vector<std::string>;

constexpr int kSecondApartMs = 700;

// A log cut where the time of its RMC and GGA sentences changes.
Seconds secondsOf(const std::string& log) {
    std::ifstream in(fs::path(QUOREL_CORPUS_DIR) / "nmea" / log, std::ios::binary);
    Seconds seconds;
    std::string last;
    for (std::string line; std::getline(in, line);) {
        const bool fix = line.size() > 7 && (line.compare(3, 3, "GGA") == 0 || line.compare(3, 3, "RMC") == 0);
        const std::string time = fix ? line.substr(7, line.find_first_of(".,", 7) - 7) : last;
        if (seconds.empty() || time != last) seconds.emplace_back();
        seconds.back() += line + "\n";
        last = time;
    }
    return seconds;
}

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    return a;
}

int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = loopback(0);
    socklen_t size = sizeof a;
    EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), size), 0);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(fd);
    return ntohs(a.sin_port);
}

// gpsfake running gpsd on port, feeding it the seconds after two seconds in which gpsd
// opens its pseudo-terminal for the first client that watches.
struct Gpsfake {
    pid_t pid = -1;
    Gpsfake(int port, const Seconds& seconds) {
        const fs::path log = fs::path(::testing::TempDir()) / platform::format("quorel_gpsfake_%d.log", port);
        std::ofstream out(log, std::ios::binary);
        out << "#Delay-Cookie: @ " << kSecondApartMs / 1000.0 << "\n%Delay: 2\n";
        for (const std::string& second : seconds) out << "@" << second;
        out.close();
        std::vector<std::string> args = {"gpsfake", "-1", "-q", "-P", std::to_string(port), log.string()};
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);  // gpsd goes with it
        EXPECT_EQ(posix_spawnp(&pid, "gpsfake", nullptr, &attributes, argv.data(), environ), 0);
        posix_spawnattr_destroy(&attributes);
        for (bool listening = false; !listening; std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            const sockaddr_in a = loopback(port);
            listening = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
            ::close(fd);
        }
    }
    ~Gpsfake() { stop(); }
    void stop() {  // SIGKILL: gpsfake does not end on SIGTERM once its log has run out
        if (pid > 0 && ::kill(-pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
};

// System time, with the polling waits counted.
struct CountingClock final : platform::Clock {
    int sleeps = 0;
    std::int64_t nowMs() override { return platform::systemClock().nowMs(); }
    void sleepMs(int ms) override {
        ++sleeps;
        platform::systemClock().sleepMs(ms);
    }
};

// The program's GPS side over a device, noting every new fix and every recorded point.
struct Reader {
    platform::RecordingPowerBackend backend;
    PowerContext power{backend, false, {}};
    GpsContext gps;
    Seconds fixes, points;
    std::int64_t longestPollMs = 0;

    Reader(platform::SerialDevice& device, platform::Clock& clock) : gps(device, clock) {
        EXPECT_TRUE(openSerialPort(gps.port, "COM0:", 4800, 8, 0, 0, 0));
    }
    void poll() {
        const GpsReceiver& r = gps.receiver;
        const std::int32_t fixTime = r.fixTime;
        const int recorded = r.track.pointCount();
        const std::int64_t start = gps.port.clock.nowMs();
        pollGps(gps, power);
        longestPollMs = std::max(longestPollMs, gps.port.clock.nowMs() - start);
        if (r.fixTime != fixTime) {
            fixes.push_back(platform::format("%06d %.6f %.6f %d %.1f %.3f", r.fixTime, r.latitude, r.longitude,
                                             r.satellites, r.altitude, r.speedKmh));
        }
        for (int i = recorded; i < r.track.pointCount(); ++i) {
            const GeoPoint& p = r.track.points[static_cast<std::size_t>(i)];
            points.push_back(platform::format("%06d %.6f %.6f %.1f", r.fixTime, p.lat, p.lon, p.ele));
        }
    }
    // Polls every periodMs (the window's timer) until done or limitMs have passed.
    void pollUntil(const std::function<bool()>& done, int periodMs, int limitMs) {
        const std::int64_t end = platform::systemClock().nowMs() + limitMs;
        while (!done() && platform::systemClock().nowMs() < end) {
            poll();
            platform::systemClock().sleepMs(periodMs);
        }
    }
};

void expectEndOf(const Seconds& serial, const Seconds& gpsd) {
    ASSERT_LE(gpsd.size(), serial.size());
    EXPECT_LE(serial.size(), gpsd.size() + 3);
    EXPECT_EQ(gpsd, Seconds(serial.end() - static_cast<std::ptrdiff_t>(gpsd.size()), serial.end()));
}

void compareWithGpsd(const char* log, int first, int count) {
    SCOPED_TRACE(log);
    const Seconds all = secondsOf(log);
    ASSERT_GE(static_cast<int>(all.size()), first + count);
    const Seconds seconds(all.begin() + first, all.begin() + first + count);
    int master = -1, slave = -1;
    char name[256] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    ::close(slave);
    fakes::FakeClock fakeClock;
    platform::TermiosSerialDevice pty(platform::ComPortNames::fixed(name), fakeClock);
    Reader serial(pty, fakeClock);
    for (const std::string& second : seconds) {
        ASSERT_EQ(::write(master, second.data(), second.size()), static_cast<ssize_t>(second.size()));
        while (pty.queuedBytes() < static_cast<int>(second.size())) std::this_thread::yield();
        serial.poll();
    }
    ::close(master);
    ASSERT_GE(serial.points.size(), 10u);

    const int port = freePort();
    Gpsfake gpsfake(port, seconds);
    platform::GpsdSerialDevice device({"localhost", std::to_string(port)}, platform::systemClock());
    Reader gpsd(device, platform::systemClock());
    gpsd.pollUntil([&] { return !gpsd.fixes.empty() && gpsd.fixes.back() == serial.fixes.back(); }, 0,
                   count * kSecondApartMs + 8000);
    expectEndOf(serial.fixes, gpsd.fixes);
    expectEndOf(serial.points, gpsd.points);
    std::printf("%s: %zu of %zu fixes, %zu of %zu points through gpsd\n", log, gpsd.fixes.size(), serial.fixes.size(),
                gpsd.points.size(), serial.points.size());
}

TEST(Gpsd, CorpusLogsGiveTheFixesAndPointsOfASerialReceiver) {
    // All of a SiRF-IV log, and half a minute of driving from a SiRF-II one, side by side.
    std::thread other(compareWithGpsd, "haicom-305N.log", 7, 30);
    compareWithGpsd("bu353s4.log", 0, 25);
    other.join();
}

TEST(Gpsd, StoppedAndStartedAgainItIsReadOnWithoutWaitingMeanwhile) {
    const Seconds seconds = secondsOf("bu353s4.log");
    const int port = freePort();
    CountingClock clock;
    platform::GpsdSerialDevice device({"127.0.0.1", std::to_string(port)}, clock);
    Reader reader(device, clock);
    auto gpsfake = std::make_unique<Gpsfake>(port, Seconds(seconds.begin(), seconds.begin() + 10));
    reader.pollUntil([&] { return reader.points.size() >= 3; }, 500, 15000);
    ASSERT_GE(reader.points.size(), 3u);

    gpsfake->stop();
    reader.poll();  // finds gpsd gone
    const int sleeps = clock.sleeps;
    reader.longestPollMs = 0;
    reader.pollUntil([] { return false; }, 500, 4000);  // a reconnection attempt falls in here
    EXPECT_EQ(clock.sleeps, sleeps);
    EXPECT_EQ(device.linkState(), platform::LinkState::Away);
    std::printf("gpsd away: longest poll %lld ms\n", static_cast<long long>(reader.longestPollMs));

    const std::size_t before = reader.points.size();
    gpsfake = std::make_unique<Gpsfake>(port, Seconds(seconds.begin() + 10, seconds.end()));
    reader.pollUntil([&] { return reader.points.size() >= before + 3; }, 500, 20000);
    EXPECT_GE(reader.points.size(), before + 3);
    EXPECT_EQ(device.linkState(), platform::LinkState::Answering);
    std::printf("gpsd back: longest poll %lld ms\n", static_cast<long long>(reader.longestPollMs));
}

TEST(Gpsd, AddressesOfTheCommandLine) {
    const struct {
        const char* text;
        const char* hostAndPort;  // "" for none
    } cases[] = {
        {"gpsd", "localhost 2947"}, {"gpsd://pi.local", "pi.local 2947"}, {"gpsd://10.0.0.2:3000", "10.0.0.2 3000"},
        {"gpsd://[::1]:2948", "::1 2948"}, {"gpsd://", ""}, {"gpsd://h:", ""}, {"gpsd://h:0", ""},
        {"gpsd://h:65536", ""}, {"gpsd://[::1", ""}, {"gpsd:/h", ""}, {"/dev/gpsd", ""},
    };
    for (const auto& c : cases) {
        const auto address = platform::parseGpsdAddress(c.text);
        EXPECT_EQ(address ? address->host + " " + address->port : "", c.hostAndPort) << c.text;
    }
}

}  // namespace
}  // namespace quorel
