#pragma once
// A map screen for tests: a window, a MapView with the program's surfaces and images,
// the records a frame reads, and a tile source that records every file asked for.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/state/map_view.h"
#include "gps/gps_receiver.h"
#include "map/frame.h"
#include "map/tile_mosaic.h"
#include "platform/raster/bitmap.h"
#include "platform/raster/raster.h"

namespace quorel::test {

// Tiles held in memory under "zoom/col/row" names. Every request is recorded, in order,
// by that name (the storage root and "Maps/std/" cut off).
struct FakeTiles : TileLoader {
    std::map<std::string, platform::Bitmap> files;
    std::map<std::string, int> tagged;  // tiles drawn by taggedTile when asked for
    std::vector<std::string> asked;
    std::string prefix;  // the host path of the map directory, with a trailing '/'

    bool load(MapView& view, const std::string& path) override;
    void add(int zoom, std::int64_t col, std::int64_t row, platform::Bitmap picture);
    void addTagged(int zoom, std::int64_t col, std::int64_t row, int tag);
};

// 256 x 256, pixel (x, y) is rgb(x, y, tag): a test can tell which tile and which pixel
// of it ended up where.
platform::Bitmap taggedTile(int tag);
int tagOf(platform::Color c);

struct MapScreen {
    MapScreen(int width, int height);
    MapScreen(const MapScreen&) = delete;  // the view points at the window
    MapScreen& operator=(const MapScreen&) = delete;

    platform::Bitmap window;
    MapView view;
    GpsReceiver gps;
    DisplayIdle idle;
    FakeTiles tiles;

    FrameSources sources() { return FrameSources{gps, idle, tiles}; }
    FrameSources sources(TileLoader& loader) { return FrameSources{gps, idle, loader}; }
    void compose(RedrawKind kind = RedrawKind::Normal) { composeFrame(view, sources(), kind); }
};

// A picture cut out of a bitmap (32-bit), for golden crops.
platform::Bitmap crop(const platform::Bitmap& from, int x, int y, int width, int height);

}  // namespace quorel::test
