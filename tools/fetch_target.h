#pragma once
// Where fetched tiles go: an MBTiles file (made when missing) or a tile tree, and what
// the server told about each tile, so that a tile is not asked for again while it is
// fresh. The freshness is kept in a table quorel_fetch of the MBTiles file (the map and
// check read only the tiles and metadata tables), or for a tree in a small SQLite file
// beside it ("Maps/std" -> "Maps/std.fetch-state"), never inside the tree.
//
// The files are written in SQLite's WAL mode while a fetch runs: a process killed at
// any moment leaves the tiles of the last committed batch, and readers (the map, check)
// can open the file meanwhile. A tree's tiles are written under another name and
// renamed, so a tile file is whole or absent.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "tools/tile_fetch.h"

struct sqlite3;
struct sqlite3_stmt;

namespace quorel {

enum class FetchState {
    Held = 0,    // the store holds the tile as fetched
    Absent = 1,  // the server has no tile there (404, 204)
    Failed = 2,  // the last try failed (why says why); asked again next time
};

struct FetchRecord {
    FetchState state = FetchState::Held;
    TileFreshness freshness;
    std::string why;
};

// True when store names an MBTiles file: an existing regular file, or a path that does
// not exist and ends in ".mbtiles". Otherwise a tile tree.
bool isMapFileStore(const std::filesystem::path& store);

// The file the fetch records of store are kept in: the MBTiles file itself, or beside the tree.
std::filesystem::path fetchStateFile(const std::filesystem::path& store);

class FetchTarget {
public:
    // Opens (making it when missing) store for writing, in one open batch.
    static std::unique_ptr<FetchTarget> open(const std::filesystem::path& store, std::string& error);
    ~FetchTarget();
    FetchTarget(const FetchTarget&) = delete;
    FetchTarget& operator=(const FetchTarget&) = delete;

    std::optional<FetchRecord> record(const TileKey& key);
    bool holds(const TileKey& key);              // the store has the tile's bytes
    std::int64_t heldBytes(const TileKey& key);  // their size, -1 when not held

    // Stores what an answer brought into the open batch; false, with error set, when the
    // store cannot be written.
    bool keep(const TileAnswer& answer, std::string& error);
    bool commit(std::string& error);  // ends the batch and opens the next
    // Ends the last batch and leaves the file an ordinary SQLite file again (no WAL beside
    // it); done on destruction when not done before.
    bool finish(std::string& error);

    struct Opening {
        explicit Opening() = default;
    };
    explicit FetchTarget(Opening) {}

private:
    bool prepareAll(std::string& error);
    bool exec(const char* sql, std::string& error);
    bool storeBytes(const TileKey& key, const std::vector<std::uint8_t>& bytes, std::string& error);

    std::filesystem::path tree_;  // empty for an MBTiles file
    bool finished_ = false;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* readRecord_ = nullptr;
    sqlite3_stmt* writeRecord_ = nullptr;
    sqlite3_stmt* markRecord_ = nullptr;
    sqlite3_stmt* tileSize_ = nullptr;
    sqlite3_stmt* deleteTile_ = nullptr;
    sqlite3_stmt* insertTile_ = nullptr;
};

// The fetch records of store, read only, for showing; nothing when it has none.
class FetchRecords {
public:
    explicit FetchRecords(const std::filesystem::path& store);
    ~FetchRecords();
    FetchRecords(const FetchRecords&) = delete;
    FetchRecords& operator=(const FetchRecords&) = delete;
    std::optional<FetchRecord> record(const TileKey& key) const;

private:
    sqlite3* db_ = nullptr;
    sqlite3_stmt* read_ = nullptr;
};

}  // namespace quorel
