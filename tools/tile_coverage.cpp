#include "tools/tile_coverage.h"

#include <algorithm>

namespace quorel {

namespace {

constexpr std::int64_t kTile = 256;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0); }
std::int64_t wrapCol(std::int64_t col, std::int64_t side) { return ((col % side) + side) % side; }

void addCell(std::int64_t col, std::int64_t row, std::int64_t side, TileSet& tiles) {
    if (row >= 0 && row < side) tiles.insert({wrapCol(col, side), row});
}

// The tiles a straight line from world pixel a to world pixel b passes through, walked
// edge crossing by edge crossing; a line through a tile corner passes from one tile to
// the diagonal one without entering the two beside it.
void walkSegment(WorldPixel a, WorldPixel b, std::int64_t side, TileSet& tiles) {
    const std::int64_t dx = b.x - a.x, dy = b.y - a.y;
    std::int64_t cx = floorDiv(a.x, kTile), cy = floorDiv(a.y, kTile);
    const std::int64_t ex = floorDiv(b.x, kTile), ey = floorDiv(b.y, kTile);
    const std::int64_t sx = dx > 0 ? 1 : -1, sy = dy > 0 ? 1 : -1;
    std::int64_t nx = ex > cx ? ex - cx : cx - ex, ny = ey > cy ? ey - cy : cy - ey;
    addCell(cx, cy, side, tiles);
    while (nx > 0 || ny > 0) {
        // The next edge each way, as distances along the line scaled by |dx| * |dy|.
        const std::int64_t edgeX = sx > 0 ? (cx + 1) * kTile : cx * kTile;
        const std::int64_t edgeY = sy > 0 ? (cy + 1) * kTile : cy * kTile;
        const __int128 tx = static_cast<__int128>(edgeX > a.x ? edgeX - a.x : a.x - edgeX) * (dy < 0 ? -dy : dy);
        const __int128 ty = static_cast<__int128>(edgeY > a.y ? edgeY - a.y : a.y - edgeY) * (dx < 0 ? -dx : dx);
        const bool stepX = ny == 0 || (nx > 0 && tx <= ty);
        const bool stepY = nx == 0 || (ny > 0 && ty <= tx);
        if (stepX) cx += sx, --nx;
        if (stepY) cy += sy, --ny;
        addCell(cx, cy, side, tiles);
    }
}

}  // namespace

void addLineTiles(const std::vector<GeoCoord>& points, int zoom, TileSet& tiles) {
    if (zoom < 0 || zoom > kMaxCoverageZoom || points.empty()) return;
    const std::int64_t side = std::int64_t{1} << zoom;
    const std::int64_t world = side * kTile;
    WorldPixel previous = projectToWorldAtZoom(points[0].lat, points[0].lon, zoom);
    walkSegment(previous, previous, side, tiles);
    for (std::size_t i = 1; i < points.size(); ++i) {
        WorldPixel next = projectToWorldAtZoom(points[i].lat, points[i].lon, zoom);
        const WorldPixel drawn = next;
        if (next.x - previous.x > world / 2) next.x -= world;
        if (previous.x - next.x > world / 2) next.x += world;
        walkSegment(previous, next, side, tiles);
        previous = drawn;
    }
}

void addBoxTiles(GeoCoord corner1, GeoCoord corner2, int zoom, TileSet& tiles) {
    if (zoom < 0 || zoom > kMaxCoverageZoom) return;
    const std::int64_t side = std::int64_t{1} << zoom;
    const WorldPixel west = projectToWorldAtZoom(std::max(corner1.lat, corner2.lat), corner1.lon, zoom);
    const WorldPixel east = projectToWorldAtZoom(std::min(corner1.lat, corner2.lat), corner2.lon, zoom);
    std::int64_t c0 = floorDiv(west.x, kTile), c1 = floorDiv(east.x, kTile);
    if (corner1.lon > corner2.lon) c1 += side;
    const std::int64_t r0 = std::max<std::int64_t>(floorDiv(west.y, kTile), 0);
    const std::int64_t r1 = std::min<std::int64_t>(floorDiv(east.y, kTile), side - 1);
    c1 = std::min(c1, c0 + side - 1);
    for (std::int64_t c = c0; c <= c1; ++c) {
        for (std::int64_t r = r0; r <= r1; ++r) addCell(c, r, side, tiles);
    }
}

TileSet withMargin(const TileSet& tiles, int zoom, int margin) {
    if (margin <= 0 || zoom < 0 || zoom > kMaxCoverageZoom) return tiles;
    const std::int64_t side = std::int64_t{1} << zoom;
    const std::int64_t m = std::min<std::int64_t>(margin, side);
    TileSet out;
    for (const TileCell& t : tiles) {
        for (std::int64_t c = t.col - m; c <= t.col + m; ++c) {
            for (std::int64_t r = t.row - m; r <= t.row + m; ++r) addCell(c, r, side, out);
        }
    }
    return out;
}

TileSet tripTiles(const TripArea& area, int zoom) {
    TileSet tiles;
    for (const auto& line : area.lines) addLineTiles(line, zoom, tiles);
    if (area.box) addBoxTiles(area.box->first, area.box->second, zoom, tiles);
    return withMargin(tiles, zoom, area.margin);
}

}  // namespace quorel
