#pragma once
// A serial device driven by a script: which bytes arrive at which time on the headless
// clock, opens that fail, a driver that hands over little per read, and counts of what
// was asked. The headless serial device has none of these, so tests of the port use this.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/headless/virtual_clock.h"
#include "platform/serial_device.h"

namespace quorel::fakes {

class FakeSerial final : public platform::SerialDevice {
public:
    explicit FakeSerial(platform::VirtualClock& clock) : clock_(clock) {}

    bool openAll = false;     // else every open fails with OpenFailed
    int readLimit = 1 << 30;  // the driver hands over at most this much per read

    // Bytes that reach the receive queue once the clock shows atMs.
    void arrive(std::string_view bytes, std::int64_t atMs = 0) {
        for (const char c : bytes) pending_.push_back({atMs, static_cast<std::uint8_t>(c)});
    }

    int reads = 0;
    int purges = 0;
    int closes = 0;
    std::size_t delivered = 0;  // bytes handed over by reads
    bool isOpen() const { return open_; }
    std::size_t undelivered() const { return pending_.size(); }

    platform::SerialStatus open(std::string_view, const platform::SerialLineSettings&) override {
        if (open_) return platform::SerialStatus::AlreadyOpen;
        open_ = openAll;
        return openAll ? platform::SerialStatus::Open : platform::SerialStatus::OpenFailed;
    }

    int queuedBytes() override {
        if (!open_) return -1;
        return static_cast<int>(arrived());
    }

    int read(std::uint8_t* dst, int maxBytes) override {
        ++reads;
        if (!open_) return -1;
        const std::size_t n =
            std::min({arrived(), static_cast<std::size_t>(std::max(maxBytes, 0)), static_cast<std::size_t>(readLimit)});
        for (std::size_t i = 0; i < n; ++i) {
            dst[i] = pending_.front().byte;
            pending_.pop_front();
        }
        delivered += n;
        return static_cast<int>(n);
    }

    // Drops what has arrived; bytes still on their way are not affected.
    void purge() override {
        ++purges;
        const std::size_t n = arrived();
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(n));
    }

    void close() override {
        ++closes;
        open_ = false;
    }
    platform::LinkState linkState() const override {
        return open_ ? platform::LinkState::Silent : platform::LinkState::Closed;
    }

private:
    struct Byte {
        std::int64_t atMs;
        std::uint8_t byte;
    };

    std::size_t arrived() const {
        std::size_t n = 0;
        while (n < pending_.size() && pending_[n].atMs <= clock_.nowMs()) ++n;
        return n;
    }

    platform::VirtualClock& clock_;
    std::deque<Byte> pending_;
    bool open_ = false;
};

}  // namespace quorel::fakes
