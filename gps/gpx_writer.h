#pragma once
// GPX 1.1 in one fixed shape, one element per line: a single track with a single
// segment. The running track log and the current route file are both written in it,
// and read back line by line by the program's own reader and by other GPX software.
//   writeGpxHeader(out, "Current"); writeTrackPointText(out, 34.4824466, 135.8241783,
//   12.5, 180708, 143514); writeGpxFooter(out) ->
//   ...<trk>\n<name>Current</name>\n<number>1</number>\n<trkseg>\n
//   <trkpt lat="34.482447" lon="135.824178">\n <ele>12.500000</ele>\n
//    <time>2008-07-18T14:35:14Z</time>\n</trkpt>\n</trkseg>\n</trk>\n</gpx>\n
// Every function appends text to out; nothing here touches a file.
#include <cstdint>
#include <string>
#include <string_view>

#include "gpx/collections.h"

namespace quorel {

// The closing lines, as writeGpxFooter appends them.
inline constexpr std::string_view kGpxFooter = "</trkseg>\n</trk>\n</gpx>\n";

void writeGpxHeader(std::string& out, std::string_view name);
void writeGpxFooter(std::string& out);
// A point: lat, lon, ele with 6 decimals, and a time element when date (ddmmyy) and
// time (hhmmss, UTC) are both non-zero.
void writeTrackPointText(std::string& out, double lat, double lon, double ele, std::int32_t date, std::int32_t time);
void writeRoutePoint(std::string& out, const GeoPoint& point);

// A date and time as the writer decodes them (year 2000 + yy), fields unchecked.
struct UtcStamp {
    int year = 2000;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};
UtcStamp decodeStamp(std::int32_t date, std::int32_t time);

}  // namespace quorel
