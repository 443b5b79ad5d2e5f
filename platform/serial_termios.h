#pragma once
// Serial ports over termios: raw 8-bit input, the speed and framing of the settings,
// non-blocking reads of what the driver has queued (FIONREAD).
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/file_handle.h"
#include "platform/serial_device.h"

namespace quorel::platform {

// Which Linux devices a "COMn:" name reaches.
//
// The table: "COMn:" is /dev/ttyUSBn (USB-serial adapters and most USB receivers), then,
// when that does not open, /dev/ttyACMn (receivers that present themselves as modems).
// The port search COM0: to COM9: therefore takes the first USB-serial or ACM device that
// opens, whatever is behind it. A fixed port (AutoOpen 0, CommPort n) may also reach
// either of the two: CommPort 1 opens /dev/ttyACM1 when there is no /dev/ttyUSB1, and the
// kernel numbers both kinds in plug-in order, so after re-plugging the same number can
// name another adapter or a modem's control port. On-board UARTs (/dev/ttyS*,
// /dev/ttyAMA*) are never reached through the table: on most machines they exist and
// open with nothing behind them, which would end every search at COM0:. Such a receiver,
// or a stable /dev/serial/by-id/... link, is named with --gps PATH (fixed()).
class ComPortNames {
public:
    static ComPortNames linuxTable(std::string deviceDir = "/dev");
    static ComPortNames fixed(std::string path);  // every name opens this path
    static ComPortNames none();                   // every open fails

    // The host paths to try for portName, in order. In the table a name that begins
    // with '/' is a host path already and stands alone; "COMn:" with a negative or
    // unreadable n, or any other name, reaches nothing.
    std::vector<std::string> candidates(std::string_view portName) const;

    bool isFixed() const { return kind_ == Kind::Fixed; }

private:
    enum class Kind { Table, Fixed, None };
    ComPortNames(Kind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
    Kind kind_;
    std::string text_;  // the device directory of the table, or the fixed path
};

// The n of "COMn:", or -1 when the name has another form or n is negative.
int comPortNumber(std::string_view portName);

// The line that tells the user why the receiver at path would not open (errno error): the
// device, the reason, and for a permission refused, the group that owns the device and
// how to join it.
std::string describeOpenFailure(const std::string& path, int error);

// A port whose queue query or read fails (the receiver unplugged: the kernel hangs the
// terminal up) is closed and reported away; every kReconnectIntervalMs the next queue
// query opens the same host path again with the same line settings, so a receiver that
// comes back under the same name (a /dev/serial/by-id link, or ttyUSB0 again) is read on.
// A fixed path that does not open at all counts as such a port from the start, so a
// receiver plugged in after the start is found.
class TermiosSerialDevice final : public SerialDevice {
public:
    TermiosSerialDevice(ComPortNames names, Clock& clock) : names_(std::move(names)), clock_(clock) {}
    ~TermiosSerialDevice() override;
    TermiosSerialDevice(const TermiosSerialDevice&) = delete;
    TermiosSerialDevice& operator=(const TermiosSerialDevice&) = delete;

    SerialStatus open(std::string_view portName, const SerialLineSettings& settings) override;
    int queuedBytes() override;
    int read(std::uint8_t* dst, int maxBytes) override;
    void purge() override;
    void close() override;
    LinkState linkState() const override;
    std::string openProblems() const override { return problems_; }

    // The host path of the open port (also while it is away); empty when closed.
    const std::string& openPath() const { return path_; }

private:
    SerialStatus openPath(const std::string& path, const SerialLineSettings& settings);
    void goAway();
    bool reopenWhenDue();

    ComPortNames names_;
    Clock& clock_;
    UniqueFd fd_;
    std::string path_;
    SerialLineSettings settings_;
    bool away_ = false;
    bool answered_ = false;
    std::int64_t nextAttemptMs_ = 0;
    int openErrno_ = 0;     // of the last open(2) that failed
    std::string problems_;  // of the last open, one line each
};

}  // namespace quorel::platform
