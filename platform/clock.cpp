#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace quorel::platform {
namespace {

struct SystemClock final : Clock {
    std::int64_t nowMs() override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    void sleepMs(int ms) override {
        if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

}  // namespace

std::int64_t utcSecondsNow() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

Clock& systemClock() {
    static SystemClock clock;
    return clock;
}

}  // namespace quorel::platform
