// Test helper: records points through writeTrackPoint in a loop, as pollGps does, and
// reports each point on standard output once writeTrackPoint has returned.
//   track_log_recorder STORAGE_ROOT POINTS MICROSECONDS_BETWEEN_POINTS
// Point i (from 0) is at lat 35 + i/100000, lon 139 + i/100000, ele i, on 18 July 2008
// at 10:00:00 UTC + i seconds; the clock advances one second per point, so the log
// syncs every ten points.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gps/gps_receiver.h"
#include "gps/track_log.h"

namespace {

struct StepClock final : quorel::platform::Clock {
    std::int64_t now = 0;
    std::int64_t nowMs() override { return now; }
    void sleepMs(int ms) override { now += ms; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    quorel::GpsReceiver gps;
    gps.storageRootPath = argv[1];
    const int points = std::atoi(argv[2]);
    const auto pause = static_cast<useconds_t>(std::atoi(argv[3]));
    StepClock clock;
    quorel::loadPreviousTrack(gps);
    quorel::openTrackLog(gps, clock);
    if (!gps.trackFile.isOpen()) return 3;
    for (int i = 0; i < points; ++i) {
        clock.now += 1000;
        const int second = 10 * 3600 + i;
        const std::int32_t time = (second / 3600) * 10000 + (second / 60 % 60) * 100 + second % 60;
        quorel::writeTrackPoint(gps, 35 + i / 100000.0, 139 + i / 100000.0, i, 180708, time);
        const std::string line = std::to_string(i + 1) + "\n";
        if (::write(1, line.data(), line.size()) < 0) return 4;
        if (pause > 0) ::usleep(pause);
    }
    quorel::closeTrackLog(gps);
    return 0;
}
