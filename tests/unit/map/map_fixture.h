#pragma once
// A map screen for tests: a window, a MapView with the program's surfaces and images,
// the records a frame reads, and tiles held in memory that record every file asked for.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/state/map_view.h"
#include "gps/gps_receiver.h"
#include "map/frame.h"
#include "map/tile_mosaic.h"
#include "platform/raster/bitmap.h"

namespace quorel::test {

// Requests are recorded as "zoom/col/row". A tile added with a tag is 256 x 256 with
// pixel (x, y) = rgb(x, y, tag), so a test can tell which tile and pixel went where.
struct FakeTiles : TileLoader {
    std::map<std::string, platform::Bitmap> pictures;
    std::map<std::string, int> tags;
    std::vector<std::string> asked;

    bool load(MapView& view, const std::string& path) override;
    void add(int zoom, std::int64_t col, std::int64_t row, int tag) { tags[name(zoom, col, row)] = tag; }
    static std::string name(int zoom, std::int64_t col, std::int64_t row);
};

platform::Bitmap taggedTile(int tag);

// Storage root "/card/", home at zoom 14, battery without reading.
struct MapScreen {
    MapScreen(int width, int height);
    MapScreen(const MapScreen&) = delete;  // the view points at the window

    platform::Bitmap window;
    MapView view;
    GpsReceiver gps;
    DisplayIdle idle;
    FakeTiles tiles;

    void compose(RedrawKind kind = RedrawKind::Normal) { composeFrame(view, FrameSources{gps, idle, tiles}, kind); }
    void centreOn(int x, int y);  // as a tap does: the centre moves to view point (x, y)
};

}  // namespace quorel::test
