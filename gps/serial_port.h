#pragma once
// The link to the GPS receiver: one serial port, polled from the timer tick, its bytes
// cut at line feeds into lines. Nothing is ever written to the receiver.
//
// A read takes only what the driver has queued, at most 2048 bytes. When nothing is
// queued the reader tries again every 10 ms, 52 times (about half a second on the clock),
// which paces the poll to the receiver's once-a-second bursts.
//
// A poll (beginSerialPoll) gets those 52 waits once, however its bytes dribble in, so a
// peer that sends a byte now and then cannot hold the program; a line cut short by the
// end of the poll's waits is kept and goes on in the next poll. A poll also never reads
// behind a receiver faster than the polls: see beginSerialPoll.
#include <array>
#include <cstdint>
#include <string_view>

#include "gps/gps_settings.h"
#include "platform/clock.h"
#include "platform/serial_device.h"

namespace quorel {

inline constexpr int kSerialReadMax = 2048;     // bytes taken by one read
inline constexpr int kSerialPollAttempts = 52;  // reads of an empty queue before giving up
inline constexpr int kSerialPollSleepMs = 10;
inline constexpr int kSentenceBufferSize = 512;  // a sentence of 511 bytes and its zero

using SentenceBuffer = std::array<char, kSentenceBufferSize>;

struct SerialPort {
    SerialPort(platform::SerialDevice& dev, platform::Clock& clk) : device(dev), clock(clk) {}

    platform::SerialDevice& device;            // how "COMn:" names are opened and read
    platform::Clock& clock;                    // the polling waits
    platform::SerialDevice* handle = nullptr;  // the device while the port is open
    std::int32_t status = 0;                   // of the last open: platform::SerialStatus as a number

    // Raw bytes, not terminated. A line holds at most 2048 bytes; the piece buffer also
    // holds a piece held back to begin the next line.
    std::array<std::uint8_t, kSerialReadMax + 1> pieceBuffer{};
    std::array<std::uint8_t, 2 * kSerialReadMax + 2> lineBuffer{};
    std::array<std::uint8_t, kSerialReadMax + 1> rxBuffer{};
    std::int32_t rxPos = 0;       // next byte of rxBuffer not yet cut off
    std::int32_t rxCount = 0;     // bytes in rxBuffer; 0: the next cut reads again
    std::int32_t carryCount = 0;  // length of the held-back piece
    std::int32_t lineLength = 0;
    std::int32_t pollWaitsLeft = kSerialPollAttempts;  // sleeps left to the current poll
    bool pollTimeUp = false;                           // the last 0 of readPiece ended the poll's waits, not a silence
};

// Opens and configures the port; status is set in every case (1 when already open).
bool openSerialPort(SerialPort& port, std::string_view portName, std::int32_t baudRate, std::int32_t byteSize,
                    std::int32_t parity, std::int32_t stopBits, std::int32_t rtsControl);

// The same on another device than the port's own, which must outlive the port's use: the
// daemon that holds the receiver when the port search found none.
bool openSerialPortOn(SerialPort& port, platform::SerialDevice& device, std::string_view portName,
                      const platform::SerialLineSettings& line);

// Purges and closes an open port; what was read but not yet delivered is dropped.
void closeSerialPort(SerialPort& port);

// Begins a poll: the poll's waits are full again. When more than one read (2048 bytes)
// waits, counting what an earlier poll left unread, only the newest 2048 bytes are kept,
// from the line after the last one of shortLine bytes or fewer (where a poll stops, so
// the sentences of one fix come together), else from their first whole line: the poll
// works on the newest sentences and no fix shown or recorded lags behind the receiver. A device
// that has gone away takes every byte not yet given out with it, so that nothing of an
// old connection runs into the first line of the next.
void beginSerialPoll(SerialPort& port, int shortLine);

// Bytes read into rxBuffer: 0 when nothing is queued, -1 on error or when closed.
int readAvailable(SerialPort& port);

// Length of the piece now in pieceBuffer (up to and including the delimiter, or the rest
// of the read); 0 when nothing arrived within the polling time, -1 on error.
int readPiece(SerialPort& port, std::uint8_t delimiter);

// Length of the line now in lineBuffer, normally ending in its line feed; or the 0 / -1
// of readPiece, when the bytes assembled so far are dropped (kept to begin the next line
// when the 0 came from the end of the poll's waits). A line that reaches 2048
// bytes comes without its line feed: the piece that would overflow it is held back and
// begins the next line, so the first call on 3000 bytes without a line feed gives 0 and
// the second the first 2048 bytes. A held-back piece that ends in a line feed is given
// out as a line of its own by the next call.
int readLine(SerialPort& port, std::uint8_t delimiter);

// One line into the caller's buffer with a zero after it, and its length; -1 when no line
// was read. A line of 512 bytes or more does not fit: it is consumed and dropped, the
// buffer then holds an empty string and the result is still the line's length.
int readSentence(SerialPort& port, SentenceBuffer& sentence);

// Opens "COMn:" with no parity, one stop bit and RTS off; the resulting status.
std::int32_t openComPort(SerialPort& port, std::int32_t n, std::int32_t baudRate, std::int32_t byteSize);

// The first of COM0: to COM9: that opens and takes the parameters, or -1.
int scanComPorts(SerialPort& port, std::int32_t baudRate, std::int32_t byteSize);

// The search's port number or -1 when settings.autoOpen is set; otherwise the status of
// opening COM<commPort>:, never negative. The caller tears the port down at exit only for
// a result that is not negative.
int openGpsPort(SerialPort& port, const GpsSettings& settings);

}  // namespace quorel
