// The token scanner over any bytes. Beyond not crashing: reading the bytes in small
// chunks gives what reading them whole gives, and every point kept is drawable.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "gpx/gpx_reader.h"

namespace {

struct Lists {
    quorel::GpxPathList tracks;
    quorel::GpxPathList routes;
    quorel::GpxPath waypoints;
    quorel::GpxOverlays out{tracks, routes, waypoints};
};

void check(bool ok) {
    if (!ok) std::abort();
}

void checkPoints(const quorel::GpxPath& path) {
    for (const quorel::GeoPoint& p : path.points.items()) {
        check(std::fabs(p.lat) <= 90 && std::fabs(p.lon) <= 180 && std::isfinite(p.ele));
    }
}

bool samePoints(const quorel::GpxPath& a, const quorel::GpxPath& b) {
    if (a.name != b.name || a.pointCount() != b.pointCount()) return false;
    for (int i = 0; i < a.pointCount(); ++i) {
        if (a.points[i].lat != b.points[i].lat || a.points[i].lon != b.points[i].lon ||
            a.points[i].ele != b.points[i].ele) {
            return false;
        }
    }
    return true;
}

bool sameLists(const quorel::GpxPathList& a, const quorel::GpxPathList& b) {
    if (a.count() != b.count()) return false;
    for (int i = 0; i < a.count(); ++i) {
        if (!samePoints(a[i], b[i])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Lists whole;
    quorel::readGpxText(text, whole.out);
    for (const quorel::GpxPath& p : whole.tracks.items()) checkPoints(p);
    for (const quorel::GpxPath& p : whole.routes.items()) checkPoints(p);
    checkPoints(whole.waypoints);

    Lists pieces;
    quorel::readGpxText(text, pieces.out, size == 0 ? 1 : 1 + data[0] % 7);
    check(sameLists(whole.tracks, pieces.tracks) && sameLists(whole.routes, pieces.routes) &&
          samePoints(whole.waypoints, pieces.waypoints));
    return 0;
}
