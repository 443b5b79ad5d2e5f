#include "gps/gpx_writer.h"

#include "platform/format.h"

namespace quorel {

void writeGpxHeader(std::string& out, std::string_view name) {
    out +=
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx\n version=\"1.1\"\n"
        "creator=\"Yarrowfen - https://quorel.invalid/\"\n"
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
        "xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
        "xsi:schemaLocation=\"http://www.topografix.com/GPX/1/1\n"
        "http://www.topografix.com/GPX/1/1/gpx.xsd\"><trk>\n"
        "<name>";
    platform::appendXmlEscaped(out, name);
    out += "</name>\n<number>1</number>\n<trkseg>\n";
}

void writeGpxFooter(std::string& out) { out += kGpxFooter; }

void writeTrackPointText(std::string& out, double lat, double lon, double ele, std::int32_t date, std::int32_t time) {
    platform::appendFormat(out, "<trkpt lat=\"%.6f\" lon=\"%.6f\">\n <ele>%.6f</ele>\n", lat, lon, ele);
    if (time != 0 && date != 0) {
        const UtcStamp t = decodeStamp(date, time);
        // A leap second (23:59:60) is no dateTime of the schema, and readers take it for the
        // start of the day: it is written as the second before it.
        const int second = t.second == 60 ? 59 : t.second;
        platform::appendFormat(out, " <time>%d-%02d-%02dT%02d:%02d:%02dZ</time>\n", t.year, t.month, t.day, t.hour,
                               t.minute, second);
    }
    out += "</trkpt>\n";
}

void writeRoutePoint(std::string& out, const GeoPoint& p) {
    writeTrackPointText(out, p.lat, p.lon, p.ele, p.utcDate, p.utcTime);
}

UtcStamp decodeStamp(std::int32_t date, std::int32_t time) {
    return {2000 + date % 100, (date % 10000) / 100, date / 10000, time / 10000, (time % 10000) / 100, time % 100};
}

}  // namespace quorel
