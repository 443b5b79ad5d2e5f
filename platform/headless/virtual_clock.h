#pragma once
// The clock of headless runs and tests: time passes only when the script lets it (tick,
// wait), when a test moves it, or when the program sleeps, so a scenario of minutes runs
// in milliseconds, the same way every time. It counts the sleeps, and onSleep runs after
// each one, so a test can make something happen while the code under test waits.
#include <cstdint>
#include <functional>

#include "platform/clock.h"

namespace quorel::platform {

class VirtualClock final : public Clock {
public:
    std::int64_t nowMs() override { return now_; }
    std::int64_t now() const { return now_; }
    void sleepMs(int ms) override {
        ++sleeps_;
        if (ms > 0) now_ += ms;
        if (onSleep) onSleep(*this);
    }
    // Moves the time forward to t; never backwards.
    void advanceTo(std::int64_t t) {
        if (t > now_) now_ = t;
    }
    void advanceBy(std::int64_t ms) { advanceTo(now_ + ms); }
    int sleeps() const { return sleeps_; }

    std::function<void(VirtualClock&)> onSleep;

private:
    std::int64_t now_ = 0;
    int sleeps_ = 0;
};

}  // namespace quorel::platform
