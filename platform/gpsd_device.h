#pragma once
// gpsd as the receiver: a TCP connection to the system's GPS daemon, which owns the
// receiver (it hotplugs USB receivers, speaks the binary protocols of those that do not
// talk NMEA by default, and shares one receiver among several programs). The device asks
// it for the NMEA sentences of its receivers with
//   ?WATCH={"enable":true,"nmea":true}
// and hands the bytes on as a serial port would: what the socket has queued (FIONREAD),
// read without waiting, so the line reader, the 20 lines a poll and every fix rule apply
// unchanged. gpsd's own replies (VERSION, DEVICES, WATCH, DEVICE) are JSON lines, which
// the sentence parsers pass over like any other line that is not RMC or GGA.
//
// Nothing waits: the connect is non-blocking and is finished by a later queue query.
// While gpsd is not there yet, has stopped or is restarting, the port still counts as
// open and reports -1 (away), so every poll ends at once; a new connection is tried
// every kReconnectIntervalMs until gpsd answers, and fixes resume by themselves.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/file_handle.h"
#include "platform/serial_device.h"

namespace quorel::platform {

inline constexpr std::string_view kGpsdWatchCommand = "?WATCH={\"enable\":true,\"nmea\":true}\n";

struct GpsdAddress {
    std::string host = "localhost";
    std::string port = "2947";  // decimal, 1 to 65535
};

// "gpsd" (localhost, port 2947), "gpsd://HOST", "gpsd://HOST:PORT", "gpsd://[IPV6]:PORT";
// none for any other text.
std::optional<GpsdAddress> parseGpsdAddress(std::string_view option);

class GpsdSerialDevice final : public SerialDevice {
public:
    GpsdSerialDevice(GpsdAddress address, Clock& clock) : address_(std::move(address)), clock_(clock) {}
    ~GpsdSerialDevice() override;
    GpsdSerialDevice(const GpsdSerialDevice&) = delete;
    GpsdSerialDevice& operator=(const GpsdSerialDevice&) = delete;

    // Every port name reaches gpsd, and the line settings are not checked: gpsd sets the
    // receiver's line itself. The host name is resolved here, once (at start-up, before
    // the window runs); OpenFailed only when it names no address. Open otherwise, whether
    // or not gpsd is there yet.
    SerialStatus open(std::string_view portName, const SerialLineSettings& settings) override;
    int queuedBytes() override;
    int read(std::uint8_t* dst, int maxBytes) override;
    void purge() override;
    void close() override;
    LinkState linkState() const override;

private:
    enum class Stage { Closed, Waiting, Connecting, Connected };
    struct SocketAddress {
        std::vector<std::uint8_t> bytes;  // a sockaddr of the family
        int family = 0;
    };

    void advance();
    void connectFromNextAddress();
    void dropAttempt();
    void goAway();
    void sendPendingCommand();

    GpsdAddress address_;
    Clock& clock_;
    std::vector<SocketAddress> addresses_;
    std::size_t nextAddress_ = 0;
    Stage stage_ = Stage::Closed;
    UniqueFd fd_;
    std::int64_t connectStartedMs_ = 0;
    std::int64_t nextAttemptMs_ = 0;
    std::string pendingCommand_;
    bool answered_ = false;
};

}  // namespace quorel::platform
