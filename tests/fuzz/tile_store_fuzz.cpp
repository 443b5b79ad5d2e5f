// Any bytes as a tile in a map file: stored by SQLite as a blob, text, number or null
// (the first byte chooses), read back through the store and decoded as the map does.
// Nothing may crash, leak or read undefined memory, and a tile read whole is the bytes.
#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "map/mbtiles.h"
#include "png/tile_image.h"
#include "tests/support/scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const quorel::test::ScratchFolder scratch("tile_store_fuzz");
    static const std::string file = (scratch.path / "map.mbtiles").string();
    if (size == 0) return 0;
    std::filesystem::remove(file);
    sqlite3* db = nullptr;
    sqlite3_stmt* insert = nullptr;
    const char* kinds[] = {"?1", "CAST(?1 AS TEXT)", "length(?1)", "NULLIF(?1, ?1)"};
    const std::string sql = std::string("CREATE TABLE tiles (zoom_level, tile_column, tile_row, tile_data);") +
                            "INSERT INTO tiles VALUES (1, 0, 1, " + kinds[data[0] % 4] + ")";
    if (sqlite3_open(file.c_str(), &db) != SQLITE_OK ||
        sqlite3_exec(db, sql.substr(0, sql.find(';') + 1).c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, sql.substr(sql.find(';') + 1).c_str(), -1, &insert, nullptr) != SQLITE_OK ||
        sqlite3_bind_blob(insert, 1, data + 1, int(size - 1), SQLITE_STATIC) != SQLITE_OK ||
        sqlite3_step(insert) != SQLITE_DONE) {
        std::abort();
    }
    sqlite3_finalize(insert);
    sqlite3_close(db);

    std::string error;
    const auto store = quorel::MbtilesStore::open(file, error);
    if (!store) std::abort();
    const quorel::TileRead read = store->read(1, 0, 0);  // TMS row 1 is the tree's row 0
    if (read.status == quorel::TileReadStatus::Missing) std::abort();
    if (data[0] % 4 == 0 && (read.status != quorel::TileReadStatus::Found || read.bytes.size() != size - 1)) {
        std::abort();
    }
    if (read.status == quorel::TileReadStatus::Found) {
        const quorel::TileDecodeResult decoded = quorel::decodeTileImage(read.bytes);
        if (decoded.rejected && decoded.bitmap) std::abort();
    }
    return 0;
}
