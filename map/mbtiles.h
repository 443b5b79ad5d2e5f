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

// How long SQLite may work on a map file, in steps of its virtual machine, counted by a
// progress handler every kStepsPerTick steps. Finding one tile through an index takes
// some tens of steps; a tiles table without one takes some ten per row of it.
inline constexpr int kStepsPerTick = 1000;
// One lookup that runs this long is a tiles view made to loop: the file is given up.
inline constexpr int kLookupTicks = 10'000;
// A lookup in a table with an index stays far below this; past it the table has none.
inline constexpr int kIndexedLookupTicks = 100;
// All the lookups of one fill together, a few hundredths of a second on a phone-class
// processor: past it the fill goes on without the file's tiles.
inline constexpr int kFillTicks = 2'000;
// A walk over every row may take kLookupTicks plus this many steps per byte of the file,
// far more than any table (or view over tables) in a file of that size needs.
inline constexpr int kWalkStepsPerByte = 32;
// Nor can it give more rows than one for every few bytes (a row of a table takes more).
inline constexpr int kWalkBytesPerRow = 4;

// One MBTiles file, read through one prepared statement that a mutex guards, so
// threads may read at once. Nothing is ever written beside the file.
class MbtilesStore final : public TileStore {
public:
    // Nothing, and in error why, when the file is not a readable MBTiles file: not
    // SQLite, damaged, without a tiles table or a row in it, or holding vector tiles; or when another
    // program holds it locked, which sets *locked.
    static std::unique_ptr<MbtilesStore> open(const std::filesystem::path& file, std::string& error,
                                              bool* locked = nullptr);
    MbtilesStore(const MbtilesStore&) = delete;
    MbtilesStore& operator=(const MbtilesStore&) = delete;

    TileRead read(int zoom, std::int64_t col, std::int64_t row) const override;
    std::optional<TileOrigin> locate(int zoom, std::int64_t col, std::int64_t row) const override;
    // The reads of the fill may take kFillTicks together; once they have, a read gives
    // Missing at once until the next fill. Without a fill the reads are not bound so.
    void startFill(std::vector<StoreNote>& notes) override;

    // Found on opening: finding one tile took more than kIndexedLookupTicks.
    bool lacksIndex() const { return lacksIndex_; }
    // The steps SQLite has run for the reads so far, as it counts them itself.
    std::int64_t stepsRun() const;

private:
    struct Opening {
        explicit Opening() = default;
    };

public:
    explicit MbtilesStore(Opening) {}  // only open() makes one

private:
    SqliteDatabase db_;
    SqliteStatement lookup_;      // declared after db_: finalised before the connection closes
    SqliteStatement sizeLookup_;  // the kind and size of a tile's data, without the data
    TileOrigin file_;             // file name, size and time; the tile's numbers are filled per read
    mutable std::mutex mutex_;
    struct Ticks {
        int lookup = 0;  // of the lookup under way
        int lookupLimit = kLookupTicks;
        int fillLeft = -1;  // of the fill under way; -1 while no fill bounds them
    };
    mutable Ticks ticks_;             // guarded by mutex_, as the statements are
    mutable bool abandoned_ = false;  // a lookup ran away: the file gives nothing more
    bool lacksIndex_ = false;
};

// One row of a map file's tiles table, as stored (the numbers unchecked).
struct MbtilesRow {
    std::int64_t zoom = 0;
    std::int64_t col = 0;
    std::int64_t tmsRow = 0;
    std::span<const std::uint8_t> bytes;
};

// Calls visit for every row of the tiles table, in the table's order, until it returns
// false. False, with error set, when the file cannot be read to the end, or when the
// table runs on far beyond the rows the file could hold (a tiles view made to loop,
// kWalkStepsPerByte, kWalkBytesPerRow).
bool forEachMbtilesRow(const std::filesystem::path& file, const std::function<bool(const MbtilesRow&)>& visit,
                       std::string& error);

// The format the metadata table names ("png", "jpg", ...), "" when it names none.
std::string mbtilesFormat(const std::filesystem::path& file);

// The number of rows of the tiles table, for progress; -1 when it cannot be counted
// (within the same bound as a walk).
std::int64_t countMbtilesRows(const std::filesystem::path& file);

}  // namespace quorel
