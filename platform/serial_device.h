#pragma once
// A serial port as the receiver's line reader sees it: opened by its "COMn:" name, then
// asked how many received bytes are queued and read without ever blocking.
//
// Four kinds exist: termios devices (serial_termios.h), gpsd over TCP (gpsd_device.h), the
// in-memory port of headless runs (virtual_serial.h), and scripted fakes in the tests.
//
// A port that was open and went away (a USB receiver unplugged, gpsd stopped) reports -1
// like a failed port, and the device itself tries again, never more often than every
// kReconnectIntervalMs and without waiting, until the same device or daemon answers; the
// reader then simply finds bytes again. Only close() ends this.
#include <cstdint>
#include <string>
#include <string_view>

namespace quorel::platform {

// The outcome of an open, numbered as the receiver's port keeps it: 0 open and
// configured, then the step that failed. 1 (already open) is decided by the caller
// before a device is asked.
enum class SerialStatus : std::int32_t {
    Open = 0,
    AlreadyOpen = 1,
    OpenFailed = 2,          // no device behind the name, or it cannot be opened
    TimeoutsUnreadable = 3,  // the device is not a terminal: its read mode cannot be read
    TimeoutsRejected = 4,    // non-blocking reads cannot be set
    LineRejected = 5,        // speed, byte size, parity or stop bits not accepted
};

// Line parameters. Parity 0 none, 1 odd, 2 even, 3 mark, 4 space; stop bits 0 one,
// 1 one and a half, 2 two; RTS control (low two bits) 0 off, 1 on, 2 handshake,
// 3 toggle. The program always asks for no parity, one stop bit and RTS off.
struct SerialLineSettings {
    std::int32_t baudRate = 4800;
    std::int32_t byteSize = 8;  // data bits; the low 8 bits count
    std::int32_t parity = 0;
    std::int32_t stopBits = 0;
    std::int32_t rtsControl = 0;
};

// True for the speeds a Linux serial driver can be asked for by number (50 to 4000000).
bool isStandardBaudRate(std::int32_t baudRate);

// True when every line parameter has a meaning: a standard speed, 5 to 8 data bits,
// parity 0..4 and stop bits 0..2. A device refuses anything else with LineRejected.
bool isValidLineSettings(const SerialLineSettings& settings);

// How an open port stands, for the state dump.
enum class LinkState : std::int32_t {
    Closed = 0,     // not open, or closed for good
    Silent = 1,     // open (or connected), nothing received since it was (re)opened
    Answering = 2,  // bytes have arrived since it was (re)opened
    Away = 3,       // went away or not reached yet: being tried again
};

const char* linkStateName(LinkState state);  // "closed", "silent", "answering", "away"

inline constexpr int kReconnectIntervalMs = 3000;

struct SerialDevice {
    virtual ~SerialDevice() = default;

    // Opens and configures the port named portName ("COM3:"); raw 8-bit input, reads that
    // never wait. A device holds at most one open port.
    virtual SerialStatus open(std::string_view portName, const SerialLineSettings& settings) = 0;

    // Received bytes waiting to be read; -1 when the port has failed or is closed.
    virtual int queuedBytes() = 0;

    // Reads at most maxBytes of what is queued into dst; the count read (0 when nothing
    // is queued), -1 on error or when closed.
    virtual int read(std::uint8_t* dst, int maxBytes) = 0;

    // Drops whatever is queued in either direction.
    virtual void purge() = 0;

    virtual void close() = 0;

    virtual LinkState linkState() const = 0;

    // Why the receiver cannot be read yet, for the user: one line per device that would
    // not open, naming it and the reason (and the remedy where there is one); empty when
    // the last open found nothing wrong.
    virtual std::string openProblems() const { return {}; }
};

}  // namespace quorel::platform
