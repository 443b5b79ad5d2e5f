#pragma once
// Between a tile tree (zoom/column/row.png or .jpg) and one MBTiles file, both ways,
// with the tile bytes unchanged; and the walk over every tile a store holds that the
// check of a map needs.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "map/mbtiles.h"

namespace quorel {

// Told how far long work has got: done of total (total 0 when unknown).
using ProgressFn = std::function<void(std::int64_t done, std::int64_t total)>;

struct TreeTile {
    TileKey key;
    std::filesystem::path file;
};

struct TreeListing {
    std::vector<TreeTile> tiles;                // in zoom, column, row order
    std::vector<std::filesystem::path> others;  // files that are not tiles of the tree
};

// Every tile file of the tree: numeric zoom, column and row inside the world, ".png"
// or ".jpg". Where a tile has several files, the one the map shows is listed and the
// rest are among the others: the .png before the .jpg, and a name without leading
// zeros ("7/3/4.png") before one with them ("07/3/04.png").
TreeListing listTree(const std::filesystem::path& dir);

// The same walk without the list: tile is called for every tile in zoom, column, row
// order, until it returns false, and other for every file that is not a tile (in no
// order). Only one column's files are held at a time, so a tree of millions of tiles is
// walked in little memory. False when tile stopped the walk.
bool walkTree(const std::filesystem::path& dir, const std::function<bool(const TreeTile&)>& tile,
              const std::function<void(const std::filesystem::path&)>& other);

struct PackResult {
    std::int64_t tiles = 0;
    std::vector<std::filesystem::path> skipped;  // files of the tree that are not tiles
};

// Writes the tiles of dir into a new MBTiles file out (metadata name, format, minzoom,
// maxzoom; rows turned to TMS). The file appears whole or not at all: it is built
// beside out under another name and renamed. An existing out is not replaced.
bool packTree(const std::filesystem::path& dir, const std::filesystem::path& out, PackResult& result,
              const ProgressFn& progress, std::string& error);

struct UnpackResult {
    std::int64_t tiles = 0;
    std::int64_t outsideWorld = 0;    // rows whose zoom, column or row no tile can have
    std::filesystem::path different;  // the tile file that kept an unpack from starting
};

// Writes every tile of the MBTiles file in as dir/zoom/column/row.png or .jpg (by the
// bytes; else by the metadata format), each file whole under its name (written under
// another and renamed). A tile the tree shows already with other bytes (or cannot show)
// is replaced only when replace is set; otherwise nothing at all is written, and the
// first such file is in result.different.
bool unpackFile(const std::filesystem::path& in, const std::filesystem::path& dir, bool replace, UnpackResult& result,
                const ProgressFn& progress, std::string& error);

// The file of the first tile of in (in its table's order) that the tree dir shows with
// other bytes, or cannot show; empty when there is none.
std::filesystem::path firstDifferentTile(const std::filesystem::path& in, const std::filesystem::path& dir);

// The tables of an MBTiles file, without the index of tiles (made after a bulk insert).
inline constexpr const char* kMbtilesTables =
    "CREATE TABLE metadata (name TEXT, value TEXT);"
    "CREATE TABLE tiles (zoom_level INTEGER, tile_column INTEGER, tile_row INTEGER, tile_data BLOB);";

// Writes bytes to file through a temporary name beside it, so that the file is either
// whole or as it was.
bool writeTileFile(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes, std::string& error);

// ".png" or ".jpg" by the first bytes of a tile, "" when they are neither.
std::string extensionFor(const std::vector<std::uint8_t>& bytes);

}  // namespace quorel
