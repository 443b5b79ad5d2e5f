#include "platform/serial_termios.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/scan.h"

namespace quorel::platform {
namespace {

struct SpeedEntry {
    std::int32_t rate;
    speed_t code;
};

constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},         {150, B150},
    {200, B200},         {300, B300},         {600, B600},         {1200, B1200},       {1800, B1800},
    {2400, B2400},       {4800, B4800},       {9600, B9600},       {19200, B19200},     {38400, B38400},
    {57600, B57600},     {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000}, {1500000, B1500000},
    {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
};

bool speedCode(std::int32_t rate, speed_t& code) {
    for (const SpeedEntry& e : kSpeeds) {
        if (e.rate == rate) {
            code = e.code;
            return true;
        }
    }
    return false;
}

tcflag_t sizeFlag(std::int32_t byteSize) {
    switch (byteSize & 0xFF) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

// Fills attrs with the requested framing on top of raw mode; false when a parameter has
// no termios meaning.
bool applyLine(termios& attrs, const SerialLineSettings& s) {
    speed_t speed = B0;
    if (!isValidLineSettings(s) || !speedCode(s.baudRate, speed)) return false;
    cfmakeraw(&attrs);
    attrs.c_cflag |= CLOCAL | CREAD;
    attrs.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    attrs.c_cflag |= sizeFlag(s.byteSize);
    switch (s.parity) {
    case 1:
        attrs.c_cflag |= PARENB | PARODD;
        break;
    case 2:
        attrs.c_cflag |= PARENB;
        break;
    case 3:
        attrs.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 4:
        attrs.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (s.stopBits != 0) attrs.c_cflag |= CSTOPB;  // termios has no 1.5: two it is
    if ((s.rtsControl & 3) == 2) attrs.c_cflag |= CRTSCTS;
    attrs.c_cc[VMIN] = 0;
    attrs.c_cc[VTIME] = 0;
    return cfsetispeed(&attrs, speed) == 0 && cfsetospeed(&attrs, speed) == 0;
}

// Raw input that never waits, then the line of the settings, each step with its status.
SerialStatus configure(int fd, const SerialLineSettings& settings) {
    ::ioctl(fd, TIOCEXCL);  // not shared: a second open of the port fails while we hold it
    termios attrs{};
    if (::tcgetattr(fd, &attrs) != 0) return SerialStatus::TimeoutsUnreadable;
    termios timeouts = attrs;
    timeouts.c_cc[VMIN] = 0;
    timeouts.c_cc[VTIME] = 0;
    if (::tcsetattr(fd, TCSANOW, &timeouts) != 0) return SerialStatus::TimeoutsRejected;
    termios line = attrs;
    if (!applyLine(line, settings) || ::tcsetattr(fd, TCSANOW, &line) != 0) return SerialStatus::LineRejected;
    // tcsetattr succeeds when any part was taken; a driver that kept its own speed or
    // byte size has refused the line.
    termios taken{};
    if (::tcgetattr(fd, &taken) != 0 || (taken.c_cflag & CSIZE) != (line.c_cflag & CSIZE) ||
        cfgetospeed(&taken) != cfgetospeed(&line)) {
        return SerialStatus::LineRejected;
    }
    // RTS off or on as asked; pseudo-terminals have no modem lines, so failure is ignored.
    const int rts = TIOCM_RTS;
    const int rtsMode = settings.rtsControl & 3;
    if (rtsMode == 0) ::ioctl(fd, TIOCMBIC, &rts);
    if (rtsMode == 1 || rtsMode == 3) ::ioctl(fd, TIOCMBIS, &rts);
    return SerialStatus::Open;
}

}  // namespace

ComPortNames ComPortNames::linuxTable(std::string deviceDir) {
    if (!deviceDir.empty() && deviceDir.back() == '/') deviceDir.pop_back();
    return ComPortNames(Kind::Table, std::move(deviceDir));
}

ComPortNames ComPortNames::fixed(std::string path) { return ComPortNames(Kind::Fixed, std::move(path)); }

ComPortNames ComPortNames::none() { return ComPortNames(Kind::None, {}); }

int comPortNumber(std::string_view name) {
    if (name.substr(0, 3) != "COM") return -1;
    const std::string_view rest = name.substr(3);
    if (rest.empty() || !(rest[0] >= '0' && rest[0] <= '9')) return -1;  // no sign, no spaces
    std::int32_t n = 0;
    const ScanResult r = scanInt(rest, n);
    if (!r.ok || rest.substr(r.consumed) != ":") return -1;
    return n;
}

std::vector<std::string> ComPortNames::candidates(std::string_view portName) const {
    switch (kind_) {
    case Kind::None:
        return {};
    case Kind::Fixed:
        return {text_};
    case Kind::Table:
        break;
    }
    if (!portName.empty() && portName.front() == '/') return {std::string(portName)};
    const int n = comPortNumber(portName);
    if (n < 0) return {};
    const std::string number = std::to_string(n);
    return {text_ + "/ttyUSB" + number, text_ + "/ttyACM" + number};
}

TermiosSerialDevice::~TermiosSerialDevice() { close(); }

std::string describeOpenFailure(const std::string& path, int error) {
    if (error == ENOENT) return "the receiver " + path + " is not there";
    if (error != EACCES && error != EPERM) return "the receiver " + path + " cannot be opened: " + std::strerror(error);
    struct stat st {};
    const group* owner = ::stat(path.c_str(), &st) == 0 ? ::getgrgid(st.st_gid) : nullptr;
    const std::string name = owner != nullptr ? owner->gr_name : "dialout";
    return "the receiver " + path + " cannot be opened: permission denied to this user (the device belongs to group " +
           name + "); add yourself to the group with 'sudo usermod -aG " + name + " $USER', then log in again";
}

SerialStatus TermiosSerialDevice::open(std::string_view portName, const SerialLineSettings& settings) {
    if (fd_ || away_) return SerialStatus::AlreadyOpen;
    SerialStatus status = SerialStatus::OpenFailed;
    problems_.clear();
    const std::vector<std::string> paths = names_.candidates(portName);
    for (const std::string& path : paths) {
        status = openPath(path, settings);
        // Only a path that does not open sends the search on to the next candidate.
        if (status != SerialStatus::OpenFailed) break;
        // In the table a missing device is the normal case; anything else is worth a word.
        if (openErrno_ != ENOENT || names_.isFixed()) {
            problems_ +=
                describeOpenFailure(path, openErrno_) + (names_.isFixed() ? "; trying again every 3 s\n" : "\n");
        }
    }
    if (status == SerialStatus::OpenFailed && names_.isFixed() && !paths.empty()) {
        // Not there yet, or not ours yet: looked for again as an unplugged receiver is.
        path_ = paths.front();
        away_ = true;
        nextAttemptMs_ = clock_.nowMs() + kReconnectIntervalMs;
        status = SerialStatus::Open;
    }
    if (status == SerialStatus::Open) {
        settings_ = settings;
        answered_ = false;
        if (!away_) problems_.clear();
    }
    return status;
}

SerialStatus TermiosSerialDevice::openPath(const std::string& path, const SerialLineSettings& settings) {
    // O_NONBLOCK: neither the open (waiting for carrier) nor any read may wait.
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        openErrno_ = errno;
        return SerialStatus::OpenFailed;
    }
    const SerialStatus status = configure(fd.get(), settings);
    if (status != SerialStatus::Open) {
        ::ioctl(fd.get(), TIOCNXCL);
        return status;
    }
    fd_ = std::move(fd);
    path_ = path;
    return status;
}

void TermiosSerialDevice::goAway() {
    ::ioctl(fd_.get(), TIOCNXCL);
    fd_.reset();
    away_ = true;
    answered_ = false;
    nextAttemptMs_ = clock_.nowMs() + kReconnectIntervalMs;
}

bool TermiosSerialDevice::reopenWhenDue() {
    if (clock_.nowMs() < nextAttemptMs_) return false;
    nextAttemptMs_ = clock_.nowMs() + kReconnectIntervalMs;
    if (openPath(path_, settings_) != SerialStatus::Open) return false;
    away_ = false;
    ::tcflush(fd_.get(), TCIOFLUSH);  // what a half-attached device queued belongs to no line
    return true;
}

int TermiosSerialDevice::queuedBytes() {
    if (away_ && !reopenWhenDue()) return -1;
    if (!fd_) return -1;
    int queued = 0;
    if (::ioctl(fd_.get(), FIONREAD, &queued) != 0) {
        goAway();
        return -1;
    }
    return queued < 0 ? 0 : queued;
}

int TermiosSerialDevice::read(std::uint8_t* dst, int maxBytes) {
    if (!fd_) return -1;
    if (maxBytes <= 0) return 0;
    for (;;) {
        const ssize_t n = ::read(fd_.get(), dst, static_cast<std::size_t>(maxBytes));
        if (n > 0) answered_ = true;
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
        goAway();
        return -1;
    }
}

void TermiosSerialDevice::purge() {
    if (fd_) ::tcflush(fd_.get(), TCIOFLUSH);
}

void TermiosSerialDevice::close() {
    away_ = false;
    path_.clear();
    if (!fd_) return;
    ::ioctl(fd_.get(), TIOCNXCL);
    fd_.reset();
}

LinkState TermiosSerialDevice::linkState() const {
    if (away_) return LinkState::Away;
    if (!fd_) return LinkState::Closed;
    return answered_ ? LinkState::Answering : LinkState::Silent;
}

}  // namespace quorel::platform
