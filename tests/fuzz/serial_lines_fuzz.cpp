// The line reader over a device whose bytes arrive in random pieces at random times.
// The first eight bytes of the input drive the pieces, the rest is the stream. Every
// line given out must be the bytes of the stream that end where the reader stands.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gps/serial_port.h"
#include "platform/headless/virtual_clock.h"
#include "tests/fakes/fake_serial.h"

namespace {

void check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quorel;
    if (size < 8) return 0;
    std::uint64_t seed = 0;
    std::memcpy(&seed, data, 8);
    const std::string stream(reinterpret_cast<const char*>(data) + 8, size - 8);
    auto next = [&seed]() {
        seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(seed >> 33);
    };

    platform::VirtualClock clock;
    fakes::FakeSerial device(clock);
    device.openAll = true;
    device.readLimit = 1 + static_cast<int>(next() % 4096);
    SerialPort port(device, clock);
    check(openSerialPort(port, "COM0:", 4800, 8, 0, 0, 0));  // purges: the stream comes after it
    std::int64_t at = 0;
    for (std::size_t pos = 0; pos < stream.size();) {
        const std::size_t piece = 1 + next() % 700;
        device.arrive(std::string_view(stream).substr(pos, piece), at);
        pos += piece;
        at += next() % 600;  // now and then longer than the reader waits
    }

    SentenceBuffer sentence{};
    for (std::size_t round = 0; round < 4 * stream.size() + 64; ++round) {
        const bool asSentence = (next() & 1) != 0;
        const int n = asSentence ? readSentence(port, sentence) : readLine(port, '\n');
        check(n >= -1 && n <= kSerialReadMax);
        if (n > 0) {
            const std::size_t unread = port.rxCount > 0 ? static_cast<std::size_t>(port.rxCount - port.rxPos) : 0;
            const std::size_t end = device.delivered - unread - static_cast<std::size_t>(port.carryCount);
            check(end >= static_cast<std::size_t>(n) && end <= stream.size());
            const std::string expected = stream.substr(end - static_cast<std::size_t>(n), static_cast<std::size_t>(n));
            check(std::memcmp(port.lineBuffer.data(), expected.data(), expected.size()) == 0);
            check(expected.back() == '\n' || port.carryCount > 0);
            if (asSentence) {
                if (n < kSentenceBufferSize) {
                    check(std::memcmp(sentence.data(), expected.data(), expected.size()) == 0);
                    check(sentence[static_cast<std::size_t>(n)] == '\0');
                } else {
                    check(sentence[0] == '\0');
                }
            }
        }
        if (n <= 0 && device.undelivered() == 0 && port.rxCount == 0 && port.carryCount == 0) break;
    }
    check(device.undelivered() == 0);
    return 0;
}
