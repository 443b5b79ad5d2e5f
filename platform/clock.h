#pragma once
// Time as a service: the real clock in the window, a virtual one in headless runs and
// tests, so that the timer, the serial polling waits and the idle count never sleep
// for real where a script drives the program.
#include <cstdint>

namespace quorel::platform {

struct Clock {
    virtual ~Clock() = default;
    virtual std::int64_t nowMs() = 0;  // milliseconds since an arbitrary start
    virtual void sleepMs(int ms) = 0;
};

// The host's monotonic clock; sleepMs really sleeps.
Clock& systemClock();

// The host's calendar clock, seconds since 1970-01-01 00:00 UTC, in the window and in
// headless runs alike: it only tells where the sun stands before the receiver does.
std::int64_t utcSecondsNow();

}  // namespace quorel::platform
