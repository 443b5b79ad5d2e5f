#pragma once
// A map screen for tests: a window, a MapView with the program's surfaces and images,
// the records a frame reads, and tiles held in memory that record every tile asked for.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/surfaces.h"
#include "gps/gps_receiver.h"
#include "map/frame.h"
#include "map/projection.h"
#include "map/tile_mosaic.h"
#include "platform/format.h"
#include "platform/raster/raster.h"
#include "state/map_view.h"

namespace quorel::test {

// Requests are recorded as "zoom/col/row". A tagged tile is 256 x 256 with pixel (x, y) =
// rgb(x, y, tag), so a test can tell which tile and pixel went where.
struct FakeTiles : TileLoader {
    std::map<std::string, platform::Bitmap> pictures;
    std::map<std::string, int> tags;
    std::vector<std::string> asked;

    static std::string name(int zoom, std::int64_t col, std::int64_t row) {
        return platform::format("%d/%lld/%lld", zoom, static_cast<long long>(col), static_cast<long long>(row));
    }
    static int tagFor(std::int64_t col, std::int64_t row) { return static_cast<int>((col % 16) * 16 + (row % 16)); }
    // Tiles tagged tagFor(col, row) in the square of the given half side around col, row.
    void addAround(int zoom, std::int64_t col, std::int64_t row, int span) {
        for (std::int64_t c = col - span; c <= col + span; ++c) {
            for (std::int64_t r = row - span; r <= row + span; ++r) tags[name(zoom, c, r)] = tagFor(c, r);
        }
    }
    bool load(MapView& view, int zoom, std::int64_t col, std::int64_t row) override {
        asked.push_back(name(zoom, col, row));
        view.tileBitmap.reset();
        if (const auto it = pictures.find(asked.back()); it != pictures.end()) {
            view.tileBitmap = std::make_shared<const platform::Bitmap>(it->second);
        }
        if (const auto it = tags.find(asked.back()); it != tags.end()) {
            platform::Bitmap tile = platform::createBitmap(256, 256);
            for (int y = 0; y < 256; ++y) {
                for (int x = 0; x < 256; ++x) platform::setPixel(tile, x, y, platform::rgb(x, y, it->second));
            }
            view.tileBitmap = std::make_shared<const platform::Bitmap>(std::move(tile));
        }
        return view.tileBitmap != nullptr;
    }
};

// Storage root "/card/", home at zoom 14, battery without reading; a window of width x
// height, turned `rotation` degrees.
struct MapScreen {
    MapScreen(int width, int height, int rotation = 0) : window(platform::createBitmap(width, height)) {
        view.rotation = rotation;
        view.uiScale = (rotation == 90 || rotation == 270 ? height : width) / 480.0;
        view.storageRootPath = "/card/";
        createSurfaces(view, window);
        gps.batteryPercent = 255;
    }
    MapScreen(const MapScreen&) = delete;  // the view points at the window

    platform::Bitmap window;
    MapView view;
    GpsReceiver gps;
    DisplayIdle idle;
    FakeTiles tiles;

    void compose(RedrawKind kind = RedrawKind::Normal) { composeFrame(view, FrameSources{gps, idle, tiles}, kind); }
    // As a tap does: the centre moves to view point (x, y).
    void centreOn(int x, int y) {
        const GeoCoord g = screenToGeo(view, x, y);
        view.tapX = x;
        view.tapY = y;
        view.centerLat = g.lat;
        view.centerLon = g.lon;
    }
};

}  // namespace quorel::test
