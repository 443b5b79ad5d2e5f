#pragma once
// A clock that moves only when slept on or told to, and counts the sleeps.
#include <cstdint>

#include "platform/clock.h"

namespace quorel::fakes {

struct FakeClock final : platform::Clock {
    std::int64_t now = 0;
    int sleeps = 0;

    std::int64_t nowMs() override { return now; }
    void sleepMs(int ms) override {
        ++sleeps;
        if (ms > 0) now += ms;
    }
};

}  // namespace quorel::fakes
