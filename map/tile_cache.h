#pragma once
// Decoded tiles kept for the next time they are wanted: zooming back out, going home and
// back, recentring on ground seen a moment ago. A tile is known by where it came from
// (TileOrigin: the file, zoom, column and row) and by the file's size and modification
// time, so a tile file replaced on the card while the program runs is decoded again.
// Bounded in bytes of pixels; the tile used longest ago goes first.
#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>

#include "map/tile_store.h"
#include "platform/raster/bitmap.h"

namespace quorel {

// About 32 MB: some 130 truecolour tiles, three fills of an 800 x 480 mosaic.
inline constexpr std::size_t kDefaultTileCacheBytes = std::size_t{32} << 20;

class TileCache {
public:
    explicit TileCache(std::size_t budgetBytes = kDefaultTileCacheBytes) : budget_(budgetBytes) {}

    // The tile decoded from origin, now the most recently used; nothing when not kept.
    const platform::Bitmap* find(const TileOrigin& origin);

    // Keeps a copy of the tile, then lets the least recently used go until the budget
    // holds. A tile larger than the whole budget (or any tile with budget 0) is not kept.
    void keep(const TileOrigin& origin, const platform::Bitmap& tile);

    void setBudget(std::size_t budgetBytes);
    std::size_t bytes() const { return bytes_; }
    std::size_t count() const { return byKey_.size(); }

private:
    struct Entry {
        std::string key;
        platform::Bitmap tile;
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

}  // namespace quorel
