// The plain writer; the crash-proof log and the readers come with the GPX work.
#include "gps/track_log.h"

#include "gps/gps_receiver.h"

namespace quorel {
namespace {

struct Time {
    int year, month, day, hour, minute, second;
};

Time decode(std::int32_t date, std::int32_t time) {
    return {2000 + date % 100, (date % 10000) / 100, date / 10000,
            time / 10000, (time % 10000) / 100, time % 100};
}

void writePoint(std::FILE* f, double lat, double lon, double ele, std::int32_t date, std::int32_t time) {
    std::fprintf(f, "<trkpt lat=\"%.6f\" lon=\"%.6f\">\n <ele>%.6f</ele>\n", lat, lon, ele);
    if (time != 0 && date != 0) {
        const Time t = decode(date, time);
        std::fprintf(f, " <time>%d-%02d-%02dT%02d:%02d:%02dZ</time>\n", t.year, t.month, t.day, t.hour,
                     t.minute, t.second);
    }
    std::fputs("</trkpt>\n", f);
}

}  // namespace

void writeGpxHeader(std::FILE* f, const char* name) {
    std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx\n version=\"1.1\"\n"
               "creator=\"Yarrowfen - https://quorel.invalid/\"\n"
               "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
               "xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
               "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1\n"
               "http://www.topografix.com/GPX/1/1/gpx.xsd\"><trk>\n", f);
    std::fprintf(f, "<name>%s</name>\n<number>1</number>\n<trkseg>\n", name);
}

void writeGpxFooter(std::FILE* f) { std::fputs("</trkseg>\n</trk>\n</gpx>\n", f); }

void writeRoutePoint(std::FILE* f, const GeoPoint& p) { writePoint(f, p.lat, p.lon, p.ele, p.utcDate, p.utcTime); }

void writeTrackPoint(GpsReceiver& gps, double lat, double lon, double ele, std::int32_t date, std::int32_t time) {
    if (!gps.trackFile.isOpen()) return;
    writePoint(gps.trackFile.stream, lat, lon, ele, date, time);
    std::fflush(gps.trackFile.stream);
}

void loadPreviousTrack(GpsReceiver& gps) {
    gps.trackFilePath = gps.storageRootPath + "GPX/scurrent.gpx";
    gps.track.clearPoints();
}

void openTrackLog(GpsReceiver& gps) {
    if (gps.trackFile.isOpen()) return;
    gps.trackFile.stream = std::fopen(gps.trackFilePath.c_str(), "w");
    if (!gps.trackFile.isOpen()) return;
    writeGpxHeader(gps.trackFile.stream, "Current");
    gps.datedNamePending = true;
    gps.datedTrackPath.clear();
}

void closeTrackLog(GpsReceiver& gps) {
    if (!gps.trackFile.isOpen()) return;
    writeGpxFooter(gps.trackFile.stream);
    std::fclose(gps.trackFile.stream);
    gps.trackFile.stream = nullptr;
}

int saveCurrentRoute(const std::string& path, const GpxPath& route) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) return -1;
    writeGpxHeader(f, "Root");
    for (const GeoPoint& p : route.points.items()) writeRoutePoint(f, p);
    writeGpxFooter(f);
    std::fclose(f);
    return 0;
}

}  // namespace quorel
