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
// Nothing waits: a host name is looked up on a short-lived thread of its own, the connect
// is non-blocking, and both are finished by later queue queries. A name that does not
// resolve is told once on stderr, naming the host, and looked up again every
// kLookupRetryMs; the port is away meanwhile.
// While gpsd is not there yet, has stopped or is restarting, the port still counts as
// open and reports -1 (away), so every poll ends at once; a new connection is tried
// every kReconnectIntervalMs until gpsd answers, and fixes resume by themselves.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/file_handle.h"
#include "platform/serial_device.h"

namespace quorel::platform {

inline constexpr int kLookupRetryMs = 30000;

inline constexpr std::string_view kGpsdWatchCommand = "?WATCH={\"enable\":true,\"nmea\":true}\n";

struct GpsdAddress {
    std::string host = "localhost";
    std::string port = "2947";  // decimal, 1 to 65535
};

// "gpsd" (localhost, port 2947), "gpsd://HOST", "gpsd://HOST:PORT", "gpsd://[IPV6]:PORT";
// none for any other text.
std::optional<GpsdAddress> parseGpsdAddress(std::string_view option);

// True when gpsd answers at address within waitMs: it greets every client with its
// VERSION line. Meant for addresses on this machine, where a refusal comes at once.
bool gpsdAnswers(const GpsdAddress& address, int waitMs);

class GpsdSerialDevice final : public SerialDevice {
public:
    GpsdSerialDevice(GpsdAddress address, Clock& clock) : address_(std::move(address)), clock_(clock) {}
    ~GpsdSerialDevice() override;
    GpsdSerialDevice(const GpsdSerialDevice&) = delete;
    GpsdSerialDevice& operator=(const GpsdSerialDevice&) = delete;

    // Every port name reaches gpsd, and the line settings are not checked: gpsd sets the
    // receiver's line itself. Always Open, whether or not the host resolves and gpsd is
    // there yet; until then the port is away.
    SerialStatus open(std::string_view portName, const SerialLineSettings& settings) override;
    int queuedBytes() override;
    int read(std::uint8_t* dst, int maxBytes) override;
    void purge() override;
    void close() override;
    LinkState linkState() const override;

private:
    enum class Stage { Closed, Resolving, Unresolved, Waiting, Connecting, Connected };
    struct SocketAddress {
        std::vector<std::uint8_t> bytes;  // a sockaddr of the family
        int family = 0;
    };
    struct Lookup;  // shared with the thread that looks the host up

    void startLookup();
    void finishLookup();
    void advance();
    void connectFromNextAddress();
    void dropAttempt();
    void goAway();
    void sendPendingCommand();

    GpsdAddress address_;
    Clock& clock_;
    std::shared_ptr<Lookup> lookup_;
    bool lookupFailureTold_ = false;
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
