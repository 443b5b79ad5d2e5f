#pragma once
// Tile stores: where the map's tiles come from. A store is asked for a tile by zoom,
// column and row in the numbering of the tile tree (rows counted from the north) and
// answers with the bytes as stored; turning them into a picture is decodeTileImage's,
// a pure function of the bytes.
//
// Every store may be read from several threads at once. A cache can key a tile on its
// TileOrigin: the file, zoom, column and row, with fileSize and modifiedNs telling
// when the file has changed since.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/raster/bitmap.h"

namespace quorel {

// A tile by zoom, column and row.
struct TileKey {
    int zoom = 0;
    std::int64_t col = 0;
    std::int64_t row = 0;  // counted from the north, as in the tree

    friend bool operator==(const TileKey&, const TileKey&) = default;
};

// A decoded tile: shared, never changed, so a holder keeps it whatever a cache lets go.
using TilePicture = std::shared_ptr<const platform::Bitmap>;

struct TileOrigin {
    std::string file;        // the tile file, or the map file that holds the tile
    bool inMapFile = false;  // file holds many tiles (an MBTiles file)
    int zoom = 0;
    std::int64_t col = 0;
    std::int64_t row = 0;
    std::uint64_t fileSize = 0;
    std::int64_t modifiedNs = 0;

    // "file" for a tile file, "file zoom/col/row" for a tile in a map file.
    std::string describe() const;
};

enum class TileReadStatus {
    Missing,  // the store does not hold the tile (or cannot be read at all): silent
    Found,    // bytes holds the tile as stored
    Damaged,  // the store holds the tile but cannot give it (reason says why)
};

struct TileRead {
    TileReadStatus status = TileReadStatus::Missing;
    TileOrigin origin;                // Found and Damaged
    std::vector<std::uint8_t> bytes;  // Found
    std::string reason;               // Damaged
};

// What the user should hear of once about a store as a whole, rather than one tile.
struct StoreNote {
    enum class Kind {
        Unreadable,  // the store cannot be read at all
        Locked,      // another program holds the file locked: read once it lets go
        Slow,        // finding a tile takes so long that a fill waits on it only briefly
    };
    Kind kind = Kind::Unreadable;
    std::string file;
    std::string what;  // "<file>: why"
};

// Tiles larger than this are not read (a tile of a map is a few tens of kilobytes).
inline constexpr std::size_t kMaxTileBytes = std::size_t{16} << 20;

struct TileStore {
    virtual ~TileStore() = default;
    virtual TileRead read(int zoom, std::int64_t col, std::int64_t row) const = 0;

    // Where read would take the tile from, found without reading it, so that a cache
    // can be asked first: nothing when the store surely does not hold the tile. An
    // origin says only where the tile would be, not that it is there.
    virtual std::optional<TileOrigin> locate(int zoom, std::int64_t col, std::int64_t row) const = 0;

    // A fill begins; no read is under way. A store may look whether its file has changed
    // or been let go by another program, and open it again; and it may bound how long
    // the fill's reads wait on it: a tile not found within the bound reads as missing
    // until a later fill. What the user should hear of goes to notes.
    virtual void startFill(std::vector<StoreNote>& notes) { (void)notes; }
};

// The tile tree: dir/zoom/column/row.png, else .jpg, with signed decimal numbers, so a
// tile outside the world names a file that does not exist. A path that is not a
// regular file (a folder, a FIFO) counts as missing, and opening never blocks.
class TileTree final : public TileStore {
public:
    explicit TileTree(std::filesystem::path dir) : dir_(std::move(dir)) {}
    TileRead read(int zoom, std::int64_t col, std::int64_t row) const override;
    std::optional<TileOrigin> locate(int zoom, std::int64_t col, std::int64_t row) const override;
    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

// The extensions of the tree in the order they win.
inline constexpr std::array<std::string_view, 2> kTreeExtensions = {".png", ".jpg"};

std::filesystem::path treeTilePath(const std::filesystem::path& dir, int zoom, std::int64_t col, std::int64_t row,
                                   std::string_view extension);

// Asks each store in turn; the first that holds the tile (even a damaged one) gives it.
class LayeredTileStore final : public TileStore {
public:
    explicit LayeredTileStore(std::vector<std::unique_ptr<TileStore>> layers) : layers_(std::move(layers)) {}
    TileRead read(int zoom, std::int64_t col, std::int64_t row) const override;
    std::optional<TileOrigin> locate(int zoom, std::int64_t col, std::int64_t row) const override;
    void startFill(std::vector<StoreNote>& notes) override;
    bool empty() const { return layers_.empty(); }

private:
    std::vector<std::unique_ptr<TileStore>> layers_;
};

// The MBTiles file that goes with a tree: "Maps/std" -> "Maps/std.mbtiles".
std::filesystem::path mbtilesBeside(const std::filesystem::path& treeDir);

// The map as the program reads it through a run: the tree treeDir, then the MBTiles file
// beside it (MapFile). Either may be missing. The file is opened at the first startFill
// and opened again when it changes.
std::unique_ptr<LayeredTileStore> mapStore(const std::filesystem::path& treeDir);

// The same, with the file opened now and never again, and no bound on how long a read
// waits. A map file that is there but cannot be read (or is locked) adds a line to
// notes and is left out.
std::unique_ptr<LayeredTileStore> openMapStore(const std::filesystem::path& treeDir, std::vector<std::string>& notes);

}  // namespace quorel
