#pragma once
// The pixel buffers of tile pictures that have been let go, kept for the tiles decoded
// next. A day of scrolling decodes tiles by the thousand while the cache keeps a hundred
// or so at a time; were every picture's buffer given back to the heap, the holes left
// behind would be cut up by the smaller blocks of each decode and the heap would grow
// well beyond the pictures alive. Several threads may take and give back at once.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "map/tile_cache.h"
#include "platform/raster/bitmap.h"

namespace quorel {

// Enough for the tiles of one fill of a large screen.
inline constexpr std::size_t kPooledPictures = 64;

class PicturePool {
public:
    explicit PicturePool(std::size_t limit = kPooledPictures) : limit_(limit) {}

    // A kept buffer, or an empty one when none is kept.
    std::vector<std::uint8_t> take();
    // Kept while fewer than the limit are; freed otherwise.
    void giveBack(std::vector<std::uint8_t> buffer);
    std::size_t kept() const;

private:
    mutable std::mutex mutex_;
    std::size_t limit_;
    std::vector<std::vector<std::uint8_t>> buffers_;
};

// The picture, shared; its buffer goes back to the pool when the last holder lets it
// go (and is freed if the pool is gone by then).
TilePicture pooledPicture(platform::Bitmap picture, const std::shared_ptr<PicturePool>& pool);

}  // namespace quorel
