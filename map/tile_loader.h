#pragma once
// Where the mosaic gets its tiles: the loader interface, and the program's loader that
// reads the map under the storage root through the tile cache.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "map/picture_pool.h"
#include "map/tile_cache.h"
#include "map/tile_store.h"
#include "map/worker_pool.h"
#include "png/tile_image.h"
#include "state/map_view.h"

namespace quorel {

// Sub-tile arithmetic works on the tile size the tile tree is cut in, whatever tileWidth says.
inline constexpr int kTileSide = 256;

// Where the mosaic gets its tiles from, by zoom, column and row (rows counted from the
// north). Each call replaces view.tileBitmap: with the tile's picture on success, with
// nothing otherwise.
struct TileLoader {
    virtual ~TileLoader() = default;
    virtual bool load(MapView& view, int zoom, std::int64_t col, std::int64_t row) = 0;

    // The square of the tile levelsUp (>= 1) zooms coarser that lies over the tile
    // (zoom, col, row), col and row >= 0, enlarged to 256 x 256; false when that tile is
    // missing. Loads the coarser tile and enlarges its square, unless a loader keeps
    // the enlarged square itself.
    virtual bool loadEnlarged(MapView& view, int zoom, std::int64_t col, std::int64_t row, int levelsUp);

    // Told before a fill or a scroll which tiles its cells will ask for, in cell order,
    // so that a loader may get them ready at once; load then answers as it would have.
    // An empty list ends the fill: what was not asked for is forgotten.
    virtual void prepare(const MapView& view, std::span<const TileKey> tiles) {
        (void)view;
        (void)tiles;
    }
};

// The program's loader: the map named by the view's storage root and mapDir (device
// grammar, so "Maps\std" and "/srv/tiles" both work), that is the tile tree there
// (zoom/column/row.png, else .jpg) and then the MBTiles file of the same name with
// ".mbtiles". A tile that cannot be shown is reported through reportBadTile, once per
// file in the loader's lifetime (the program keeps one loader for the run). The map file
// is opened again at a fill once it has changed or another program has let go of it;
// one that is slow to search is named once on standard error, and a fill waits on it
// only briefly (MbtilesStore::startFill). Pictures are
// kept in cache as the 32-bit pixels the mosaic is made of, enlarged squares of coarser
// tiles too; the cache is asked before anything is read. A tile that cannot be decoded
// is not kept, so it is decoded (and reported) as it always was.
//
// prepare reads the tiles of a fill that are not in cache and decodes them on a few
// worker threads; load then hands them out in cell order on the calling (main) thread,
// which alone reports bad tiles, keeps pictures in cache and touches the view.
class MapTileLoader final : public TileLoader {
public:
    bool load(MapView& view, int zoom, std::int64_t col, std::int64_t row) override;
    bool loadEnlarged(MapView& view, int zoom, std::int64_t col, std::int64_t row, int levelsUp) override;
    void prepare(const MapView& view, std::span<const TileKey> tiles) override;
    // Worker threads for decoding; 0 decodes on the caller. The machine's count
    // (decodeThreadsForMachine) until set.
    void setDecodeThreads(int threads);

    TileReports reports;
    TileCache cache;

private:
    // A picture and where it was made from, which is what the cache knows it by.
    struct Loaded {
        TilePicture picture;
        TileOrigin origin;
    };
    struct Prepared {
        TileKey key;
        bool inCache = false;  // nothing read: the cache held picture, made from read.origin
        TileRead read;
        TileDecodeResult decoded;
        TilePicture picture;
        bool decodeDone = false;
        bool taken = false;
    };
    // At the first call, and at each new fill, the stores may open their files again.
    void openStore(const MapView& view, bool fillStarts = false);
    std::optional<Loaded> loadPicture(const TileKey& key);
    Prepared* takePrepared(const TileKey& key);
    bool knownMissing(const TileKey& key) const;
    void noteMissing(const TileKey& key);
    std::optional<Loaded> cached(const TileKey& key, const TilePart& part = {});
    void reportBad(const TileOrigin& origin, std::string_view why);  // "tile <origin><why>"

    std::string storeDir_;  // the tree the store was opened for
    std::unique_ptr<LayeredTileStore> store_;
    std::vector<Prepared> prepared_;
    // Tiles the stores did not hold, in the fill under way: asked for again (a missing
    // cell's tile once more, the coarser tiles under every missing cell), they are
    // known missing without looking.
    std::vector<TileKey> missing_;
    int decodeThreads_ = -1;
    std::unique_ptr<WorkerPool> pool_;
    std::shared_ptr<PicturePool> pictures_ = std::make_shared<PicturePool>();
};

}  // namespace quorel
