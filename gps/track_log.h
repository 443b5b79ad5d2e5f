#pragma once
// GPX 1.1 in one fixed shape, one element per line: a single track with a single
// segment. The running track log and the current route file are written with it.
#include <cstdint>
#include <cstdio>
#include <string>

#include "gpx/collections.h"

namespace quorel {

struct GpsReceiver;

// The open working log, or none.
struct TrackLogFile {
    std::FILE* stream = nullptr;
    bool isOpen() const { return stream != nullptr; }
};

void writeGpxHeader(std::FILE* stream, const char* name);
void writeGpxFooter(std::FILE* stream);
void writeRoutePoint(std::FILE* stream, const GeoPoint& point);

// Appends one recorded point to the running log, naming its dated copy after the first
// point's local date and time.
void writeTrackPoint(GpsReceiver& gps, double lat, double lon, double ele, std::int32_t date,
                     std::int32_t time);

// Forms trackFilePath under gps.storageRootPath and reads the previous run's log into
// gps.track.
void loadPreviousTrack(GpsReceiver& gps);

// Starts the working log (emptying the previous run's), finishes it and copies it to its
// dated name.
void openTrackLog(GpsReceiver& gps);
void closeTrackLog(GpsReceiver& gps);

// 0 when written, -1 when the file cannot be created.
int saveCurrentRoute(const std::string& path, const GpxPath& route);

}  // namespace quorel
