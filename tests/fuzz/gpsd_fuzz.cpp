// gpsd as a hostile peer: a local server that takes the watch request, answers it with
// the input (garbage, endless lines, binary data, or nothing: it closes at once) and
// closes. That may cost the program nothing but those bytes: the port goes away when the
// server closes, connects again after the retry interval, and the fix sent on the new
// connection is taken whole.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "gps/gps_receiver.h"
#include "platform/gpsd_device.h"
#include "platform/headless/power_recording.h"
#include "platform/headless/virtual_clock.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

// One listening socket for the whole run on a free loopback port.
int listenOnLoopback(int& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof a;
    check(::bind(fd, reinterpret_cast<sockaddr*>(&a), size) == 0);
    check(::listen(fd, 4) == 0);
    check(::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0);
    port = ntohs(a.sin_port);
    return fd;
}

// The device's connection; one that does not come within 5 s is a failure, not a hang.
int acceptConnection(int server) {
    pollfd ready{server, POLLIN, 0};
    check(::poll(&ready, 1, 5000) == 1);
    return ::accept4(server, nullptr, nullptr, SOCK_CLOEXEC);
}

// What the device sent on a connection must be the watch request, and only that.
void expectWatchRequest(int peer) {
    std::string got(quorel::platform::kGpsdWatchCommand.size(), '\0');
    check(::recv(peer, got.data(), got.size(), MSG_WAITALL) == static_cast<ssize_t>(got.size()));
    check(got == quorel::platform::kGpsdWatchCommand);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorel;
    static int port = 0;
    static const int server = listenOnLoopback(port);
    platform::VirtualClock clock;
    clock.onSleep = [](platform::VirtualClock&) { std::this_thread::yield(); };  // lets the loopback deliver
    platform::GpsdSerialDevice device({"127.0.0.1", std::to_string(port)}, clock);
    GpsContext gps(device, clock);
    platform::RecordingPowerBackend backend;
    const PowerContext power{backend, false, {}};
    check(openSerialPort(gps.port, "COM0:", 4800, 8, 0, 0, 0));

    int peer = acceptConnection(server);
    pollGps(gps, power);
    expectWatchRequest(peer);
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (int polls = 0; device.linkState() != platform::LinkState::Away; ++polls) {
        // The socket takes what the reader makes room for; then the server closes.
        const ssize_t n = ::send(peer, rest.data(), rest.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) rest.remove_prefix(static_cast<std::size_t>(n));
        if (rest.empty() && peer >= 0) {
            ::close(peer);
            peer = -1;
        }
        pollGps(gps, power);
        check(polls < 100000);
    }

    gps.receiver.fixTime = -1;  // only a fix of the new connection can change it now
    clock.advanceBy(platform::kReconnectIntervalMs);
    pollGps(gps, power);  // connects again
    peer = acceptConnection(server);
    const std::string pair =
        "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"
        "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
    check(::send(peer, pair.data(), pair.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(pair.size()));
    for (int polls = 0; gps.receiver.fixTime != 123519; ++polls) {
        pollGps(gps, power);
        check(polls < 1000);
    }
    check(!gps.receiver.ggaReady);  // paired in one poll
    check(!gps.receiver.rmcReady);
    check(gps.receiver.latitude > 48.11 && gps.receiver.latitude < 48.12);
    expectWatchRequest(peer);
    ::close(peer);
    return 0;
}
