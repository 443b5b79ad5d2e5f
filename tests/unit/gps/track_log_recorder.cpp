// Test helper: writes its process id, starts the log as a start of the program does, then
// records points as pollGps does and reports each on standard output once
// writeTrackPointToLog has returned; at the end it closes the log and, when given a route
// file, saves a route of two points there; given --wait instead, it then waits to be killed.
//   track_log_recorder STORAGE_ROOT POINTS MICROSECONDS_BETWEEN_POINTS [ROUTE_FILE|--wait]
// Point i is at lat and lon 35 and 139 + i/100000, ele i, on 18 July 2008 at 10:00:00 UTC
// + i seconds; the clock advances one second per point, so the log syncs every ten.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gps/gps_receiver.h"
#include "platform/headless/virtual_clock.h"

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) return 2;
    quorel::GpsReceiver gps;
    gps.storageRootPath = argv[1];
    quorel::platform::VirtualClock clock;
    std::printf("%d\n", static_cast<int>(::getpid()));
    std::fflush(stdout);
    quorel::loadPreviousTrack(gps);
    quorel::openTrackLog(gps, clock);
    if (!gps.trackFile.isOpen()) return 3;
    for (int i = 0; i < std::atoi(argv[2]); ++i) {
        clock.advanceBy(1000);
        const int second = 10 * 3600 + i;
        const int time = (second / 3600) * 10000 + (second / 60 % 60) * 100 + second % 60;
        quorel::writeTrackPointToLog(gps, 35 + i / 100000.0, 139 + i / 100000.0, i, 180708, time);
        const std::string line = std::to_string(i + 1) + "\n";
        if (::write(1, line.data(), line.size()) < 0) return 4;
        ::usleep(static_cast<useconds_t>(std::atoi(argv[3])));
    }
    if (!quorel::closeTrackLog(gps)) return 5;
    if (argc == 5 && std::string(argv[4]) == "--wait") ::pause();
    quorel::GpxPath route;
    route.addPoint(quorel::GeoPoint{35, 139, 0, 0, 0});
    route.addPoint(quorel::GeoPoint{36, 140, 0, 0, 0});
    return argc == 5 && quorel::saveCurrentRoute(argv[4], route) != 0 ? 6 : 0;
}
