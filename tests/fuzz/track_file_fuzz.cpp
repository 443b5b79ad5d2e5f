// The line scanner over any bytes: no crash, the same path whole or in small chunks,
// and only drawable points.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "gpx/gpx_reader.h"

namespace {

std::string read(std::string_view text, std::size_t chunkBytes) {
    quorel::GpxPath path;
    quorel::loadTrackText(text, path, chunkBytes);
    std::string s = path.name + '\n';
    for (const quorel::GeoPoint& p : path.points.items()) {
        if (!(std::fabs(p.lat) <= 90 && std::fabs(p.lon) <= 180 && std::isfinite(p.ele))) std::abort();
        s.append(reinterpret_cast<const char*>(&p), sizeof p);
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (read(text, 0) != read(text, size == 0 ? 1 : 1 + data[0] % 7)) std::abort();
    return 0;
}
