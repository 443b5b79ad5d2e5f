#include "map/mbtiles.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <string_view>

#include "platform/file_handle.h"

namespace quorel {

void SqliteCloser::operator()(sqlite3* db) const { sqlite3_close(db); }
void SqliteCloser::operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }

namespace {

// A database in WAL mode (bytes 18 and 19 of its header are 2) would have SQLite create
// its -shm and -wal files beside it even for reading. Without a -wal file there is
// nothing in one to read, so such a file is opened immutable as well.
bool walWithoutLog(const std::filesystem::path& file) {
    const platform::UniqueFd fd = platform::openRegularFile(file);
    unsigned char header[20] = {};
    if (!fd || platform::readAt(fd.get(), header, sizeof header, 0) != static_cast<std::int64_t>(sizeof header)) {
        return false;
    }
    if (header[18] != 2 || header[19] != 2) return false;
    std::error_code ec;
    return !std::filesystem::exists(file.string() + "-wal", ec);
}

SqliteDatabase openDatabase(const std::filesystem::path& file, std::string& error) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "not a regular file";
        return nullptr;
    }
    const bool immutable = !onWritableMedia(file) || walWithoutLog(file);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(mbtilesUri(file, immutable).c_str(), &raw,
                                   SQLITE_OPEN_READONLY | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr);
    SqliteDatabase db(raw);
    if (rc != SQLITE_OK) {
        error = raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc);
        return nullptr;
    }
    // The file is not trusted: its schema may not call functions with side effects, and
    // nothing it holds may write. Sorting spills to memory, never to a file on the card.
    sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_exec(raw, "PRAGMA temp_store = MEMORY", nullptr, nullptr, nullptr);
    return db;
}

SqliteStatement prepare(sqlite3* db, const char* sql, std::string& error) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
        sqlite3_finalize(raw);
        return nullptr;
    }
    return SqliteStatement(raw);
}

// The format named in the metadata table, "" when there is none.
std::string metadataFormat(sqlite3* db) {
    std::string ignored;
    const SqliteStatement s = prepare(db, "SELECT value FROM metadata WHERE name = 'format'", ignored);
    if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return {};
    const unsigned char* text = sqlite3_column_text(s.get(), 0);
    return text != nullptr ? reinterpret_cast<const char*>(text) : "";
}

constexpr const char* kLookup =
    "SELECT tile_data FROM tiles WHERE zoom_level = ?1 AND tile_column = ?2 AND tile_row = ?3";
// length() of a blob column is taken from the row's header: the blob itself is not read.
constexpr const char* kSizeLookup =
    "SELECT typeof(tile_data), length(tile_data) FROM tiles WHERE zoom_level = ?1 AND tile_column = ?2 AND tile_row = "
    "?3";

// False, with the reason, when the tiles table gives no row: such a file would show
// nothing and tell nothing.
bool holdsATile(sqlite3* db, std::string& error) {
    const SqliteStatement s = prepare(db, "SELECT 1 FROM tiles LIMIT 1", error);
    if (!s) return false;
    const int rc = sqlite3_step(s.get());
    // A view that runs on is a slow file, told apart later, not an empty one.
    if (rc == SQLITE_ROW || rc == SQLITE_INTERRUPT) return true;
    error = rc == SQLITE_DONE ? "its tiles table is empty" : sqlite3_errmsg(db);
    return false;
}

int stepFor(sqlite3_stmt* s, std::int64_t zoom, std::int64_t col, std::int64_t tmsRow) {
    sqlite3_reset(s);
    sqlite3_bind_int64(s, 1, zoom);
    sqlite3_bind_int64(s, 2, col);
    sqlite3_bind_int64(s, 3, tmsRow);
    return sqlite3_step(s);
}

bool isLocked(sqlite3* db) {
    const int code = sqlite3_errcode(db);
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

// Whether finding a tile runs into the progress handler's limit: the key of the table's
// first row is looked up, to the end of the lookup, as every read looks a tile up.
bool lookupRunsLong(sqlite3* db, sqlite3_stmt* sizeLookup) {
    std::string ignored;
    const SqliteStatement first = prepare(db, "SELECT zoom_level, tile_column, tile_row FROM tiles LIMIT 1", ignored);
    if (!first) return false;
    int rc = sqlite3_step(first.get());
    if (rc == SQLITE_ROW) {
        rc = stepFor(sizeLookup, sqlite3_column_int64(first.get(), 0), sqlite3_column_int64(first.get(), 1),
                     sqlite3_column_int64(first.get(), 2));
        while (rc == SQLITE_ROW) rc = sqlite3_step(sizeLookup);
        sqlite3_reset(sizeLookup);
    }
    return rc == SQLITE_INTERRUPT;
}

// A walk over every row may run kLookupTicks, and kWalkStepsPerByte more for each byte of
// the file, and give a row for every kWalkBytesPerRow bytes: a tiles view that runs on
// beyond that holds rows the file does not.
struct WalkBound {
    std::int64_t ticksLeft = 0;
    std::int64_t rowsLeft = 0;

    WalkBound(sqlite3* db, const std::filesystem::path& file) {
        // The rows a writer has committed may still be in its log (WAL) beside the file.
        std::error_code ec, noLog;
        const std::uintmax_t log = std::filesystem::file_size(file.string() + "-wal", noLog);
        const auto size = static_cast<std::int64_t>(std::filesystem::file_size(file, ec) + (noLog ? 0 : log));
        ticksLeft = kLookupTicks + (ec ? 0 : size / kStepsPerTick * kWalkStepsPerByte);
        rowsLeft = ec ? 0 : size / kWalkBytesPerRow;
        sqlite3_progress_handler(
            db, kStepsPerTick, [](void* left) { return --*static_cast<std::int64_t*>(left) < 0 ? 1 : 0; }, &ticksLeft);
    }
};

constexpr const char* kRunsOn = "the tiles table runs on beyond any the file could hold (a view that loops?); given up";

}  // namespace

std::optional<TileKey> keyFromTms(std::int64_t zoom, std::int64_t col, std::int64_t tmsRow) {
    if (zoom < 0 || zoom > kMaxStoreZoom) return std::nullopt;
    const std::int64_t side = std::int64_t{1} << zoom;
    if (col < 0 || col >= side || tmsRow < 0 || tmsRow >= side) return std::nullopt;
    return TileKey{static_cast<int>(zoom), col, side - 1 - tmsRow};
}

std::int64_t flipRow(int zoom, std::int64_t row) { return (std::int64_t{1} << zoom) - 1 - row; }

std::string mbtilesUri(const std::filesystem::path& file, bool immutable) {
    std::string uri = "file:";
    for (const char c : file.string()) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || std::strchr("/-_.~", c) != nullptr) {
            uri.push_back(c);
        } else {
            static constexpr char kHex[] = "0123456789ABCDEF";
            uri += {'%', kHex[u >> 4], kHex[u & 15]};
        }
    }
    return uri + (immutable ? "?mode=ro&immutable=1" : "?mode=ro");
}

bool onWritableMedia(const std::filesystem::path& file) {
    const std::filesystem::path dir = file.has_parent_path() ? file.parent_path() : ".";
    return ::access(file.c_str(), W_OK) == 0 && ::access(dir.c_str(), W_OK) == 0;
}

std::unique_ptr<MbtilesStore> MbtilesStore::open(const std::filesystem::path& file, std::string& error, bool* locked) {
    SqliteDatabase db = openDatabase(file, error);
    if (!db) return nullptr;
    const std::string format = metadataFormat(db.get());
    if (format == "pbf") {
        error = "holds vector tiles, which cannot be shown";
        return nullptr;
    }
    SqliteStatement lookup = prepare(db.get(), kLookup, error);
    SqliteStatement sizeLookup = lookup ? prepare(db.get(), kSizeLookup, error) : nullptr;
    if (!sizeLookup) {
        if (locked != nullptr) *locked = isLocked(db.get());
        return nullptr;
    }
    auto store = std::make_unique<MbtilesStore>(Opening{});
    struct stat st {};
    ::stat(file.c_str(), &st);
    store->file_ =
        TileOrigin{file.string(), true, 0, 0, 0, static_cast<std::uint64_t>(st.st_size), platform::modifiedNs(st)};
    // A tiles view made to loop (a recursive query) would stop the map for good: a
    // lookup that runs past its limit is interrupted, and so is one that finds the
    // fill's wait used up.
    sqlite3_progress_handler(
        db.get(), kStepsPerTick,
        [](void* context) {
            Ticks& ticks = *static_cast<Ticks*>(context);
            if (++ticks.lookup > ticks.lookupLimit) return 1;
            return ticks.fillLeft > 0 && --ticks.fillLeft == 0 ? 1 : 0;
        },
        &store->ticks_);
    if (!holdsATile(db.get(), error)) {  // under the lookup's bound
        if (locked != nullptr) *locked = isLocked(db.get());
        return nullptr;
    }
    store->ticks_ = Ticks{};
    store->ticks_.lookupLimit = kIndexedLookupTicks;
    store->lacksIndex_ = lookupRunsLong(db.get(), sizeLookup.get());
    store->ticks_ = Ticks{};
    store->lookup_ = std::move(lookup);
    store->sizeLookup_ = std::move(sizeLookup);
    store->db_ = std::move(db);
    return store;
}

std::optional<TileOrigin> MbtilesStore::locate(int zoom, std::int64_t col, std::int64_t row) const {
    if (zoom < 0 || zoom > kMaxStoreZoom || col < 0 || row < 0 || col > flipRow(zoom, 0) || row > flipRow(zoom, 0)) {
        return std::nullopt;
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (abandoned_) return std::nullopt;
    }
    TileOrigin origin = file_;  // whether the table holds the tile only a lookup tells
    origin.zoom = zoom;
    origin.col = col;
    origin.row = row;
    return origin;
}

TileRead MbtilesStore::read(int zoom, std::int64_t col, std::int64_t row) const {
    TileRead result;
    if (zoom < 0 || zoom > kMaxStoreZoom || col < 0 || row < 0 || col > flipRow(zoom, 0) || row > flipRow(zoom, 0)) {
        return result;
    }
    result.origin = file_;
    result.origin.zoom = zoom;
    result.origin.col = col;
    result.origin.row = row;

    const std::lock_guard<std::mutex> lock(mutex_);
    if (abandoned_ || ticks_.fillLeft == 0) return TileRead{};
    ticks_.lookup = 0;
    // The kind and size first: a blob too large for a tile is never read. (The length
    // of text, which SQLite counts in characters, reads it; a tile is not text.)
    int rc = stepFor(sizeLookup_.get(), zoom, col, flipRow(zoom, row));
    if (rc == SQLITE_ROW) {
        const auto* kind = reinterpret_cast<const char*>(sqlite3_column_text(sizeLookup_.get(), 0));
        const std::string_view type = kind != nullptr ? kind : "";
        const sqlite3_int64 size = sqlite3_column_int64(sizeLookup_.get(), 1);
        if (type != "blob" && type != "text") {
            result.status = TileReadStatus::Damaged;
            result.reason = "its tile data is not a blob";
        } else if (size < 0 || static_cast<std::uint64_t>(size) > kMaxTileBytes) {
            result.status = TileReadStatus::Damaged;
            result.reason = "larger than any tile";
        } else {
            rc = stepFor(lookup_.get(), zoom, col, flipRow(zoom, row));
        }
    }
    if (rc == SQLITE_ROW && result.status == TileReadStatus::Missing) {
        const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(lookup_.get(), 0));
        const int size = sqlite3_column_bytes(lookup_.get(), 0);
        if (static_cast<std::size_t>(size) > kMaxTileBytes) {
            result.status = TileReadStatus::Damaged;
            result.reason = "larger than any tile";
        } else {
            result.status = TileReadStatus::Found;
            if (data != nullptr) result.bytes.assign(data, data + size);
        }
    } else if (rc == SQLITE_INTERRUPT && ticks_.fillLeft == 0) {
        result = TileRead{};  // the fill has waited long enough: perhaps found in the next
    } else if (rc != SQLITE_ROW && rc != SQLITE_DONE && rc != SQLITE_BUSY && rc != SQLITE_LOCKED) {
        result.status = TileReadStatus::Damaged;
        result.reason = sqlite3_errmsg(db_.get());
        abandoned_ = rc == SQLITE_INTERRUPT;
    }
    sqlite3_reset(sizeLookup_.get());
    sqlite3_reset(lookup_.get());
    return result;
}

void MbtilesStore::startFill(std::vector<StoreNote>& notes) {
    (void)notes;
    const std::lock_guard<std::mutex> lock(mutex_);
    ticks_.fillLeft = kFillTicks;
}

std::int64_t MbtilesStore::stepsRun() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return std::int64_t{sqlite3_stmt_status(lookup_.get(), SQLITE_STMTSTATUS_VM_STEP, 0)} +
           sqlite3_stmt_status(sizeLookup_.get(), SQLITE_STMTSTATUS_VM_STEP, 0);
}

bool forEachMbtilesRow(const std::filesystem::path& file, const std::function<bool(const MbtilesRow&)>& visit,
                       std::string& error) {
    const SqliteDatabase db = openDatabase(file, error);
    if (!db) return false;
    WalkBound bound(db.get(), file);
    const SqliteStatement s =
        prepare(db.get(), "SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles", error);
    if (!s) return false;
    for (;;) {
        const int rc = sqlite3_step(s.get());
        if (rc == SQLITE_DONE) return true;
        if (rc != SQLITE_ROW || --bound.rowsLeft < 0) {
            error = rc == SQLITE_INTERRUPT || rc == SQLITE_ROW ? kRunsOn : sqlite3_errmsg(db.get());
            return false;
        }
        const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(s.get(), 3));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(s.get(), 3));
        const MbtilesRow row{sqlite3_column_int64(s.get(), 0),
                             sqlite3_column_int64(s.get(), 1),
                             sqlite3_column_int64(s.get(), 2),
                             {data, data != nullptr ? size : 0}};
        if (!visit(row)) return true;
    }
}

std::string mbtilesFormat(const std::filesystem::path& file) {
    std::string error;
    const SqliteDatabase db = openDatabase(file, error);
    return db ? metadataFormat(db.get()) : "";
}

std::int64_t countMbtilesRows(const std::filesystem::path& file) {
    std::string error;
    const SqliteDatabase db = openDatabase(file, error);
    if (!db) return -1;
    WalkBound bound(db.get(), file);
    const SqliteStatement s = prepare(db.get(), "SELECT count(*) FROM tiles", error);
    if (!s || sqlite3_step(s.get()) != SQLITE_ROW) return -1;
    return sqlite3_column_int64(s.get(), 0);
}

}  // namespace quorel
