#pragma once
// What the program knows from the GPS receiver: the last accepted fix, the recorded
// track and the state of the running track log. One exists from start-up to exit.
#include <cstdint>
#include <filesystem>
#include <string>

#include "gps/gps_settings.h"
#include "gps/serial_port.h"
#include "gps/track_log.h"
#include "gps/trip.h"
#include "gpx/collections.h"
#include "platform/clock.h"
#include "platform/serial_device.h"
#include "power/display_power.h"

namespace quorel {

struct GpsReceiver {
    bool hasFix = false;    // a GGA position has been accepted since start-up
    double latitude = 0.0;  // degrees of the last accepted GGA sentence
    double longitude = 0.0;
    std::int32_t fixTime = 0;  // hhmmss of that sentence
    std::int32_t fixDate = 0;  // ddmmyy of the last RMC sentence whose date was read
    std::int32_t satellites = 0;
    double altitude = 0.0;
    double speedKnots = 0.0;
    double speedKmh = 0.0;
    double course = 0.0;  // read with the speed; nothing uses it
    bool ggaReady = false;
    bool rmcReady = false;
    bool hasMovingFix = false;
    std::int32_t batteryPercent = 0;

    // The track log. Paths are host paths under the storage root.
    TrackLogFile trackFile;
    std::string storageRootPath;  // host directory of the storage root, trailing '/'
    std::string trackFilePath;    // storage root + "GPX/scurrent.gpx"
    std::string datedTrackPath;   // name of the copy made at exit; empty until the first point
    bool datedNamePending = false;
    std::string rescueDir;    // host folder for points the card did not take; empty: none
    TrackLogEnd trackLogEnd;  // what became of the points, set when the log is closed

    GpxPath track;              // the previous run's log, then every point recorded now
    int previousRunPoints = 0;  // how many points of track came from the previous run's log

    // The trip at a glance, fed every recorded point: since this run started, and since
    // the first point of the log (the previous run's points read back at start, then this
    // run's).
    TripTotals tripRun;
    TripTotals tripLog;
};

// The GPS side of the program: the settings, the port and the receiver, one of each from
// initGps to the end. The application owns it and passes it down.
struct GpsContext {
    GpsContext(platform::SerialDevice& device, platform::Clock& clock) : port(device, clock) {}

    GpsSettings settings;
    SerialPort port;
    GpsReceiver receiver;
};

// Clears the receiver (a log still open is finished first) and loads the previous run's
// track from the working log under gps.storageRootPath, counting it into tripLog.
void initGpsReceiver(GpsReceiver& gps);

// Reads setgps.txt from programDir (writing it with the defaults when it is missing),
// places the storage root under deviceRoot, then builds the receiver, which reads the
// previous run's track from there. The port stays closed until openGpsPort.
void initGps(GpsContext& gps, const std::filesystem::path& programDir, const std::filesystem::path& deviceRoot);

// Finishes the track log, then closes the port.
void shutdownGps(GpsContext& gps);

// One timer tick: reads up to 20 lines, accepts a GGA and an RMC fix when both come in
// this poll with the same time, follows the fix, records it when moving, and refreshes
// batteryPercent.
//
// A fix is accepted only with a time and with a position inside the ranges of latitude
// and longitude; 'S' and 'W' make the degrees negative. The first moving fix of a run
// only arms the recording. A recorded point takes its elevation and date from the pair
// that made it, not from a later invalid sentence of the same poll.
void pollGps(GpsContext& gps, const PowerContext& power);

// pi of distances, the scale bar and the heading arrow (the projection has its own), and
// the equatorial radius of the distance model.
inline constexpr double kPiDistance = 3.14159265359;
inline constexpr double kTwoPiDistance = 6.28318530718;
inline constexpr double kEarthRadiusKm = 6378.137;

// Flat-earth distance in kilometres, radius 6378.137 km, elevations included; the
// cosine is taken at a's latitude.
double geoDistanceKm(const GeoPoint& a, const GeoPoint& b);

}  // namespace quorel
