#include "map/tile_cache.h"

#include <utility>

#include "platform/format.h"

namespace quorel {
namespace {

// Everything that tells one decoded tile from another, the file's state included.
std::string keyOf(const TileOrigin& o, const TilePart& part) {
    return platform::format("%d/%lld/%lld %llu %lld %d %d/%lld/%lld ", o.zoom, static_cast<long long>(o.col),
                            static_cast<long long>(o.row), static_cast<unsigned long long>(o.fileSize),
                            static_cast<long long>(o.modifiedNs), o.inMapFile ? 1 : 0, part.levelsUp,
                            static_cast<long long>(part.col), static_cast<long long>(part.row)) +
           o.file;
}

}  // namespace

std::size_t tileBytes(const platform::Bitmap& tile) {
    return tile.bits.size() + tile.palette.size() * sizeof(std::uint32_t) + sizeof(platform::Bitmap);
}

TilePicture TileCache::find(const TileOrigin& origin, const TilePart& part) {
    if (byKey_.empty()) return nullptr;
    const auto it = byKey_.find(keyOf(origin, part));
    if (it == byKey_.end()) return nullptr;
    entries_.splice(entries_.begin(), entries_, it->second);
    return it->second->picture;
}

void TileCache::keep(const TileOrigin& origin, TilePicture picture, const TilePart& part) {
    if (!picture) return;
    const std::size_t size = tileBytes(*picture);
    if (size > budget_) return;
    std::string key = keyOf(origin, part);
    if (const auto it = byKey_.find(key); it != byKey_.end()) {
        bytes_ -= it->second->bytes;
        entries_.erase(it->second);
        byKey_.erase(it);
    }
    trimTo(budget_ - size);
    entries_.push_front(Entry{key, std::move(picture), size});
    byKey_.emplace(std::move(key), entries_.begin());
    bytes_ += size;
}

void TileCache::makeRoom(std::size_t bytes) { trimTo(bytes < budget_ ? budget_ - bytes : 0); }

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
