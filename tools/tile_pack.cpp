#include "tools/tile_pack.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <memory>

#include "platform/file_handle.h"

namespace quorel {

namespace {

namespace fs = std::filesystem;

// A decimal number made of digits only ("007" is not a tile name a tree tool writes,
// but it reads as 7 everywhere, so it is taken).
bool parseNumber(const std::string& text, std::int64_t& value) {
    if (text.empty() || text.size() > 18 || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc{};
}

bool readWhole(const fs::path& file, std::vector<std::uint8_t>& bytes) {
    const platform::UniqueFd fd = platform::openRegularFile(file);
    if (!fd) return false;
    bytes.clear();
    std::uint8_t buffer[65536];
    for (;;) {
        const std::int64_t n = platform::readAt(fd.get(), buffer, sizeof buffer, static_cast<std::int64_t>(bytes.size()));
        if (n < 0) return false;
        if (n == 0) return true;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
}

struct DbCloser {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct StmtFinaliser {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

bool exec(sqlite3* db, const char* sql, std::string& error) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    error = sqlite3_errmsg(db);
    return false;
}

bool writeTables(sqlite3* db, const TreeListing& listing, const std::string& name, PackResult& result,
                 const ProgressFn& progress, std::string& error) {
    if (!exec(db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN;", error) ||
        !exec(db, kMbtilesTables, error)) {
        return false;
    }
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "INSERT INTO tiles VALUES (?1, ?2, ?3, ?4)", -1, &raw, nullptr) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
        return false;
    }
    const std::unique_ptr<sqlite3_stmt, StmtFinaliser> insert(raw);
    std::int64_t jpegs = 0;
    std::vector<std::uint8_t> bytes;
    const auto total = static_cast<std::int64_t>(listing.tiles.size());
    for (const TreeTile& tile : listing.tiles) {
        if (!readWhole(tile.file, bytes)) {
            error = "cannot read " + tile.file.string();
            return false;
        }
        jpegs += tile.file.extension() == ".jpg" ? 1 : 0;
        sqlite3_reset(insert.get());
        sqlite3_bind_int(insert.get(), 1, tile.key.zoom);
        sqlite3_bind_int64(insert.get(), 2, tile.key.col);
        sqlite3_bind_int64(insert.get(), 3, flipRow(tile.key.zoom, tile.key.row));
        sqlite3_bind_blob64(insert.get(), 4, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
        if (sqlite3_step(insert.get()) != SQLITE_DONE) {
            error = sqlite3_errmsg(db);
            return false;
        }
        ++result.tiles;
        if (progress) progress(result.tiles, total);
    }
    const int minZoom = listing.tiles.empty() ? 0 : listing.tiles.front().key.zoom;
    const int maxZoom = listing.tiles.empty() ? 0 : listing.tiles.back().key.zoom;
    const std::pair<std::string, std::string> metadata[] = {
        {"name", name}, {"format", jpegs * 2 > total ? "jpg" : "png"}, {"type", "baselayer"},
        {"version", "1"}, {"minzoom", std::to_string(minZoom)}, {"maxzoom", std::to_string(maxZoom)}};
    if (sqlite3_prepare_v2(db, "INSERT INTO metadata VALUES (?1, ?2)", -1, &raw, nullptr) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
        return false;
    }
    const std::unique_ptr<sqlite3_stmt, StmtFinaliser> meta(raw);
    for (const auto& [key, value] : metadata) {
        sqlite3_reset(meta.get());
        sqlite3_bind_text(meta.get(), 1, key.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(meta.get(), 2, value.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(meta.get()) != SQLITE_DONE) {
            error = sqlite3_errmsg(db);
            return false;
        }
    }
    return exec(db, "CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, tile_row); COMMIT;", error);
}

}  // namespace

bool writeTileFile(const fs::path& file, const std::vector<std::uint8_t>& bytes, std::string& error) {
    const fs::path part = file.string() + ".part";
    bool ok = false;
    {
        platform::UniqueFd fd(::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        ok = fd && platform::writeAll(fd.get(), {reinterpret_cast<const char*>(bytes.data()), bytes.size()}, 0) &&
             ::close(fd.release()) == 0;
    }
    std::error_code ec;
    if (ok) fs::rename(part, file, ec);
    if (!ok || ec) {
        fs::remove(part, ec);
        error = "cannot write " + file.string();
        return false;
    }
    return true;
}

std::string extensionFor(const std::vector<std::uint8_t>& bytes) {
    static constexpr std::uint8_t kPng[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (bytes.size() >= sizeof kPng && std::equal(std::begin(kPng), std::end(kPng), bytes.begin())) return ".png";
    if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return ".jpg";
    return "";
}

TreeListing listTree(const fs::path& dir) {
    TreeListing listing;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        const fs::path rel = it->path().lexically_relative(dir);
        std::vector<std::string> parts;
        for (const fs::path& p : rel) parts.push_back(p.string());
        const std::string ext = rel.extension().string();
        std::int64_t zoom = 0, col = 0, row = 0;
        const bool named = parts.size() == 3 && (ext == ".png" || ext == ".jpg") && parseNumber(parts[0], zoom) &&
                           parseNumber(parts[1], col) && parseNumber(rel.stem().string(), row);
        const std::optional<TileKey> key = named && zoom <= kMaxStoreZoom
                                               ? keyFromTms(zoom, col, flipRow(static_cast<int>(zoom), row))
                                               : std::nullopt;
        if (key) {
            listing.tiles.push_back({*key, it->path()});
        } else {
            listing.others.push_back(it->path());
        }
    }
    std::sort(listing.tiles.begin(), listing.tiles.end(), [](const TreeTile& a, const TreeTile& b) {
        return std::tie(a.key.zoom, a.key.col, a.key.row, a.file) < std::tie(b.key.zoom, b.key.col, b.key.row, b.file);
    });
    // .jpg sorts after .png: the second of a pair is the .jpg the tree never shows.
    std::vector<TreeTile> unique;
    for (TreeTile& t : listing.tiles) {
        if (!unique.empty() && unique.back().key.zoom == t.key.zoom && unique.back().key.col == t.key.col &&
            unique.back().key.row == t.key.row) {
            listing.others.push_back(t.file);
        } else {
            unique.push_back(std::move(t));
        }
    }
    listing.tiles = std::move(unique);
    std::sort(listing.others.begin(), listing.others.end());
    return listing;
}

bool packTree(const fs::path& dir, const fs::path& out, PackResult& result, const ProgressFn& progress,
              std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) {
        error = dir.string() + " is not a folder";
        return false;
    }
    if (fs::exists(fs::symlink_status(out, ec))) {
        error = out.string() + " exists already";
        return false;
    }
    TreeListing listing = listTree(dir);
    result.skipped = listing.others;
    const fs::path part = out.string() + ".part";
    fs::remove(part, ec);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(part.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    std::unique_ptr<sqlite3, DbCloser> db(raw);
    bool ok = rc == SQLITE_OK;
    if (!ok) error = "cannot create " + part.string() + ": " + (raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
    fs::path named = dir.lexically_normal();
    if (named.filename().empty()) named = named.parent_path();
    ok = ok && writeTables(db.get(), listing, named.filename().string(), result, progress, error);
    if (ok && sqlite3_close(db.release()) != SQLITE_OK) {
        error = "cannot finish " + part.string();
        ok = false;
    }
    db.reset();
    if (ok) {
        // link() refuses to replace an out that appeared meanwhile, where rename would not.
        ok = ::link(part.c_str(), out.c_str()) == 0;
        if (!ok) error = "cannot create " + out.string();
    }
    fs::remove(part, ec);
    if (!ok) error = error.empty() ? "cannot write " + out.string() : error;
    return ok;
}

bool unpackFile(const fs::path& in, const fs::path& dir, UnpackResult& result, const ProgressFn& progress,
                std::string& error) {
    std::string format = "png";
    {
        sqlite3* raw = nullptr;
        sqlite3_open_v2(in.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
        const std::unique_ptr<sqlite3, DbCloser> db(raw);
        sqlite3_stmt* s = nullptr;
        if (db && sqlite3_prepare_v2(raw, "SELECT value FROM metadata WHERE name = 'format'", -1, &s, nullptr) == SQLITE_OK &&
            sqlite3_step(s) == SQLITE_ROW && sqlite3_column_text(s, 0) != nullptr) {
            format = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        }
        sqlite3_finalize(s);
    }
    const std::string fallbackExtension = format == "jpg" || format == "jpeg" ? ".jpg" : ".png";
    const std::int64_t total = std::max<std::int64_t>(countMbtilesRows(in), 0);
    std::vector<std::uint8_t> bytes;
    std::int64_t done = 0;
    const bool read = forEachMbtilesRow(
        in,
        [&](const MbtilesRow& row) {
            if (progress) progress(++done, total);
            const std::optional<TileKey> key = keyFromTms(row.zoom, row.col, row.tmsRow);
            if (!key) {
                ++result.outsideWorld;
                return true;
            }
            bytes.assign(row.bytes.begin(), row.bytes.end());
            std::string ext = extensionFor(bytes);
            if (ext.empty()) ext = fallbackExtension;
            const fs::path file = treeTilePath(dir, key->zoom, key->col, key->row, ext);
            std::error_code ec;
            fs::create_directories(file.parent_path(), ec);
            if (ec || !writeTileFile(file, bytes, error)) {
                if (error.empty()) error = "cannot create " + file.parent_path().string();
                return false;
            }
            ++result.tiles;
            return true;
        },
        error);
    return read && error.empty();
}

}  // namespace quorel
