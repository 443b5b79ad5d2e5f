#pragma once
// Decoded tiles kept for the next time they are wanted: zooming back out, going home and
// back, recentring on ground seen a moment ago. A tile is known by where it came from
// (TileOrigin: the file, zoom, column and row) and by the file's size and modification
// time, so a tile file replaced on the card while the program runs is decoded again;
// the enlarged parts of coarser tiles that stand in for missing ones are kept the same
// way, under the coarser tile's origin. Bounded in bytes of pixels; the picture used
// longest ago goes first. Pictures are shared, never changed: a caller holding one keeps
// it whatever the cache lets go.
//
// For the main thread only: nothing here is locked. The loader's worker threads read and
// decode tiles, and never ask the cache or keep anything in it.
#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

#include "map/tile_store.h"
#include "platform/raster/bitmap.h"

namespace quorel {

// About 32 MB: some 130 tiles of 32-bit pixels, three fills of an 800 x 480 mosaic.
inline constexpr std::size_t kDefaultTileCacheBytes = std::size_t{32} << 20;

// Which picture of a tile: the tile itself (levelsUp 0), or the square of it that lies
// over the tile (col, row) levelsUp zooms finer, enlarged to a whole tile.
struct TilePart {
    int levelsUp = 0;
    std::int64_t col = 0;
    std::int64_t row = 0;
};

class TileCache {
public:
    explicit TileCache(std::size_t budgetBytes = kDefaultTileCacheBytes) : budget_(budgetBytes) {}

    // The picture made from origin, now the most recently used; nothing when not kept.
    TilePicture find(const TileOrigin& origin, const TilePart& part = {});

    // Keeps the picture, then lets the least recently used go until the budget holds. A
    // picture larger than the whole budget (or any with budget 0) is not kept.
    void keep(const TileOrigin& origin, TilePicture picture, const TilePart& part = {});

    // Lets the least recently used go until pictures of the given bytes would fit as
    // well, before they are made: the cache and the pictures on their way into it then
    // stay within the budget together.
    void makeRoom(std::size_t bytes);

    void setBudget(std::size_t budgetBytes);
    std::size_t bytes() const { return bytes_; }
    std::size_t count() const { return byKey_.size(); }

private:
    struct Entry {
        std::string key;
        TilePicture picture;
        std::size_t bytes = 0;
    };
    void trimTo(std::size_t budget);

    std::size_t budget_;
    std::size_t bytes_ = 0;
    std::list<Entry> entries_;  // most recently used first
    std::unordered_map<std::string, std::list<Entry>::iterator> byKey_;
};

// The size of a tile in the cache: its pixels and colour table.
std::size_t tileBytes(const platform::Bitmap& tile);

// The size in the cache of a 256 x 256 tile of 32-bit pixels, as most are.
inline constexpr std::size_t kTilePictureBytes = 256 * 256 * 4 + sizeof(platform::Bitmap);

}  // namespace quorel
