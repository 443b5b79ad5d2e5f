#include "app/main_timer.h"

namespace quorel {

void armTimer(MainTimer& timer, platform::Clock& clock, int periodMs) {
    timer.periodMs = periodMs < kMinTimerMs ? kMinTimerMs : periodMs;
    timer.deadlineMs = clock.nowMs() + timer.periodMs;
    timer.armed = true;
}

void stopTimer(MainTimer& timer) { timer.armed = false; }

bool timerDue(const MainTimer& timer, platform::Clock& clock) {
    return timer.armed && clock.nowMs() >= timer.deadlineMs;
}

}  // namespace quorel
