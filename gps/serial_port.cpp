#include "gps/serial_port.h"

#include <algorithm>
#include <cstring>

#include "platform/format.h"

namespace quorel {
namespace {

constexpr int kStaleReadsPerPoll = 64;  // a daemon may hold far more than its socket: the rest goes next time
constexpr std::int32_t kStatusAlreadyOpen = static_cast<std::int32_t>(platform::SerialStatus::AlreadyOpen);

void copyBytes(std::uint8_t* dst, const std::uint8_t* src, std::int32_t count) {
    if (count > 0) std::memcpy(dst, src, static_cast<std::size_t>(count));
}

void dropBuffered(SerialPort& port) { port.rxPos = port.rxCount = port.carryCount = port.lineLength = 0; }

// Where a poll over the bytes of buf should begin: after the last line of shortLine bytes
// or fewer (the newest epoch, whole or still arriving), else after the first line feed
// (the bytes before it end a line whose start is gone); -1 without a line feed.
std::int32_t newestStart(const std::uint8_t* buf, std::int32_t count, int shortLine) {
    std::int32_t first = -1;
    std::int32_t afterShort = -1;
    for (std::int32_t i = 0, lineStart = -1; i < count; ++i) {
        if (buf[i] != '\n') continue;
        if (lineStart >= 0 && i - lineStart + 1 <= shortLine) afterShort = i + 1;
        if (first < 0) first = i + 1;
        lineStart = i + 1;
    }
    return afterShort >= 0 ? afterShort : first;
}

}  // namespace

bool openSerialPort(SerialPort& port, std::string_view portName, std::int32_t baudRate, std::int32_t byteSize,
                    std::int32_t parity, std::int32_t stopBits, std::int32_t rtsControl) {
    return openSerialPortOn(port, port.device, portName, {baudRate, byteSize, parity, stopBits, rtsControl});
}

bool openSerialPortOn(SerialPort& port, platform::SerialDevice& device, std::string_view portName,
                      const platform::SerialLineSettings& line) {
    port.status = 0;
    if (port.handle != nullptr) {
        port.status = kStatusAlreadyOpen;
        return false;
    }
    const platform::SerialStatus result = device.open(portName, line);
    port.status = static_cast<std::int32_t>(result);
    if (result != platform::SerialStatus::Open) return false;
    port.handle = &device;
    // Whatever the driver held from before belongs to no line of ours.
    port.handle->purge();
    return true;
}

void closeSerialPort(SerialPort& port) {
    if (port.handle == nullptr) return;
    port.handle->purge();
    port.handle->close();
    port.handle = nullptr;
    dropBuffered(port);
}

void beginSerialPoll(SerialPort& port, int shortLine) {
    port.pollWaitsLeft = kSerialPollAttempts;
    if (port.handle == nullptr) return;
    int queued = port.handle->queuedBytes();
    std::int32_t unread = port.rxCount > 0 ? port.rxCount - port.rxPos : 0;
    if (queued >= 0 && queued + unread <= kSerialReadMax) return;
    if (queued > kSerialReadMax) unread = 0;  // older than all the device holds
    for (int i = 0; i < kStaleReadsPerPoll && queued > kSerialReadMax; ++i) {
        const int got = port.handle->read(port.rxBuffer.data(), std::min(queued - kSerialReadMax, kSerialReadMax));
        queued = got < 0 ? -1 : port.handle->queuedBytes();
        if (got == 0) break;
    }
    // The newest bytes: the end of what is unread here, then what the device holds.
    const std::int32_t kept = queued < 0 ? 0 : std::min(unread, kSerialReadMax - std::min(queued, kSerialReadMax));
    std::memmove(port.rxBuffer.data(), port.rxBuffer.data() + port.rxCount - kept, static_cast<std::size_t>(kept));
    dropBuffered(port);
    if (queued < 0) return;
    const int want = std::min(queued, kSerialReadMax - kept);
    const int got = want > 0 ? port.handle->read(port.rxBuffer.data() + kept, want) : 0;
    if (got < 0) return;
    const std::int32_t count = kept + std::min(got, want);
    const std::int32_t start = newestStart(port.rxBuffer.data(), count, shortLine);
    if (start < 0 || start >= count) return;
    port.rxPos = start;
    port.rxCount = count;
}

int readAvailable(SerialPort& port) {
    if (port.handle == nullptr) return -1;
    const int queued = port.handle->queuedBytes();
    if (queued < 0) return -1;
    if (queued == 0) return 0;
    const int want = std::min(queued, kSerialReadMax);
    const int got = port.handle->read(port.rxBuffer.data(), want);
    if (got < 0) return -1;
    return std::min(got, want);
}

int readPiece(SerialPort& port, std::uint8_t delimiter) {
    if (port.rxCount == 0) {
        port.rxPos = 0;
        port.pollTimeUp = false;
        int attempt = 0;
        for (;;) {
            port.rxCount = readAvailable(port);
            if (port.rxCount > 0) break;
            if (port.rxCount < 0) {
                port.rxCount = 0;
                return -1;
            }
            port.clock.sleepMs(kSerialPollSleepMs);
            const bool silent = ++attempt == kSerialPollAttempts;
            const bool timeUp = --port.pollWaitsLeft <= 0;
            if (silent || timeUp) {
                port.pollWaitsLeft = kSerialPollAttempts;  // a caller that reads on waits afresh
                port.pollTimeUp = !silent;
                return 0;
            }
        }
    }
    std::int32_t end = port.rxCount - 1;
    for (std::int32_t i = port.rxPos; i < port.rxCount; ++i) {
        if (port.rxBuffer[static_cast<std::size_t>(i)] == delimiter) {
            end = i;
            break;
        }
    }
    const std::int32_t length = end - port.rxPos + 1;
    copyBytes(port.pieceBuffer.data(), port.rxBuffer.data() + port.rxPos, length);
    if (end >= port.rxCount - 1) port.rxCount = 0;
    port.rxPos = end + 1;
    return length;
}

int readLine(SerialPort& port, std::uint8_t delimiter) {
    copyBytes(port.lineBuffer.data(), port.pieceBuffer.data(), port.carryCount);
    port.lineLength = port.carryCount;
    port.carryCount = 0;
    // A held-back piece that ends in the delimiter is the tail of an overlong line; given
    // out on its own it cannot swallow the sentence after it.
    if (port.lineLength > 0 && port.lineBuffer[static_cast<std::size_t>(port.lineLength - 1)] == delimiter) {
        return port.lineLength;
    }
    for (;;) {
        const int n = readPiece(port, delimiter);
        if (n == 0 && port.pollTimeUp) {  // the poll is over, not the line: it goes on next time
            copyBytes(port.pieceBuffer.data(), port.lineBuffer.data(), port.lineLength);
            port.carryCount = port.lineLength;
        }
        if (n <= 0) return n;
        if (port.lineLength + n >= kSerialReadMax) {
            port.carryCount = n;  // stays in pieceBuffer and begins the next line
            return port.lineLength;
        }
        copyBytes(port.lineBuffer.data() + port.lineLength, port.pieceBuffer.data(), n);
        if (port.pieceBuffer[static_cast<std::size_t>(n - 1)] == delimiter) return port.lineLength + n;
        port.lineLength += n;
    }
}

int readSentence(SerialPort& port, SentenceBuffer& sentence) {
    const int n = readLine(port, '\n');
    if (n < 1) return -1;
    if (n >= kSentenceBufferSize) {
        sentence[0] = '\0';
        return n;
    }
    std::memcpy(sentence.data(), port.lineBuffer.data(), static_cast<std::size_t>(n));
    sentence[static_cast<std::size_t>(n)] = '\0';
    return n;
}

std::int32_t openComPort(SerialPort& port, std::int32_t n, std::int32_t baudRate, std::int32_t byteSize) {
    openSerialPort(port, platform::format("COM%d:", n), baudRate, byteSize, 0, 0, 0);
    return port.status;
}

int scanComPorts(SerialPort& port, std::int32_t baudRate, std::int32_t byteSize) {
    for (int n = 0; n <= 9; ++n) {
        if (openComPort(port, n, baudRate, byteSize) == 0) return n;
    }
    return -1;
}

int openGpsPort(SerialPort& port, const GpsSettings& settings) {
    if (settings.autoOpen != 0) return scanComPorts(port, settings.baudRate, settings.byteSize);
    return openComPort(port, settings.commPort, settings.baudRate, settings.byteSize);
}

}  // namespace quorel
