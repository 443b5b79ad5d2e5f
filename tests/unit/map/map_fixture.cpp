#include "tests/unit/map/map_fixture.h"

#include <cstring>

#include "app/surfaces.h"
#include "map/projection.h"
#include "platform/format.h"
#include "platform/raster/raster.h"

namespace quorel::test {

std::string FakeTiles::name(int zoom, std::int64_t col, std::int64_t row) {
    return platform::format("%d/%lld/%lld", zoom, static_cast<long long>(col), static_cast<long long>(row));
}

void FakeTiles::addAround(int zoom, std::int64_t col, std::int64_t row, int span) {
    for (std::int64_t c = col - span; c <= col + span; ++c) {
        for (std::int64_t r = row - span; r <= row + span; ++r) tags[name(zoom, c, r)] = tagFor(c, r);
    }
}

bool FakeTiles::load(MapView& view, const std::string& path) {
    const std::string prefix = "/card/Maps/std/";
    asked.push_back(path.substr(prefix.size(), path.size() - prefix.size() - 4));
    view.tileBitmap.reset();
    if (const auto it = pictures.find(asked.back()); it != pictures.end()) view.tileBitmap = it->second;
    if (const auto it = tags.find(asked.back()); it != tags.end()) {
        view.tileBitmap = platform::createBitmap(256, 256);
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                const platform::Color c = platform::rgb(x, y, it->second);
                std::memcpy(&view.tileBitmap->bits[static_cast<std::size_t>(y * 1024 + x * 4)], &c, 4);
            }
        }
    }
    return view.tileBitmap.has_value();
}

MapScreen::MapScreen(int width, int height) : window(platform::createBitmap(width, height)) {
    view.uiScale = width / 480.0;
    view.storageRootPath = "/card/";
    createSurfaces(view, window);
    gps.batteryPercent = 255;
}

void MapScreen::centreOn(int x, int y) {
    const GeoCoord g = screenToGeo(view, x, y);
    view.tapX = x;
    view.tapY = y;
    view.centerLat = g.lat;
    view.centerLon = g.lon;
}

}  // namespace quorel::test
