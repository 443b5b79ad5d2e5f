#include "map/tile_mosaic.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "map/projection.h"
#include "platform/format.h"
#include "platform/numeric.h"
#include "platform/paths.h"
#include "platform/raster/canvas.h"
#include "platform/raster/raster.h"

namespace quorel {
namespace {

// The coarser levels tried for a missing tile; level 0 is the tile itself once more.
constexpr int kCoarserLevels = 4;

// Sub-tile arithmetic works on the tile size the tile tree is cut in, whatever tileWidth says.
constexpr int kTileSide = 256;

std::int64_t magnitude(std::int64_t v) { return v < 0 ? -v : v; }

// Copies the picture into cell (i, j). A picture smaller than the cell (an odd file, or
// no placeholder image at all) leaves no stale pixels of an earlier tile behind.
void placeCell(MapView& view, std::int64_t i, std::int64_t j) {
    const int x = platform::clampToInt(i * view.tileWidth);
    const int y = platform::clampToInt(j * view.tileHeight);
    const platform::Bitmap* picture = nullptr;
    if (view.tileBitmap) {
        picture = &*view.tileBitmap;
    } else if (view.noTileImage && view.noTileImage->valid) {
        picture = &view.noTileImage->bitmap;
    }
    if (picture == nullptr || picture->width < view.tileWidth || picture->height < view.tileHeight) {
        const platform::Rect cell{x, y, platform::saturatingAdd(x, view.tileWidth),
                                  platform::saturatingAdd(y, view.tileHeight)};
        platform::fillRect(view.mosaicBitmap, cell, platform::rgb(0, 0, 0));
    }
    if (picture != nullptr) platform::blit(view.mosaicBitmap, x, y, view.tileWidth, view.tileHeight, *picture, 0, 0);
}

TileKey cellTile(const MapView& view, std::int64_t i, std::int64_t j) {
    return {view.zoomLevel, view.mosaicTileX + i - view.mosaicCols / 2, view.mosaicTileY + j - view.mosaicRows / 2};
}

void loadCell(MapView& view, TileLoader& tiles, std::int64_t i, std::int64_t j) {
    const TileKey tile = cellTile(view, i, j);
    loadTile(view, tiles, tile.zoom, tile.col, tile.row);
    placeCell(view, i, j);
}

// The cells in the order given (corner cells of a scroll come twice), their tiles made
// ready all at once first.
void loadCells(MapView& view, TileLoader& tiles, const std::vector<std::pair<std::int64_t, std::int64_t>>& cells) {
    std::vector<TileKey> wanted;
    for (const auto& [i, j] : cells) wanted.push_back(cellTile(view, i, j));
    tiles.prepare(view, wanted);
    for (const auto& [i, j] : cells) loadCell(view, tiles, i, j);
    tiles.prepare(view, {});
}

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

void finishMosaic(MapView& view) {
    if (view.showTileGrid) drawTileGrid(view);
    view.mosaicZoom = view.zoomLevel;
    view.mosaicValid = true;
}

}  // namespace

void MapTileLoader::openStore(const MapView& view) {
    const std::string dir = platform::storagePath(view.storageRootPath, view.mapDir);
    if (!store_ || dir != storeDir_) {
        std::vector<std::string> unreadable;
        store_ = openMapStore(dir, unreadable);
        storeDir_ = dir;
        for (const std::string& line : unreadable) reportBadTile(reports, line, "map file " + line);
    }
}

MapTileLoader::Prepared* MapTileLoader::takePrepared(int zoom, std::int64_t col, std::int64_t row) {
    for (Prepared& p : prepared_) {
        if (!p.taken && p.key.zoom == zoom && p.key.col == col && p.key.row == row) {
            p.taken = true;  // once: a second attempt reads the tile again, as without preparing
            return &p;
        }
    }
    return nullptr;
}

bool MapTileLoader::knownMissing(int zoom, std::int64_t col, std::int64_t row) const {
    return std::any_of(missing_.begin(), missing_.end(),
                       [&](const TileKey& k) { return k.zoom == zoom && k.col == col && k.row == row; });
}

void MapTileLoader::noteMissing(const TileKey& key) {
    if (!prepared_.empty()) missing_.push_back(key);  // only while a fill is under way
}

TilePicture MapTileLoader::cached(int zoom, std::int64_t col, std::int64_t row, const TilePart& part) {
    if (cache.count() == 0 || knownMissing(zoom, col, row)) return nullptr;
    const std::optional<TileOrigin> origin = store_->locate(zoom, col, row);
    if (!origin) {
        noteMissing({zoom, col, row});
        return nullptr;
    }
    TilePicture kept = cache.find(*origin, part);
    if (kept) loadedFrom_ = origin;
    return kept;
}

bool MapTileLoader::load(MapView& view, int zoom, std::int64_t col, std::int64_t row) {
    view.tileBitmap.reset();
    loadedFrom_.reset();
    openStore(view);
    Prepared* ready = takePrepared(zoom, col, row);
    if (ready != nullptr && ready->inCache) {
        loadedFrom_ = ready->read.origin;
        view.tileBitmap = std::move(ready->picture);
        return true;
    }
    if (ready == nullptr) {
        if (TilePicture kept = cached(zoom, col, row)) {
            view.tileBitmap = std::move(kept);
            return true;
        }
        if (knownMissing(zoom, col, row)) return false;
    }
    TileRead read = ready != nullptr ? std::move(ready->read) : store_->read(zoom, col, row);
    if (ready == nullptr && read.status == TileReadStatus::Missing) noteMissing({zoom, col, row});
    if (read.status == TileReadStatus::Damaged) {
        reportBadTile(reports, read.origin.file, "tile " + read.origin.describe() + ": " + read.reason);
        return false;
    }
    if (read.status != TileReadStatus::Found) return false;
    loadedFrom_ = read.origin;
    if (TilePicture kept = cache.find(read.origin)) {
        view.tileBitmap = std::move(kept);
        return true;
    }
    TilePicture picture;
    if (ready != nullptr && ready->decodeDone) {
        if (ready->decoded.rejected) {
            reportBadTile(reports, read.origin.file, "tile " + read.origin.describe() + " " + std::string(ready->decoded.reason));
            return false;
        }
        picture = std::move(ready->picture);
    } else {
        TileDecodeResult decoded = decodeTileImage(read.bytes, pictures_->take());
        if (decoded.rejected) {
            reportBadTile(reports, read.origin.file, "tile " + read.origin.describe() + " " + std::string(decoded.reason));
            return false;
        }
        if (decoded.bitmap) picture = mosaicPicture(std::move(*decoded.bitmap), pictures_);
    }
    if (!picture) return false;
    cache.keep(read.origin, picture);
    view.tileBitmap = std::move(picture);
    return true;
}

bool MapTileLoader::loadEnlarged(MapView& view, int zoom, std::int64_t col, std::int64_t row, int levelsUp) {
    openStore(view);
    const std::int64_t f = std::int64_t{1} << levelsUp;
    const TilePart part{levelsUp, col % f, row % f};
    if (TilePicture kept = cached(platform::saturatingAdd(zoom, -levelsUp), col / f, row / f, part)) {
        view.tileBitmap = std::move(kept);
        return true;
    }
    if (!load(view, platform::saturatingAdd(zoom, -levelsUp), col / f, row / f) || !view.tileBitmap) {
        view.tileBitmap.reset();
        return false;
    }
    view.tileBitmap = pooledPicture(enlargedSquare(*view.tileBitmap, col, row, levelsUp, pictures_->take()), pictures_);
    if (loadedFrom_) cache.keep(*loadedFrom_, view.tileBitmap, part);
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
    openStore(view);
    for (const TileKey& key : tiles) {
        const bool seen = std::any_of(prepared_.begin(), prepared_.end(), [&](const Prepared& p) {
            return p.key.zoom == key.zoom && p.key.col == key.col && p.key.row == key.row;
        });
        if (seen) continue;
        Prepared p;
        p.key = key;
        p.picture = cached(key.zoom, key.col, key.row);
        p.inCache = p.picture != nullptr;
        if (p.inCache) p.read.origin = *loadedFrom_;  // where cached found it
        prepared_.push_back(std::move(p));
    }
    if (decodeThreads_ < 0) decodeThreads_ = decodeThreadsForMachine();
    if (!pool_) pool_ = std::make_unique<WorkerPool>(decodeThreads_);
    // Stores may be read from several threads; the cache belongs to this one, so the
    // tiles it holds are left out of the reading and decoding, as are those the stores
    // were just found not to hold (their reads stay Missing).
    std::vector<Prepared*> toRead;
    for (Prepared& p : prepared_) {
        if (!p.inCache && !knownMissing(p.key.zoom, p.key.col, p.key.row)) toRead.push_back(&p);
    }
    const LayeredTileStore& store = *store_;
    const std::shared_ptr<PicturePool>& pictures = pictures_;
    pool_->run(toRead.size(), [&](std::size_t i) {
        Prepared& p = *toRead[i];
        p.read = store.read(p.key.zoom, p.key.col, p.key.row);
    });
    std::vector<Prepared*> toDecode;
    for (Prepared* p : toRead) {
        if (p->read.status == TileReadStatus::Missing) noteMissing(p->key);
        if (p->read.status == TileReadStatus::Found && cache.find(p->read.origin) == nullptr) toDecode.push_back(p);
    }
    // The largest files first, so that the threads do not end with one of them waiting
    // on the other's long decode.
    std::stable_sort(toDecode.begin(), toDecode.end(),
                     [](const Prepared* a, const Prepared* b) { return a->read.bytes.size() > b->read.bytes.size(); });
    // The pictures the cache lets go for them are the buffers they are decoded into.
    cache.makeRoom(toDecode.size() * kTilePictureBytes);
    pool_->run(toDecode.size(), [&](std::size_t i) {
        Prepared& p = *toDecode[i];
        try {
            p.decoded = decodeTileImage(p.read.bytes, pictures->take());
            if (p.decoded.bitmap) p.picture = mosaicPicture(std::move(*p.decoded.bitmap), pictures);
            p.decodeDone = true;
        } catch (...) {
            p.decodeDone = false;  // load decodes it again, on the caller's thread
        }
    });
}

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

bool loadTileFromCoarser(MapView& view, TileLoader& tiles, int zoom, std::int64_t col, std::int64_t row,
                         int levelsUp) {
    if (levelsUp < 0 || levelsUp >= kCoarserLevels) return false;
    if (levelsUp == 0) {  // the whole tile at its own size: nothing to enlarge
        if (tiles.load(view, zoom, col, row) && view.tileBitmap) return true;
        view.tileBitmap.reset();
        return false;
    }
    // Truncating division would put tiles -1 .. -(f-1) under tile 0, which lies on the
    // other side of the edge of the world.
    if (col < 0 || row < 0) return false;
    return tiles.loadEnlarged(view, zoom, col, row, levelsUp);
}

bool loadTile(MapView& view, TileLoader& tiles, int zoom, std::int64_t col, std::int64_t row) {
    if (tiles.load(view, zoom, col, row) && view.tileBitmap) return true;
    view.tileBitmap.reset();
    for (int d = 0; d < kCoarserLevels; ++d) {
        if (loadTileFromCoarser(view, tiles, zoom, col, row, d)) return true;
    }
    return false;
}

void fillMosaic(MapView& view, TileLoader& tiles) {
    const WorldPosition centre = projectToWorld(view, view.centerLat, view.centerLon);
    view.mosaicTileX = centre.col;
    view.mosaicTileY = centre.row;
    // Without a mosaic bitmap (a screen too large for one) there is nothing to load into.
    if (view.mosaicBitmap.valid()) {
        std::vector<std::pair<std::int64_t, std::int64_t>> cells;
        for (std::int64_t i = 0; i < view.mosaicCols; ++i) {
            for (std::int64_t j = 0; j < view.mosaicRows; ++j) cells.emplace_back(i, j);
        }
        loadCells(view, tiles, cells);
    }
    finishMosaic(view);
}

void scrollMosaic(MapView& view, TileLoader& tiles) {
    if (!view.mosaicValid || view.mosaicZoom != view.zoomLevel || !view.mosaicBitmap.valid()) {
        fillMosaic(view, tiles);
        return;
    }
    const WorldPosition centre = projectToWorld(view, view.centerLat, view.centerLon);
    const std::int64_t dx = centre.col - view.mosaicTileX;
    const std::int64_t dy = centre.row - view.mosaicTileY;
    view.mosaicTileX = centre.col;
    view.mosaicTileY = centre.row;
    const std::int64_t bandCols = std::min<std::int64_t>(magnitude(dx), view.mosaicCols);
    const std::int64_t bandRows = std::min<std::int64_t>(magnitude(dy), view.mosaicRows);

    // The tiles still wanted move by whole cells through the scratch surface, which then
    // takes the mosaic's place; the uncovered band is reloaded below.
    if (bandCols < view.mosaicCols && bandRows < view.mosaicRows) {
        const int sx = platform::clampToInt(dx * view.tileWidth);
        const int sy = platform::clampToInt(dy * view.tileHeight);
        platform::Bitmap& mosaic = view.mosaicBitmap;
        if (view.mosaicSurface && view.mosaicSurface->valid && view.mosaicSurface->bitmap.width == mosaic.width &&
            view.mosaicSurface->bitmap.height == mosaic.height && view.mosaicSurface->bitmap.bitsPerPixel == 32) {
            platform::blit(view.mosaicSurface->bitmap, 0, 0, mosaic.width, mosaic.height, mosaic, sx, sy);
            std::swap(view.mosaicSurface->bitmap, mosaic);
        } else {
            platform::blit(mosaic, 0, 0, mosaic.width, mosaic.height, mosaic, sx, sy);
        }
    }

    std::vector<std::pair<std::int64_t, std::int64_t>> cells;
    for (std::int64_t n = 0; n < bandCols; ++n) {
        const std::int64_t i = dx > 0 ? view.mosaicCols - 1 - n : n;
        for (std::int64_t j = 0; j < view.mosaicRows; ++j) cells.emplace_back(i, j);
    }
    for (std::int64_t n = 0; n < bandRows; ++n) {
        const std::int64_t j = dy > 0 ? view.mosaicRows - 1 - n : n;
        for (std::int64_t i = 0; i < view.mosaicCols; ++i) cells.emplace_back(i, j);
    }
    loadCells(view, tiles, cells);
    finishMosaic(view);
}

void drawTileGrid(MapView& view) {
    platform::Canvas canvas(view.mosaicBitmap);
    canvas.pen = platform::Pen{platform::rgb(255, 0, 0), 2};
    const std::int64_t bottom = std::int64_t{view.tileHeight} * view.mosaicRows;
    const std::int64_t right = std::int64_t{view.tileWidth} * view.mosaicCols;
    for (std::int64_t i = 0; i < view.mosaicCols; ++i) {
        platform::moveTo(canvas, i * kTileSide, 0);
        platform::lineTo(canvas, i * kTileSide, bottom);
    }
    for (std::int64_t i = 0; i < view.mosaicRows; ++i) {
        platform::moveTo(canvas, 0, i * kTileSide);
        platform::lineTo(canvas, right, i * kTileSide);
    }
}

}  // namespace quorel
