#pragma once
// What the program knows from the GPS receiver: the last accepted fix, the recorded
// track and the state of the running track log. One exists from start-up to exit.
#include <cstdint>
#include <string>

#include "gps/track_log.h"
#include "gpx/collections.h"

namespace quorel {

struct GpsReceiver {
    double latitude = 0.0;         // degrees of the last accepted GGA sentence
    double longitude = 0.0;
    std::int32_t fixTime = 0;      // hhmmss of that sentence
    std::int32_t fixDate = 0;      // ddmmyy of the last RMC sentence whose date was read
    std::int32_t satellites = 0;
    double altitude = 0.0;
    double speedKnots = 0.0;
    double speedKmh = 0.0;
    double course = 0.0;           // read with the speed; nothing uses it
    bool ggaReady = false;
    bool rmcReady = false;
    bool hasMovingFix = false;
    std::int32_t batteryPercent = 0;

    // The track log. Paths are host paths under the storage root.
    TrackLogFile trackFile;
    std::string storageRootPath;   // host directory of the storage root, trailing '/'
    std::string trackFilePath;     // storage root + "GPX/scurrent.gpx"
    std::string datedTrackPath;    // name of the copy made at exit; empty until the first point
    bool datedNamePending = false;

    GpxPath track;                 // the previous run's log, then every point recorded now
};

}  // namespace quorel
