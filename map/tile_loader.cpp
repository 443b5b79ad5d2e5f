#include "map/tile_loader.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <utility>

#include "platform/numeric.h"
#include "platform/paths.h"
#include "platform/raster/raster.h"

namespace quorel {
namespace {

// A decoded tile as the mosaic's own 32-bit pixels, so that placing it, again and again
// from the cache, is a plain copy. Most PNG tiles come so from the decoder; the others
// are converted here, as blit converts them when it places a tile of another layout.
TilePicture mosaicPicture(platform::Bitmap tile, const std::shared_ptr<PicturePool>& pictures) {
    if (tile.bitsPerPixel != 32 || tile.bottomUp) {
        platform::Bitmap converted = platform::createBitmap(tile.width, tile.height, pictures->take());
        if (converted.valid()) {
            platform::blit(converted, 0, 0, tile.width, tile.height, tile, 0, 0);
            tile = std::move(converted);
        }
    }
    return pooledPicture(std::move(tile), pictures);
}

// The square of coarse that lies over the tile (col, row) levelsUp zooms finer,
// enlarged to a whole tile.
platform::Bitmap enlargedSquare(const platform::Bitmap& coarse, std::int64_t col, std::int64_t row, int levelsUp,
                                std::vector<std::uint8_t> storage = {}) {
    const int f = 1 << levelsUp;
    const int cell = kTileSide / f;
    const int sx = cell * static_cast<int>(col % f);
    const int sy = cell * static_cast<int>(row % f);
    platform::Bitmap enlarged = platform::createBitmap(kTileSide, kTileSide, std::move(storage));
    platform::stretchBlit(enlarged, 0, 0, kTileSide, kTileSide, coarse, sx, sy, cell, cell);
    return enlarged;
}

// The tile as stored; a tile too large to be held in memory is a bad tile.
TileRead readTile(const TileStore& store, const TileKey& key) {
    try {
        return store.read(key.zoom, key.col, key.row);
    } catch (const std::bad_alloc&) {
        TileRead damaged;
        if (std::optional<TileOrigin> origin = store.locate(key.zoom, key.col, key.row)) damaged.origin = *origin;
        damaged.status = TileReadStatus::Damaged;
        damaged.reason = "too large to be held in memory";
        return damaged;
    }
}

}  // namespace

bool TileLoader::loadEnlarged(MapView& view, int zoom, std::int64_t col, std::int64_t row, int levelsUp) {
    const int f = 1 << levelsUp;
    const bool found = load(view, platform::saturatingAdd(zoom, -levelsUp), col / f, row / f);
    if (!found || !view.tileBitmap) {
        view.tileBitmap.reset();
        return false;
    }
    view.tileBitmap = std::make_shared<const platform::Bitmap>(enlargedSquare(*view.tileBitmap, col, row, levelsUp));
    return true;
}

void MapTileLoader::openStore(const MapView& view, bool fillStarts) {
    const std::string dir = platform::storagePath(view.storageRootPath, view.mapDir);
    const bool fresh = !store_ || dir != storeDir_;
    if (fresh) {
        store_ = mapStore(dir);
        storeDir_ = dir;
    }
    if (!fresh && !fillStarts) return;
    std::vector<StoreNote> notes;
    store_->startFill(notes);
    for (const StoreNote& note : notes) {
        if (note.kind == StoreNote::Kind::Unreadable) {
            quorel::reportBadTile(reports, note.file, "map file " + note.what, "map file " + note.what);
        } else if (reports.reported.insert(note.what).second) {
            std::fprintf(stderr, "quorel: map file %s\n", note.what.c_str());  // for now, not a bad tile
        }
    }
}

void MapTileLoader::reportBad(const TileOrigin& origin, std::string_view why) {
    quorel::reportBadTile(reports, origin.file, "tile " + origin.describe() + std::string(why));
}

MapTileLoader::Prepared* MapTileLoader::takePrepared(const TileKey& key) {
    for (Prepared& p : prepared_) {
        if (!p.taken && p.key == key) {
            p.taken = true;  // once: a second attempt reads the tile again, as without preparing
            return &p;
        }
    }
    return nullptr;
}

bool MapTileLoader::knownMissing(const TileKey& key) const {
    return std::find(missing_.begin(), missing_.end(), key) != missing_.end();
}

void MapTileLoader::noteMissing(const TileKey& key) {
    if (!prepared_.empty()) missing_.push_back(key);  // only while a fill is under way
}

std::optional<MapTileLoader::Loaded> MapTileLoader::cached(const TileKey& key, const TilePart& part) {
    if (cache.count() == 0 || knownMissing(key)) return std::nullopt;
    std::optional<TileOrigin> origin = store_->locate(key.zoom, key.col, key.row);
    if (!origin) {
        noteMissing(key);
        return std::nullopt;
    }
    TilePicture kept = cache.find(*origin, part);
    if (!kept) return std::nullopt;
    return Loaded{std::move(kept), std::move(*origin)};
}

// The tile's picture from what prepare made ready, the cache or the store, in that order.
std::optional<MapTileLoader::Loaded> MapTileLoader::loadPicture(const TileKey& key) {
    Prepared* ready = takePrepared(key);
    if (ready != nullptr && ready->inCache) return Loaded{std::move(ready->picture), ready->read.origin};
    if (ready == nullptr) {
        if (std::optional<Loaded> kept = cached(key)) return kept;
        if (knownMissing(key)) return std::nullopt;
    }
    TileRead read = ready != nullptr ? std::move(ready->read) : readTile(*store_, key);
    if (ready == nullptr && read.status == TileReadStatus::Missing) noteMissing(key);
    if (read.status == TileReadStatus::Damaged) {
        reportBad(read.origin, ": " + read.reason);
        return std::nullopt;
    }
    if (read.status != TileReadStatus::Found) return std::nullopt;
    if (TilePicture kept = cache.find(read.origin)) return Loaded{std::move(kept), std::move(read.origin)};
    TileDecodeResult decoded;
    TilePicture picture;
    if (ready != nullptr && ready->decodeDone) {
        decoded = std::move(ready->decoded);
        picture = std::move(ready->picture);
    } else {
        try {
            decoded = decodeTileImage(read.bytes, pictures_->take());
            if (!decoded.rejected && decoded.bitmap) picture = mosaicPicture(std::move(*decoded.bitmap), pictures_);
        } catch (const std::bad_alloc&) {
            decoded = TileDecodeResult{std::nullopt, true, "is too large to be decoded in the memory left"};
        }
    }
    if (decoded.rejected) {
        reportBad(read.origin, " " + std::string(decoded.reason));
        return std::nullopt;
    }
    if (!picture) return std::nullopt;
    cache.keep(read.origin, picture);
    return Loaded{std::move(picture), std::move(read.origin)};
}

bool MapTileLoader::load(MapView& view, int zoom, std::int64_t col, std::int64_t row) {
    view.tileBitmap.reset();
    openStore(view);
    std::optional<Loaded> loaded = loadPicture({zoom, col, row});
    if (!loaded) return false;
    view.tileBitmap = std::move(loaded->picture);
    return true;
}

bool MapTileLoader::loadEnlarged(MapView& view, int zoom, std::int64_t col, std::int64_t row, int levelsUp) {
    view.tileBitmap.reset();
    openStore(view);
    const std::int64_t f = std::int64_t{1} << levelsUp;
    const TilePart part{levelsUp, col % f, row % f};
    const TileKey coarse{platform::saturatingAdd(zoom, -levelsUp), col / f, row / f};
    if (std::optional<Loaded> kept = cached(coarse, part)) {
        view.tileBitmap = std::move(kept->picture);
        return true;
    }
    const std::optional<Loaded> loaded = loadPicture(coarse);
    if (!loaded) return false;
    view.tileBitmap = pooledPicture(enlargedSquare(*loaded->picture, col, row, levelsUp, pictures_->take()), pictures_);
    cache.keep(loaded->origin, view.tileBitmap, part);
    return true;
}

void MapTileLoader::setDecodeThreads(int threads) {
    decodeThreads_ = std::max(threads, 0);
    pool_.reset();
}

void MapTileLoader::prepare(const MapView& view, std::span<const TileKey> tiles) {
    prepared_.clear();
    missing_.clear();
    if (tiles.empty()) return;
    openStore(view, true);
    for (const TileKey& key : tiles) {
        const bool seen =
            std::any_of(prepared_.begin(), prepared_.end(), [&](const Prepared& p) { return p.key == key; });
        if (seen) continue;
        Prepared p;
        p.key = key;
        if (std::optional<Loaded> kept = cached(key)) {
            p.inCache = true;
            p.picture = std::move(kept->picture);
            p.read.origin = std::move(kept->origin);
        }
        prepared_.push_back(std::move(p));
    }
    if (decodeThreads_ < 0) decodeThreads_ = decodeThreadsForMachine();
    if (!pool_) pool_ = std::make_unique<WorkerPool>(decodeThreads_);
    // Stores may be read from several threads; the cache belongs to this one, so the
    // tiles it holds are left out of the reading and decoding, as are those the stores
    // were just found not to hold (their reads stay Missing).
    std::vector<Prepared*> toRead;
    for (Prepared& p : prepared_) {
        if (!p.inCache && !knownMissing(p.key)) toRead.push_back(&p);
    }
    // Each job reads its tile and decodes it at once, and the bytes go when the picture
    // is made: the bytes in flight are those of one tile per thread, however large the
    // tiles or the view.
    const LayeredTileStore& store = *store_;
    const std::shared_ptr<PicturePool>& pictures = pictures_;
    // The pictures the cache lets go for them are the buffers they are decoded into.
    cache.makeRoom(toRead.size() * kTilePictureBytes);
    pool_->run(toRead.size(), [&](std::size_t i) {
        Prepared& p = *toRead[i];
        p.read = readTile(store, p.key);
        if (p.read.status != TileReadStatus::Found) return;
        try {
            p.decoded = decodeTileImage(p.read.bytes, pictures->take());
            if (p.decoded.bitmap) p.picture = mosaicPicture(std::move(*p.decoded.bitmap), pictures);
            p.decodeDone = true;
            std::vector<std::uint8_t>().swap(p.read.bytes);
        } catch (const std::bad_alloc&) {
            p.read = TileRead{TileReadStatus::Damaged, std::move(p.read.origin), {}, "too large to be held in memory"};
        } catch (...) {
            p.decodeDone = false;  // load decodes it again, on the caller's thread
        }
    });
    for (Prepared* p : toRead) {
        if (p->read.status == TileReadStatus::Missing) noteMissing(p->key);
    }
}

}  // namespace quorel
