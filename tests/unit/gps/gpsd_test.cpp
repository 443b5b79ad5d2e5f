// The receiver through a real gpsd, which gpsfake feeds with receiver logs of the corpus,
// against the same logs read from a pseudo-terminal as a serial receiver that is unplugged
// and plugged in again halfway. Both get the log one second of sentences at a time, far
// enough apart that a poll (which waits 52 x 10 ms for more) reads one second each way.
// gpsd hands a receiver's NMEA sentences on unchanged and in order, but reads its device
// only once a client watches, so the first seconds could miss the gpsd run: it must be
// the end of the serial one, short of at most three entries.
#include <netinet/in.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "gps/gps_receiver.h"
#include "platform/format.h"
#include "platform/gpsd_device.h"
#include "platform/headless/power_recording.h"
#include "platform/serial_termios.h"
#include "tests/fakes/fake_clock.h"
#include "tests/support/scratch.h"

namespace quorel {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
constexpr int kSecondApartMs = 1000;
// A child that inherits the master of a pseudo-terminal keeps it from being unplugged.
std::mutex ptysAndSpawns;

// A log cut where the time of its RMC and GGA sentences changes.
Lines secondsOf(const std::string& log) {
    std::ifstream in(fs::path(QUOREL_CORPUS_DIR) / "nmea" / log, std::ios::binary);
    Lines seconds;
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

// Port 0: a free port, which is returned; else true when something listens on the port.
int tryPort(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof a;
    const bool connected = port == 0 ? ::bind(fd, reinterpret_cast<sockaddr*>(&a), size) == 0
                                     : ::connect(fd, reinterpret_cast<const sockaddr*>(&a), size) == 0;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size);
    ::close(fd);
    return port == 0 ? ntohs(a.sin_port) : connected;
}

// gpsfake running gpsd on port, feeding it the seconds after two in which gpsd opens its pty.
struct Gpsfake {
    pid_t pid = -1;
    Gpsfake(int port, const Lines& seconds, int apartMs = kSecondApartMs) {
        const std::string log = test::scratchFolder(platform::format("gpsfake%d", port)) / "fake.log";
        std::ofstream out(log, std::ios::binary);
        out << "#Delay-Cookie: @ " << apartMs / 1000.0 << "\n%Delay: 2\n";
        for (const std::string& second : seconds) out << "@" << second;
        out.close();
        const std::string portText = std::to_string(port);
        const char* argv[] = {"gpsfake", "-1", "-q", "-P", portText.c_str(), log.c_str(), nullptr};
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);  // gpsd goes with it
        const std::lock_guard lock(ptysAndSpawns);
        EXPECT_EQ(posix_spawnp(&pid, "gpsfake", nullptr, &attributes, const_cast<char**>(argv), environ), 0);
        for (int i = 0; i < 200 && !tryPort(port); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_TRUE(tryPort(port)) << "gpsd did not start";
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
    void sleepMs(int ms) override { ++sleeps; platform::systemClock().sleepMs(ms); }
};

// The program's GPS side over a device, noting every new fix and every recorded point.
struct Reader {
    platform::RecordingPowerBackend backend;
    GpsContext gps;
    Lines fixes, points;

    Reader(platform::SerialDevice& device, platform::Clock& clock) : gps(device, clock) {
        EXPECT_TRUE(openSerialPort(gps.port, "COM0:", 4800, 8, 0, 0, 0));
    }
    void poll() {
        const GpsReceiver& r = gps.receiver;
        const std::int32_t fixTime = r.fixTime;
        const int recorded = r.track.pointCount();
        pollGps(gps, PowerContext{backend, false, {}});
        if (r.fixTime != fixTime) {
            fixes.push_back(platform::format("%06d %.6f %.6f %d %.1f %.3f", r.fixTime, r.latitude, r.longitude,
                                             r.satellites, r.altitude, r.speedKmh));
        }
        for (int i = recorded; i < r.track.pointCount(); ++i) {
            const GeoPoint& p = r.track.points[i];
            points.push_back(platform::format("%06d %.6f %.6f %.1f", r.fixTime, p.lat, p.lon, p.ele));
        }
    }
    // Polls every periodMs (the window's timer: 500) until done or limitMs have passed.
    void pollUntil(const std::function<bool()>& done, int periodMs, std::int64_t limitMs) {
        for (const std::int64_t end = platform::systemClock().nowMs() + limitMs;
             !done() && platform::systemClock().nowMs() < end; platform::systemClock().sleepMs(periodMs)) {
            poll();
        }
    }
};

void expectEndOf(const Lines& serial, const Lines& gpsd) {
    ASSERT_LE(gpsd.size(), serial.size());
    EXPECT_LE(serial.size(), gpsd.size() + 3);
    EXPECT_EQ(gpsd, Lines(serial.end() - static_cast<std::ptrdiff_t>(gpsd.size()), serial.end()));
}

void compareWithGpsd(const char* log, int first, int count, int port) {
    SCOPED_TRACE(log);
    const Lines all = secondsOf(log);
    const Lines seconds(all.begin() + first, all.begin() + first + count);
    const fs::path byId = test::scratchFolder(std::string("by_id_") + log) / "tty";
    std::unique_lock lock(ptysAndSpawns);
    fakes::FakeClock fakeClock;
    platform::TermiosSerialDevice pty(platform::ComPortNames::fixed(byId), fakeClock);
    int master = -1;
    const auto plugIn = [&] {
        int slave = -1;
        char name[256] = {};
        ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
        ::close(slave);
        fs::remove(byId);
        fs::create_symlink(name, byId);
    };
    plugIn();
    Reader serial(pty, fakeClock);
    for (const std::string& second : seconds) {
        if (&second == &seconds[static_cast<std::size_t>(count / 2)]) {  // unplugged, back after 3 s
            ::close(master);
            serial.poll();
            EXPECT_EQ(pty.linkState(), platform::LinkState::Away);
            plugIn();
            fakeClock.now += platform::kReconnectIntervalMs;
            serial.poll();
        }
        ASSERT_EQ(::write(master, second.data(), second.size()), static_cast<ssize_t>(second.size()));
        while (pty.queuedBytes() >= 0 && pty.queuedBytes() < static_cast<int>(second.size())) std::this_thread::yield();
        serial.poll();
    }
    ::close(master);
    lock.unlock();
    ASSERT_GE(serial.points.size(), 10u);

    Gpsfake gpsfake(port, seconds);
    platform::GpsdSerialDevice device({"localhost", std::to_string(port)}, platform::systemClock());
    Reader gpsd(device, platform::systemClock());
    // Until the fix of the last second, as the log has it.
    const std::string lastTime = seconds.back().substr(seconds.back().find("GGA,") + 4, 6);
    gpsd.pollUntil([&] { return !gpsd.fixes.empty() && gpsd.fixes.back().compare(0, 6, lastTime) == 0; }, 0,
                   count * kSecondApartMs + 8000);
    expectEndOf(serial.fixes, gpsd.fixes);
    expectEndOf(serial.points, gpsd.points);
}

TEST(Gpsd, CorpusLogsGiveTheFixesAndPointsOfASerialReceiver) {
    // All of a SiRF-IV log, and half a minute of driving from a SiRF-II one, side by side.
    std::thread other(compareWithGpsd, "haicom-305N.log", 7, 30, tryPort(0));
    compareWithGpsd("bu353s4.log", 0, 25, tryPort(0));
    other.join();
}

TEST(Gpsd, StoppedAndStartedAgainItIsReadOnWithoutWaitingMeanwhile) {
    const Lines seconds = secondsOf("bu353s4.log");
    const int port = tryPort(0);
    CountingClock clock;
    platform::GpsdSerialDevice device({"127.0.0.1", std::to_string(port)}, clock);
    Reader reader(device, clock);
    auto gpsfake = std::make_unique<Gpsfake>(port, Lines(seconds.begin(), seconds.begin() + 10));
    reader.pollUntil([&] { return reader.points.size() >= 3; }, 500, 15000);
    ASSERT_GE(reader.points.size(), 3u);

    gpsfake->stop();
    reader.poll();  // finds gpsd gone
    const int sleeps = clock.sleeps;
    reader.pollUntil([] { return false; }, 500, 4000);  // with an attempt to connect again
    EXPECT_EQ(clock.sleeps, sleeps);

    const std::size_t before = reader.points.size();
    gpsfake = std::make_unique<Gpsfake>(port, Lines(seconds.begin() + 10, seconds.end()));
    reader.pollUntil([&] { return reader.points.size() >= before + 3; }, 500, 20000);
    EXPECT_GE(reader.points.size(), before + 3);
    EXPECT_EQ(device.linkState(), platform::LinkState::Answering);
}

// A receiver of ten fixes a second, moving east at 10 knots, from 12:00:00.00 on; its
// VTG sentence is short enough to end a poll.
Lines tenHertz(int epochs) {
    const auto sentence = [](const std::string& body) {
        int sum = 0;
        for (const char c : body) sum ^= static_cast<unsigned char>(c);
        return platform::format("$%s*%02X\r\n", body.c_str(), sum);
    };
    Lines out;
    for (int k = 0; k < epochs; ++k) {
        const std::string time = platform::format("12%02d%02d.%d0", k / 600, k / 10 % 60, k % 10);  // < 1 h
        const std::string lon = platform::format("01000.%04d", k);
        out.push_back(sentence("GPGGA," + time + ",4800.0000,N," + lon + ",E,1,08,1.0,100.0,M,47.0,M,,") +
                      sentence("GPRMC," + time + ",A,4800.0000,N," + lon + ",E,10.0,90.0,071226,,,A") +
                      sentence("GPGSA,A,3,01,02,03,04,05,06,07,08,,,,,1.8,1.0,1.5") +
                      sentence("GPVTG,90.0,T,,M,10.0,N,18.5,K,A"));
    }
    return out;
}

int secondsOfDay(int hhmmss) { return hhmmss / 10000 * 3600 + hhmmss / 100 % 100 * 60 + hhmmss % 100; }

// Ten fixes a second through gpsd, polled twice a second: a poll ends at the first short
// line, so reading on from where the last one stopped would fall ever further behind.
// QUOREL_GPSD_10HZ_SECONDS sets how long (the long run: 300).
TEST(Gpsd, ATenHertzReceiverIsFollowedWithoutFallingBehind) {
    const char* env = std::getenv("QUOREL_GPSD_10HZ_SECONDS");
    const int seconds = env != nullptr ? std::atoi(env) : 30;
    const int port = tryPort(0);
    Gpsfake gpsfake(port, tenHertz((seconds + 10) * 10), 100);
    platform::GpsdSerialDevice device({"127.0.0.1", std::to_string(port)}, platform::systemClock());
    Reader reader(device, platform::systemClock());
    fakes::FakeClock noWait;  // a second client reads all gpsd sends, as gpspipe does
    platform::GpsdSerialDevice allDevice({"127.0.0.1", std::to_string(port)}, noWait);
    Reader all(allDevice, noWait);
    int sent = 0;
    const auto readAll = [&] {
        SentenceBuffer line{};
        while (readSentence(all.gps.port, line) > 0) {
            if (std::strncmp(&line[3], "GGA,", 4) == 0) sent = std::atoi(&line[7]);
        }
        return false;
    };
    reader.pollUntil(readAll, 500, seconds * 1000);
    readAll();
    ASSERT_FALSE(reader.points.empty());
    const int recorded = std::atoi(reader.points.back().c_str());
    std::printf("after %d s: newest recorded fix %06d, newest sent %06d\n", seconds, recorded, sent);
    EXPECT_LE(secondsOfDay(sent) - secondsOfDay(recorded), 2);
}

// A peer that sends one byte every 20 ms: the poll still waits no longer than 52 x 10 ms.
TEST(Gpsd, APeerThatTricklesBytesHoldsAPollNoLongerThanItsWait) {
    const platform::UniqueFd listener(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof a;
    ASSERT_EQ(::bind(listener.get(), reinterpret_cast<sockaddr*>(&a), size), 0);
    ASSERT_EQ(::listen(listener.get(), 1), 0);
    ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&a), &size);
    fakes::FakeClock clock;
    platform::GpsdSerialDevice device({"127.0.0.1", std::to_string(ntohs(a.sin_port))}, clock);
    Reader reader(device, clock);
    const platform::UniqueFd peer(::accept(listener.get(), nullptr, nullptr));
    const std::string bytes = tenHertz(4)[0] + tenHertz(4)[1];
    std::size_t sent = 0;
    clock.onSleep = [&](fakes::FakeClock& c) {
        if (c.sleeps % 2 == 0 && sent < bytes.size()) ::send(peer.get(), &bytes[sent++], 1, MSG_NOSIGNAL);
    };
    reader.poll();
    EXPECT_LE(clock.now, kSerialPollAttempts * kSerialPollSleepMs);
    EXPECT_GT(sent, 20u);
}

// A host name that does not resolve: the port opens at once and is away, polls do not
// wait, and the failure is told once on stderr however often the name is looked up again.
TEST(Gpsd, AHostThatDoesNotResolveIsToldOnceAndLookedUpAgainLater) {
    fakes::FakeClock clock;
    platform::GpsdSerialDevice device({"nonexistent.invalid", "2947"}, clock);
    testing::internal::CaptureStderr();
    Reader reader(device, clock);
    for (int retry = 0; retry < 3; ++retry, clock.now += platform::kLookupRetryMs) {
        reader.pollUntil([] { return false; }, 10, 1000);  // real time for the lookup
    }
    EXPECT_EQ(clock.sleeps, 0);
    EXPECT_EQ(device.linkState(), platform::LinkState::Away);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("quorel: gpsd host nonexistent.invalid: ", 0), 0u) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
}

}  // namespace
}  // namespace quorel
