#pragma once
// The clock of headless runs: time passes only when the script lets it (tick, wait) or
// when the program sleeps, so a scenario of minutes runs in milliseconds, the same way
// every time.
#include <cstdint>

#include "platform/clock.h"

namespace quorel::platform {

class VirtualClock final : public Clock {
public:
    std::int64_t nowMs() override { return now_; }
    void sleepMs(int ms) override {
        if (ms > 0) now_ += ms;
    }
    // Moves the time forward to t; never backwards.
    void advanceTo(std::int64_t t) {
        if (t > now_) now_ = t;
    }

private:
    std::int64_t now_ = 0;
};

}  // namespace quorel::platform
