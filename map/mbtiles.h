#pragma once
// MBTiles files (SQLite, version 1.3): many tiles in one file, which copies to a card in
// seconds where a tree of small files takes hours. Rows are counted from the south
// there (TMS); the store turns them round so that callers keep the tree's numbering.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>

#include "map/tile_store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quorel {

// Zooms a store can number: columns and rows 0 .. 2^zoom - 1 in 64 bits.
inline constexpr int kMaxStoreZoom = 62;

// The tree's key for a row of the tiles table; nothing when the zoom, column or row
// lies outside the world (a hostile or damaged file).
std::optional<TileKey> keyFromTms(std::int64_t zoom, std::int64_t col, std::int64_t tmsRow);
std::int64_t flipRow(int zoom, std::int64_t row);  // tree row <-> TMS row

// The URI SQLite opens a map file with: read-only, and immutable (no locks, no journal
// looked for) when the file or its folder cannot be written, as on a write-protected
// card, where SQLite could not even take a shared lock.
std::string mbtilesUri(const std::filesystem::path& file, bool immutable);
bool onWritableMedia(const std::filesystem::path& file);

// Owners of a SQLite connection and of a prepared statement.
struct SqliteCloser {
    void operator()(sqlite3* db) const;
    void operator()(sqlite3_stmt* statement) const;
};
using SqliteDatabase = std::unique_ptr<sqlite3, SqliteCloser>;
using SqliteStatement = std::unique_ptr<sqlite3_stmt, SqliteCloser>;

// One MBTiles file, read through one prepared statement that a mutex guards, so
// threads may read at once. Nothing is ever written beside the file.
class MbtilesStore final : public TileStore {
public:
    // Nothing, and in error why, when the file is not a readable MBTiles file: not
    // SQLite, damaged, without a tiles table or a row in it, or holding vector tiles.
    static std::unique_ptr<MbtilesStore> open(const std::filesystem::path& file, std::string& error);
    MbtilesStore(const MbtilesStore&) = delete;
    MbtilesStore& operator=(const MbtilesStore&) = delete;

    TileRead read(int zoom, std::int64_t col, std::int64_t row) const override;
    std::optional<TileOrigin> locate(int zoom, std::int64_t col, std::int64_t row) const override;

private:
    struct Opening {
        explicit Opening() = default;
    };

public:
    explicit MbtilesStore(Opening) {}  // only open() makes one

private:
    SqliteDatabase db_;
    SqliteStatement lookup_;  // declared after db_: finalised before the connection closes
    SqliteStatement sizeLookup_;  // the kind and size of a tile's data, without the data
    TileOrigin file_;  // file name, size and time; the tile's numbers are filled per read
    mutable std::mutex mutex_;
    mutable int progressTicks_ = 0;  // of the lookup under way
    mutable bool abandoned_ = false;  // a lookup ran away: the file gives nothing more
};

// One row of a map file's tiles table, as stored (the numbers unchecked).
struct MbtilesRow {
    std::int64_t zoom = 0;
    std::int64_t col = 0;
    std::int64_t tmsRow = 0;
    std::span<const std::uint8_t> bytes;
};

// Calls visit for every row of the tiles table, in the table's order, until it returns
// false. False, with error set, when the file cannot be read to the end.
bool forEachMbtilesRow(const std::filesystem::path& file, const std::function<bool(const MbtilesRow&)>& visit,
                       std::string& error);

// The number of rows of the tiles table, for progress; -1 when it cannot be counted.
std::int64_t countMbtilesRows(const std::filesystem::path& file);

}  // namespace quorel
