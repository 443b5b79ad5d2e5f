#pragma once
// A clock that moves only when slept on or told to, and counts the sleeps. onSleep runs
// after each sleep, so a test can make something happen while the code under test waits.
#include <cstdint>
#include <functional>

#include "platform/clock.h"

namespace quorel::fakes {

struct FakeClock final : platform::Clock {
    std::int64_t now = 0;
    int sleeps = 0;
    std::function<void(FakeClock&)> onSleep;

    std::int64_t nowMs() override { return now; }
    void sleepMs(int ms) override {
        ++sleeps;
        if (ms > 0) now += ms;
        if (onSleep) onSleep(*this);
    }
};

}  // namespace quorel::fakes
