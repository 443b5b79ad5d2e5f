#include "tests/unit/map/map_fixture.h"

#include <cstring>
#include <utility>

#include "app/surfaces.h"
#include "platform/format.h"
#include "platform/raster/raster.h"

namespace quorel::test {

bool FakeTiles::load(MapView& view, const std::string& path) {
    const std::string name = path.rfind(prefix, 0) == 0 ? path.substr(prefix.size()) : path;
    asked.push_back(name.size() > 4 ? name.substr(0, name.size() - 4) : name);  // without ".png"
    if (const auto it = files.find(asked.back()); it != files.end()) {
        view.tileBitmap = it->second;
        return true;
    }
    if (const auto it = tagged.find(asked.back()); it != tagged.end()) {
        view.tileBitmap = taggedTile(it->second);
        return true;
    }
    view.tileBitmap.reset();
    return false;
}

namespace {
std::string nameOf(int zoom, std::int64_t col, std::int64_t row) {
    return platform::format("%d/%lld/%lld", zoom, static_cast<long long>(col), static_cast<long long>(row));
}
}  // namespace

void FakeTiles::add(int zoom, std::int64_t col, std::int64_t row, platform::Bitmap picture) {
    files[nameOf(zoom, col, row)] = std::move(picture);
}

void FakeTiles::addTagged(int zoom, std::int64_t col, std::int64_t row, int tag) { tagged[nameOf(zoom, col, row)] = tag; }

platform::Bitmap taggedTile(int tag) {
    platform::Bitmap tile = platform::createBitmap(256, 256);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const platform::Color c = platform::rgb(x, y, tag);
            std::memcpy(tile.bits.data() + static_cast<std::size_t>(y) * 1024 + static_cast<std::size_t>(x) * 4, &c, 4);
        }
    }
    return tile;
}

int tagOf(platform::Color c) { return platform::blueOf(c); }

MapScreen::MapScreen(int width, int height) : window(platform::createBitmap(width, height)) {
    initMapView(view);
    view.screenWidth = width;
    view.screenHeight = height;
    view.uiScale = width / 480.0;
    view.storageRootPath = "/card/";
    tiles.prefix = "/card/Maps/std/";
    createSurfaces(view, window);
    gps.batteryPercent = 255;
}

platform::Bitmap crop(const platform::Bitmap& from, int x, int y, int width, int height) {
    platform::Bitmap out = platform::createBitmap(width, height);
    platform::blit(out, 0, 0, width, height, from, x, y);
    return out;
}

}  // namespace quorel::test
