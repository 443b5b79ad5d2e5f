#pragma once
// The main timer: one deadline on the platform clock. Every tick stops it first and arms
// it again at its end, so ticks never overlap and a changed period applies from the next
// arming. The front end fires it when the deadline has come.
#include <cstdint>

#include "platform/clock.h"

namespace quorel {

struct MainTimer {
    bool armed = false;
    std::int64_t deadlineMs = 0;
    int periodMs = 0;
};

// Periods below 10 ms are taken as 10 ms and the longest is about 24 days, as a
// handheld's window timer takes them: a "draw_timer 0" in the settings must not turn
// the program into a busy loop.
inline constexpr int kMinTimerMs = 10;

void armTimer(MainTimer& timer, platform::Clock& clock, int periodMs);
void stopTimer(MainTimer& timer);
bool timerDue(const MainTimer& timer, platform::Clock& clock);

}  // namespace quorel
