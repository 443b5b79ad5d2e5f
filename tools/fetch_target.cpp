#include "tools/fetch_target.h"

#include <sqlite3.h>

#include <algorithm>

#include "map/mbtiles.h"
#include "tools/tile_pack.h"

namespace quorel {

namespace {

namespace fs = std::filesystem;

constexpr const char* kRecordTable =
    "CREATE TABLE IF NOT EXISTS quorel_fetch (zoom INTEGER, col INTEGER, row INTEGER, state INTEGER,"
    " etag TEXT, last_modified TEXT, expires INTEGER, why TEXT, PRIMARY KEY (zoom, col, row));";
constexpr const char* kReadRecord =
    "SELECT state, etag, last_modified, expires, why FROM quorel_fetch WHERE zoom = ?1 AND col = ?2 AND row = ?3";

std::string text(sqlite3_stmt* s, int column) {
    const unsigned char* t = sqlite3_column_text(s, column);
    return t != nullptr ? reinterpret_cast<const char*>(t) : "";
}

void bindKey(sqlite3_stmt* s, const TileKey& key, bool tms) {
    sqlite3_reset(s);
    sqlite3_bind_int(s, 1, key.zoom);
    sqlite3_bind_int64(s, 2, key.col);
    sqlite3_bind_int64(s, 3, tms ? flipRow(key.zoom, key.row) : key.row);
}

std::optional<FetchRecord> readRecord(sqlite3_stmt* s, const TileKey& key) {
    if (s == nullptr) return std::nullopt;
    bindKey(s, key, false);
    if (sqlite3_step(s) != SQLITE_ROW) return std::nullopt;
    FetchRecord r;
    r.state = static_cast<FetchState>(std::clamp(sqlite3_column_int(s, 0), 0, 2));
    r.freshness = {text(s, 1), text(s, 2), sqlite3_column_int64(s, 3)};
    r.why = text(s, 4);
    sqlite3_reset(s);
    return r;
}

}  // namespace

bool isMapFileStore(const fs::path& store) {
    std::error_code ec;
    if (fs::exists(store, ec)) return fs::is_regular_file(store, ec);
    return store.extension() == ".mbtiles";
}

fs::path fetchStateFile(const fs::path& store) {
    if (isMapFileStore(store)) return store;
    fs::path tree = store.lexically_normal();
    if (tree.filename().empty()) tree = tree.parent_path();
    return tree.string() + ".fetch-state";
}

std::unique_ptr<FetchTarget> FetchTarget::open(const fs::path& store, std::string& error) {
    auto target = std::make_unique<FetchTarget>(Opening{});
    const bool mapFile = isMapFileStore(store);
    std::error_code ec;
    if (!mapFile) {
        target->tree_ = store;
        fs::create_directories(store, ec);
        if (!fs::is_directory(store, ec)) return error = "cannot make the folder " + store.string(), nullptr;
    }
    const fs::path file = fetchStateFile(store);
    const bool made = !fs::exists(file, ec);
    if (sqlite3_open_v2(file.c_str(), &target->db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        error = "cannot open " + file.string() +
                (target->db_ != nullptr ? std::string(": ") + sqlite3_errmsg(target->db_) : "");
        return nullptr;
    }
    sqlite3_busy_timeout(target->db_, 5000);
    if (!target->exec("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;", error)) return nullptr;
    if (mapFile && made) {
        const std::string name = store.stem().string();
        if (!target->exec("BEGIN;", error) || !target->exec(kMbtilesTables, error) ||
            !target->exec("CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, tile_row);"
                          "INSERT INTO metadata VALUES ('format', 'png'), ('type', 'baselayer'), ('version', '1');",
                          error)) {
            return nullptr;
        }
        char* insertName = sqlite3_mprintf("INSERT INTO metadata VALUES ('name', %Q); COMMIT;", name.c_str());
        const bool named = insertName != nullptr && target->exec(insertName, error);
        sqlite3_free(insertName);
        if (!named) return nullptr;
    }
    if (!target->exec(kRecordTable, error) || !target->prepareAll(error) || !target->exec("BEGIN;", error)) {
        return nullptr;
    }
    return target;
}

FetchTarget::~FetchTarget() {
    std::string ignored;
    if (!finished_ && db_ != nullptr) finish(ignored);
    for (sqlite3_stmt* s : {readRecord_, writeRecord_, markRecord_, tileSize_, deleteTile_, insertTile_}) {
        sqlite3_finalize(s);
    }
    sqlite3_close(db_);
}

bool FetchTarget::exec(const char* sql, std::string& error) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    error = sqlite3_errmsg(db_);
    return false;
}

bool FetchTarget::prepareAll(std::string& error) {
    const std::pair<sqlite3_stmt**, const char*> statements[] = {
        {&readRecord_, kReadRecord},
        {&writeRecord_, "INSERT OR REPLACE INTO quorel_fetch VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, NULL)"},
        // A failure keeps what was known of the tile held, so that it is asked for conditionally.
        {&markRecord_,
         "INSERT INTO quorel_fetch VALUES (?1, ?2, ?3, 2, NULL, NULL, 0, ?4) ON CONFLICT DO UPDATE SET state = 2, "
         "expires = 0, why = ?4"},
        {&tileSize_, tree_.empty() ? "SELECT length(tile_data) FROM tiles WHERE zoom_level = ?1 AND tile_column = ?2 "
                                     "AND tile_row = ?3"
                                   : nullptr},
        {&deleteTile_,
         tree_.empty() ? "DELETE FROM tiles WHERE zoom_level = ?1 AND tile_column = ?2 AND tile_row = ?3" : nullptr},
        {&insertTile_, tree_.empty() ? "INSERT INTO tiles VALUES (?1, ?2, ?3, ?4)" : nullptr},
    };
    for (const auto& [statement, sql] : statements) {
        if (sql != nullptr && sqlite3_prepare_v2(db_, sql, -1, statement, nullptr) != SQLITE_OK) {
            error = sqlite3_errmsg(db_);
            return false;
        }
    }
    return true;
}

std::optional<FetchRecord> FetchTarget::record(const TileKey& key) { return readRecord(readRecord_, key); }

std::int64_t FetchTarget::heldBytes(const TileKey& key) {
    if (!tree_.empty()) {
        for (std::string_view ext : kTreeExtensions) {
            std::error_code ec;
            const auto size = fs::file_size(treeTilePath(tree_, key.zoom, key.col, key.row, ext), ec);
            if (!ec) return static_cast<std::int64_t>(size);
        }
        return -1;
    }
    bindKey(tileSize_, key, true);
    const std::int64_t size = sqlite3_step(tileSize_) == SQLITE_ROW ? sqlite3_column_int64(tileSize_, 0) : -1;
    sqlite3_reset(tileSize_);
    return size;
}

bool FetchTarget::holds(const TileKey& key) { return heldBytes(key) >= 0; }

bool FetchTarget::storeBytes(const TileKey& key, const std::vector<std::uint8_t>& bytes, std::string& error) {
    if (!tree_.empty()) {
        const std::string ext = extensionFor(bytes);
        const fs::path file = treeTilePath(tree_, key.zoom, key.col, key.row, ext);
        std::error_code ec;
        fs::create_directories(file.parent_path(), ec);
        if (!writeTileFile(file, bytes, error)) return false;
        // A .png beside a new .jpg would be shown instead of it.
        fs::remove(treeTilePath(tree_, key.zoom, key.col, key.row, ext == ".png" ? ".jpg" : ".png"), ec);
        return true;
    }
    bindKey(deleteTile_, key, true);
    bindKey(insertTile_, key, true);
    sqlite3_bind_blob64(insertTile_, 4, bytes.data(), bytes.size(), SQLITE_STATIC);
    const bool ok = sqlite3_step(deleteTile_) == SQLITE_DONE && sqlite3_step(insertTile_) == SQLITE_DONE;
    if (!ok) error = sqlite3_errmsg(db_);
    sqlite3_reset(deleteTile_);
    sqlite3_reset(insertTile_);
    return ok;
}

bool FetchTarget::keep(const TileAnswer& answer, std::string& error) {
    if (answer.result == FetchResult::Failed) {
        bindKey(markRecord_, answer.key, false);
        sqlite3_bind_text(markRecord_, 4, answer.why.c_str(), -1, SQLITE_TRANSIENT);
        const bool ok = sqlite3_step(markRecord_) == SQLITE_DONE;
        sqlite3_reset(markRecord_);
        return ok || (error = sqlite3_errmsg(db_), false);
    }
    TileFreshness freshness = answer.freshness;
    if (answer.result == FetchResult::NotModified) {
        // A 304 may leave out the validators it was asked with.
        const std::optional<FetchRecord> before = record(answer.key);
        if (before && freshness.etag.empty()) freshness.etag = before->freshness.etag;
        if (before && freshness.lastModified.empty()) freshness.lastModified = before->freshness.lastModified;
    }
    if (answer.result == FetchResult::Fetched && !storeBytes(answer.key, answer.bytes, error)) return false;
    bindKey(writeRecord_, answer.key, false);
    sqlite3_bind_int(writeRecord_, 4,
                     static_cast<int>(answer.result == FetchResult::Absent ? FetchState::Absent : FetchState::Held));
    sqlite3_bind_text(writeRecord_, 5, freshness.etag.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(writeRecord_, 6, freshness.lastModified.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int64(writeRecord_, 7, freshness.expires);
    const bool ok = sqlite3_step(writeRecord_) == SQLITE_DONE;
    sqlite3_reset(writeRecord_);
    return ok || (error = sqlite3_errmsg(db_), false);
}

bool FetchTarget::commit(std::string& error) { return exec("COMMIT; BEGIN;", error); }

bool FetchTarget::finish(std::string& error) {
    finished_ = true;
    // A map file says which zooms it holds and, by most of (a thousand of) its tiles, their format.
    const char* describe =
        "DELETE FROM metadata WHERE name IN ('minzoom', 'maxzoom', 'format');"
        "INSERT INTO metadata SELECT 'minzoom', min(zoom_level) FROM tiles HAVING count(*) > 0;"
        "INSERT INTO metadata SELECT 'maxzoom', max(zoom_level) FROM tiles HAVING count(*) > 0;"
        "INSERT INTO metadata SELECT 'format', CASE WHEN 2 * sum(hex(substr(tile_data, 1, 3)) = 'FFD8FF') > count(*)"
        " THEN 'jpg' ELSE 'png' END FROM (SELECT tile_data FROM tiles LIMIT 1000);";
    return exec("COMMIT;", error) && (!tree_.empty() || exec(describe, error)) &&
           exec("PRAGMA journal_mode = DELETE;", error);
}

FetchRecords::FetchRecords(const fs::path& store) {
    const fs::path file = fetchStateFile(store);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return;
    if (sqlite3_open_v2(mbtilesUri(file, false).c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr) ==
        SQLITE_OK) {
        sqlite3_prepare_v2(db_, kReadRecord, -1, &read_, nullptr);
    }
}

FetchRecords::~FetchRecords() {
    sqlite3_finalize(read_);
    sqlite3_close(db_);
}

std::optional<FetchRecord> FetchRecords::record(const TileKey& key) const { return readRecord(read_, key); }

}  // namespace quorel
