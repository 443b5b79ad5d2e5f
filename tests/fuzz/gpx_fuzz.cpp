// The token scanner over any bytes. Beyond not crashing: reading the bytes in small
// chunks gives what reading them whole gives, and every point kept is drawable.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "gpx/gpx_reader.h"

namespace {

// Every path's name and the bits of its points; aborts on a point that cannot be drawn.
std::string read(std::string_view text, std::size_t chunkBytes) {
    quorel::GpxPathList tracks, routes;
    quorel::GpxPath waypoints;
    quorel::GpxOverlays out{tracks, routes, waypoints};
    quorel::readGpxText(text, out, chunkBytes);
    std::string s;
    const auto add = [&s](const quorel::GpxPath& path) {
        s += path.name + '\n';
        for (const quorel::GeoPoint& p : path.points.items()) {
            if (!(std::fabs(p.lat) <= 90 && std::fabs(p.lon) <= 180 && std::isfinite(p.ele))) std::abort();
            s.append(reinterpret_cast<const char*>(&p), sizeof p);
        }
    };
    for (const quorel::GpxPath& p : tracks.items()) add(p);
    s += "|routes|";
    for (const quorel::GpxPath& p : routes.items()) add(p);
    add(waypoints);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (read(text, 0) != read(text, size == 0 ? 1 : 1 + data[0] % 7)) std::abort();
    return 0;
}
