#pragma once
// Map tiles of the demo neighbourhood: which tiles make up the demo map, how a tile is
// drawn, and how the set is written as a zoom/column/row tree of PNG files.
//
// A tile is drawn from the world position of its pixels alone (pixel centres taken
// through the program's own projection), so a region drawn across a tile edge is
// pixel for pixel what the two tiles hold, and the map lines up with positions that
// the program projects.
#include <array>
#include <compare>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "map/projection.h"

namespace quorel::demo {

struct TileId {
    int zoom = 0;
    std::int64_t col = 0;
    std::int64_t row = 0;

    auto operator<=>(const TileId&) const = default;
};

// The tiles of one zoom whose square comes within radiusMetres of home: at low zooms
// the one to four tiles that hold the area, at high zooms the disc itself.
std::vector<TileId> tilesAroundHome(int zoom, double radiusMetres);

// The demo map: at each zoom, the tiles around home and every tile within margin tiles
// of the route's line (as quorel-tiles coverage counts them), each once, by zoom.
std::vector<TileId> demoTiles(int zoomMin, int zoomMax, double radiusMetres, const std::vector<GeoCoord>& route,
                              int margin);

// Both types look the same on the map: the demo is a map, not a test of the decoder
// (greyscale and missing tiles are the tests' business).
enum class TileColourType { Rgb, Palette };
inline constexpr int kTileColourTypeCount = 2;

// Most tiles are RGB; a fixed share, spread evenly over the map, is palette (any 4 x 4
// block of tiles holds both).
TileColourType tileColourType(const TileId& tile);

// 8-bit RGB, rows from the top, no padding.
struct RgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// The map over world pixels [wx0, wx0 + width) x [wy0, wy0 + height) at zoom.
RgbImage renderRegion(int zoom, std::int64_t wx0, std::int64_t wy0, int width, int height);
RgbImage renderTile(const TileId& tile);

// The fixed colour table of palette tiles: the map's colours and their blends.
const std::vector<std::array<std::uint8_t, 3>>& tilePalette();

// Writes the image as an 8-bit PNG of the given colour type, through the program's PNG
// writer; the file appears complete or not at all. False with a reason when it cannot
// be written.
bool writeTilePng(const std::filesystem::path& file, const RgbImage& image, TileColourType type, std::string& error);

std::filesystem::path tilePath(const std::filesystem::path& mapDir, const TileId& tile);

struct TileTreeStats {
    int tiles = 0;
    std::uint64_t bytes = 0;
    std::array<int, kTileColourTypeCount> byType{};
};

// Writes mapDir/<zoom>/<col>/<row>.png for every tile. jobs is the number of drawing
// threads (0: one per processor).
bool writeTileTree(const std::filesystem::path& mapDir, const std::vector<TileId>& tiles, int jobs,
                   TileTreeStats& stats, std::string& error);

}  // namespace quorel::demo
