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
    if (text.empty() || text.size() > 18 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc{};
}

using OtherFile = std::function<void(const fs::path&)>;

// A folder or tile file of the tree by the number it is named after. Of entries with one
// number, the one the map shows comes first (rank 0): named without leading zeros, and
// of a tile's files the .png.
struct Numbered {
    std::int64_t number = 0;
    int rank = 0;
    fs::path path;
};

// Every file under folder (links to files included, links to folders not followed).
void reportFiles(const fs::path& folder, const OtherFile& other) {
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec)) other(it->path());
    }
}

// Adds the entries of folder named after a number to numbered: folders, or with
// tileFiles the files named "N.png" and "N.jpg". Every other file in it, or in a folder
// in it, goes to other.
void listFolder(const Numbered& folder, bool tileFiles, std::vector<Numbered>& numbered, const OtherFile& other) {
    std::error_code ec;
    for (fs::directory_iterator it(folder.path, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        const bool isFolder = !it->is_symlink(typeError) && it->is_directory(typeError);
        const bool isFile = !isFolder && it->is_regular_file(typeError);
        const fs::path& path = it->path();
        const std::string ext = path.extension().string();
        const std::string name = (tileFiles ? path.stem() : path.filename()).string();
        std::int64_t number = 0;
        const bool named =
            (tileFiles ? isFile && (ext == ".png" || ext == ".jpg") : isFolder) && parseNumber(name, number);
        if (named) {
            const int own = (name == std::to_string(number) ? 0 : 2) + (tileFiles && ext != ".png" ? 1 : 0);
            const int rank = folder.rank * 4 + own;  // the folder's rank counts first
            numbered.push_back({number, rank, path});
        } else if (isFolder) {
            reportFiles(path, other);
        } else if (isFile) {
            other(path);
        }
    }
}

// By number, and entries of one number by rank and name.
void sortByNumber(std::vector<Numbered>& entries) {
    std::sort(entries.begin(), entries.end(), [](const Numbered& a, const Numbered& b) {
        return std::tie(a.number, a.rank, a.path) < std::tie(b.number, b.rank, b.path);
    });
}

// The end of the run of entries from begin that carry the same number.
std::size_t endOfGroup(const std::vector<Numbered>& entries, std::size_t begin) {
    std::size_t end = begin + 1;
    while (end < entries.size() && entries[end].number == entries[begin].number) ++end;
    return end;
}

bool readWhole(const fs::path& file, std::vector<std::uint8_t>& bytes) {
    const platform::UniqueFd fd = platform::openRegularFile(file);
    if (!fd) return false;
    bytes.clear();
    std::uint8_t buffer[65536];
    for (;;) {
        const std::int64_t n =
            platform::readAt(fd.get(), buffer, sizeof buffer, static_cast<std::int64_t>(bytes.size()));
        if (n < 0) return false;
        if (n == 0) return true;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
}

bool exec(sqlite3* db, const char* sql, std::string& error) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) return true;
    error = sqlite3_errmsg(db);
    return false;
}

bool writeTables(sqlite3* db, const fs::path& dir, const std::string& name, PackResult& result,
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
    const SqliteStatement insert(raw);
    // A first walk counts the tiles for the progress; the second one writes them.
    std::int64_t total = 0;
    const auto count = [&total](const TreeTile&) {
        ++total;
        return true;
    };
    walkTree(dir, count, [](const fs::path&) {});
    std::int64_t jpegs = 0;
    int minZoom = 0, maxZoom = 0;
    std::vector<std::uint8_t> bytes;
    const bool walked = walkTree(
        dir,
        [&](const TreeTile& tile) {
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
            if (result.tiles == 0) minZoom = tile.key.zoom;
            maxZoom = tile.key.zoom;
            ++result.tiles;
            if (progress) progress(result.tiles, std::max(total, result.tiles));
            return true;
        },
        [&result](const fs::path& file) { result.skipped.push_back(file); });
    if (!walked) return false;
    std::sort(result.skipped.begin(), result.skipped.end());
    total = result.tiles;
    const std::pair<std::string, std::string> metadata[] = {
        {"name", name},   {"format", jpegs * 2 > total ? "jpg" : "png"}, {"type", "baselayer"},
        {"version", "1"}, {"minzoom", std::to_string(minZoom)},          {"maxzoom", std::to_string(maxZoom)}};
    if (sqlite3_prepare_v2(db, "INSERT INTO metadata VALUES (?1, ?2)", -1, &raw, nullptr) != SQLITE_OK) {
        error = sqlite3_errmsg(db);
        return false;
    }
    const SqliteStatement meta(raw);
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
             fd.close();
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

bool walkTree(const fs::path& dir, const std::function<bool(const TreeTile&)>& tile, const OtherFile& other) {
    std::vector<Numbered> zooms;
    listFolder({0, 0, dir}, false, zooms, other);
    sortByNumber(zooms);
    for (std::size_t z = 0; z < zooms.size();) {
        // Folders of one number ("7" and "07") are walked as one.
        const std::size_t zEnd = endOfGroup(zooms, z);
        const std::int64_t zoom = zooms[z].number;
        std::vector<Numbered> cols;
        for (std::size_t k = z; k < zEnd; ++k) {
            if (zoom <= kMaxStoreZoom) {
                listFolder(zooms[k], false, cols, other);
            } else {
                reportFiles(zooms[k].path, other);
            }
        }
        sortByNumber(cols);
        for (std::size_t c = 0; c < cols.size();) {
            const std::size_t cEnd = endOfGroup(cols, c);
            std::vector<Numbered> rows;
            for (std::size_t k = c; k < cEnd; ++k) listFolder(cols[k], true, rows, other);
            sortByNumber(rows);
            for (std::size_t r = 0; r < rows.size(); ++r) {
                const std::optional<TileKey> key =
                    keyFromTms(zoom, cols[c].number, flipRow(static_cast<int>(zoom), rows[r].number));
                // Of a row's files the first is the tile.
                if (!key || (r > 0 && rows[r - 1].number == rows[r].number)) {
                    other(rows[r].path);
                } else if (!tile({*key, rows[r].path})) {
                    return false;
                }
            }
            c = cEnd;
        }
        z = zEnd;
    }
    return true;
}

TreeListing listTree(const fs::path& dir) {
    TreeListing listing;
    const auto keep = [&listing](const TreeTile& t) {
        listing.tiles.push_back(t);
        return true;
    };
    walkTree(dir, keep, [&listing](const fs::path& file) { listing.others.push_back(file); });
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
    const fs::path part = out.string() + ".part";
    fs::remove(part, ec);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(part.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    SqliteDatabase db(raw);
    bool ok = rc == SQLITE_OK;
    if (!ok) {
        error = "cannot create " + part.string() + ": " + (raw != nullptr ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));
    }
    fs::path named = dir.lexically_normal();
    if (named.filename().empty()) named = named.parent_path();
    ok = ok && writeTables(db.get(), dir, named.filename().string(), result, progress, error);
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

fs::path firstDifferentTile(const fs::path& in, const fs::path& dir) {
    const TileTree tree(dir);
    fs::path different;
    std::string ignored;  // a file that cannot be read says so when it is unpacked
    forEachMbtilesRow(
        in,
        [&](const MbtilesRow& row) {
            const std::optional<TileKey> key = keyFromTms(row.zoom, row.col, row.tmsRow);
            if (!key) return true;
            const TileRead held = tree.read(key->zoom, key->col, key->row);
            const bool same = held.status == TileReadStatus::Missing ||
                              (held.status == TileReadStatus::Found &&
                               std::equal(held.bytes.begin(), held.bytes.end(), row.bytes.begin(), row.bytes.end()));
            if (!same) different = held.origin.file;
            return same;
        },
        ignored);
    return different;
}

bool unpackFile(const fs::path& in, const fs::path& dir, bool replace, UnpackResult& result, const ProgressFn& progress,
                std::string& error) {
    std::error_code ec;
    if (!replace && fs::exists(dir, ec)) {
        result.different = firstDifferentTile(in, dir);
        if (!result.different.empty()) return false;
    }
    const std::string format = mbtilesFormat(in);
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
            fs::create_directories(file.parent_path(), ec);
            if (ec || !writeTileFile(file, bytes, error)) {
                if (error.empty()) error = "cannot create " + file.parent_path().string();
                return false;
            }
            ++result.tiles;
            return true;
        },
        error);
    if (!read && !error.empty()) error = in.string() + ": " + error;
    return read && error.empty();
}

}  // namespace quorel
