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

// Requests are recorded as "zoom/col/row". A tagged tile is 256 x 256 with pixel (x, y) =
// rgb(x, y, tag), so a test can tell which tile and pixel went where.
struct FakeTiles : TileLoader {
    std::map<std::string, platform::Bitmap> pictures;
    std::map<std::string, int> tags;
    std::vector<std::string> asked;

    bool load(MapView& view, const std::string& path) override;
    static std::string name(int zoom, std::int64_t col, std::int64_t row);
    static int tagFor(std::int64_t col, std::int64_t row) { return static_cast<int>((col % 16) * 16 + (row % 16)); }
    // Tiles tagged tagFor(col, row) in the square of the given half side around col, row.
    void addAround(int zoom, std::int64_t col, std::int64_t row, int span);
};

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
