// The line scanner over any bytes: no crash, the same path whole or in small chunks,
// and only drawable points.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "gpx/gpx_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    quorel::GpxPath whole;
    quorel::loadTrackText(text, whole);
    quorel::GpxPath pieces;
    quorel::loadTrackText(text, pieces, size == 0 ? 1 : 1 + data[0] % 7);
    if (whole.name != pieces.name || whole.pointCount() != pieces.pointCount()) std::abort();
    for (int i = 0; i < whole.pointCount(); ++i) {
        const quorel::GeoPoint& p = whole.points[i];
        const quorel::GeoPoint& q = pieces.points[i];
        if (p.lat != q.lat || p.lon != q.lon || p.ele != q.ele) std::abort();
        if (!(std::fabs(p.lat) <= 90 && std::fabs(p.lon) <= 180 && std::isfinite(p.ele))) std::abort();
    }
    return 0;
}
