#pragma once
// Which tiles a trip needs: the tiles that tracks and routes pass through, or that a
// box covers, at one zoom, in the program's own projection (map/projection), so that
// the tool and the map agree on every tile edge.
#include <cstdint>
#include <optional>
#include <set>
#include <tuple>
#include <vector>

#include "map/projection.h"

namespace quorel {

struct TileCell {
    std::int64_t col = 0;
    std::int64_t row = 0;
    friend bool operator<(const TileCell& a, const TileCell& b) {
        return std::tie(a.col, a.row) < std::tie(b.col, b.row);
    }
    friend bool operator==(const TileCell&, const TileCell&) = default;
};

using TileSet = std::set<TileCell>;

// Zooms the tool works at.
inline constexpr int kMaxCoverageZoom = 24;

// Adds the tiles the line through the points passes through at zoom: every tile whose
// inside the straight line on the map touches, edge to edge. Between two points the
// line goes the short way round, across the antimeridian where that is shorter, as a
// track recorded there does. Parts beyond the Mercator limits add nothing.
void addLineTiles(const std::vector<GeoCoord>& points, int zoom, TileSet& tiles);

// The tiles of the box from (lat1, lon1) to (lat2, lon2); lon1 is its west edge and
// lon2 its east edge, so a box with lon1 > lon2 spans the antimeridian.
void addBoxTiles(GeoCoord corner1, GeoCoord corner2, int zoom, TileSet& tiles);

// tiles with every tile within margin tiles of them (a square), columns round the world.
TileSet withMargin(const TileSet& tiles, int zoom, int margin);

// What a trip needs at zoom: the tiles of the lines and of the box (when there is one),
// with margin tiles around them. coverage lists these and fetch gets them.
struct TripArea {
    std::vector<std::vector<GeoCoord>> lines;
    std::optional<std::pair<GeoCoord, GeoCoord>> box;  // the two corners, as addBoxTiles takes them
    int margin = 0;
};
TileSet tripTiles(const TripArea& area, int zoom);

}  // namespace quorel
