#include "map/tile_cache.h"

#include "platform/format.h"

namespace quorel {
namespace {

// Everything that tells one decoded tile from another, the file's state included.
std::string keyOf(const TileOrigin& o) {
    return platform::format("%d/%lld/%lld %llu %lld %d ", o.zoom, static_cast<long long>(o.col),
                            static_cast<long long>(o.row), static_cast<unsigned long long>(o.fileSize),
                            static_cast<long long>(o.modifiedNs), o.inMapFile ? 1 : 0) +
           o.file;
}

}  // namespace

std::size_t tileBytes(const platform::Bitmap& tile) {
    return tile.bits.size() + tile.palette.size() * sizeof(std::uint32_t) + sizeof(platform::Bitmap);
}

const platform::Bitmap* TileCache::find(const TileOrigin& origin) {
    if (byKey_.empty()) return nullptr;
    const auto it = byKey_.find(keyOf(origin));
    if (it == byKey_.end()) return nullptr;
    entries_.splice(entries_.begin(), entries_, it->second);
    return &it->second->tile;
}

void TileCache::keep(const TileOrigin& origin, const platform::Bitmap& tile) {
    const std::size_t size = tileBytes(tile);
    if (size > budget_) return;
    std::string key = keyOf(origin);
    if (const auto it = byKey_.find(key); it != byKey_.end()) {
        bytes_ -= it->second->bytes;
        entries_.erase(it->second);
        byKey_.erase(it);
    }
    trimTo(budget_ - size);
    entries_.push_front(Entry{key, tile, size});
    byKey_.emplace(std::move(key), entries_.begin());
    bytes_ += size;
}

void TileCache::setBudget(std::size_t budgetBytes) {
    budget_ = budgetBytes;
    trimTo(budget_);
}

void TileCache::trimTo(std::size_t budget) {
    while (bytes_ > budget && !entries_.empty()) {
        bytes_ -= entries_.back().bytes;
        byKey_.erase(entries_.back().key);
        entries_.pop_back();
    }
}

}  // namespace quorel
