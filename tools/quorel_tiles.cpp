// quorel-tiles: prepares the map of a card before a trip. See usage() for the commands.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gpx/gpx_reader.h"
#include "map/mbtiles.h"
#include "map/tile_store.h"
#include "png/tile_image.h"
#include "tools/tile_coverage.h"
#include "tools/tile_pack.h"

namespace {

using namespace quorel;
namespace fs = std::filesystem;

constexpr int kMaxMargin = 50;

void usage(std::FILE* to) {
    std::fputs(
        "usage: quorel-tiles COMMAND ...\n"
        "\n"
        "  pack DIR OUT.mbtiles      put the tile tree DIR (zoom/column/row.png or .jpg) into one\n"
        "                            MBTiles file; the tile bytes are kept as they are\n"
        "  unpack IN.mbtiles DIR     write the tiles of an MBTiles file as a tile tree\n"
        "  coverage --zooms A-B [--margin TILES] [--box LAT1,LON1,LAT2,LON2] STORE [GPX...]\n"
        "                            for each zoom, the tiles the tracks and routes of the GPX files\n"
        "                            (and the box, west edge LON1, east edge LON2) pass through, with\n"
        "                            TILES tiles around them; prints a count per zoom on standard\n"
        "                            error and every tile STORE lacks as a z/x/y line on standard output\n"
        "  check STORE               decode every tile; list those the map could not show, with why\n"
        "\n"
        "STORE is a tile tree (with the MBTiles file of the same name beside it, as the map reads\n"
        "them: Maps/std and Maps/std.mbtiles) or one MBTiles file.\n"
        "Exit status: 0 done (coverage: nothing missing; check: every tile shows), 1 otherwise,\n"
        "2 for a wrong command line.\n",
        to);
}

// "label done/total" on standard error: rewritten in place on a terminal, otherwise a
// line at most once a second.
class Progress {
public:
    explicit Progress(const char* label) : label_(label), terminal_(::isatty(2) == 1) {}
    ~Progress() {
        if (shown_ && terminal_) std::fputc('\n', stderr);
    }
    void operator()(std::int64_t done, std::int64_t total) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < (terminal_ ? std::chrono::milliseconds(100) : std::chrono::milliseconds(1000))) return;
        last_ = now;
        shown_ = true;
        std::fprintf(stderr, terminal_ ? "\r%s %lld/%lld" : "%s %lld/%lld\n", label_, static_cast<long long>(done),
                     static_cast<long long>(total));
    }

private:
    const char* label_;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

int fail(const std::string& what) {
    std::fprintf(stderr, "quorel-tiles: %s\n", what.c_str());
    return 1;
}

std::unique_ptr<TileStore> openStore(const fs::path& store, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(store, ec)) {
        std::vector<std::string> notes;
        auto layered = openMapStore(store, notes);
        if (!notes.empty()) error = notes.front();
        return notes.empty() ? std::move(layered) : nullptr;
    }
    if (!fs::exists(store, ec)) {
        error = store.string() + ": no such tile tree or file";
        return nullptr;
    }
    std::unique_ptr<TileStore> file = MbtilesStore::open(store, error);
    if (!file) error = store.string() + ": " + error;
    return file;
}

int pack(const std::vector<std::string>& args) {
    if (args.size() != 2) return usage(stderr), 2;
    Progress progress("packed");
    PackResult result;
    std::string error;
    if (!packTree(args[0], args[1], result, std::ref(progress), error)) return fail(error);
    for (const fs::path& f : result.skipped) std::fprintf(stderr, "quorel-tiles: not a tile, left out: %s\n", f.c_str());
    std::fprintf(stderr, "%lld tiles packed into %s\n", static_cast<long long>(result.tiles), args[1].c_str());
    return 0;
}

int unpack(const std::vector<std::string>& args) {
    if (args.size() != 2) return usage(stderr), 2;
    Progress progress("unpacked");
    UnpackResult result;
    std::string error;
    const bool ok = unpackFile(args[0], args[1], result, std::ref(progress), error);
    if (result.outsideWorld > 0) {
        std::fprintf(stderr, "quorel-tiles: %lld rows outside the world left out\n",
                     static_cast<long long>(result.outsideWorld));
    }
    if (!ok) return fail(args[0] + ": " + error);
    std::fprintf(stderr, "%lld tiles unpacked into %s\n", static_cast<long long>(result.tiles), args[1].c_str());
    return 0;
}

bool parseZooms(const std::string& text, int& from, int& to) {
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d-%d%c", &from, &to, &tail) == 2) return from >= 0 && from <= to && to <= kMaxCoverageZoom;
    if (std::sscanf(text.c_str(), "%d%c", &from, &tail) != 1) return false;
    to = from;
    return from >= 0 && from <= kMaxCoverageZoom;
}

int coverage(const std::vector<std::string>& args) {
    int from = -1, to = -1, margin = 0;
    bool box = false;
    GeoCoord corner1, corner2;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool valued = i + 1 < args.size();
        char tail = 0;
        if (args[i] == "--zooms" && valued) {
            if (!parseZooms(args[++i], from, to)) return fail("--zooms takes A-B with 0 <= A <= B <= 24"), 2;
        } else if (args[i] == "--margin" && valued) {
            if (std::sscanf(args[++i].c_str(), "%d%c", &margin, &tail) != 1 || margin < 0 || margin > kMaxMargin) {
                return fail("--margin takes 0 to 50 tiles"), 2;
            }
        } else if (args[i] == "--box" && valued) {
            box = std::sscanf(args[++i].c_str(), "%lf,%lf,%lf,%lf%c", &corner1.lat, &corner1.lon, &corner2.lat,
                              &corner2.lon, &tail) == 4;
            if (!box || std::abs(corner1.lat) > 90 || std::abs(corner2.lat) > 90 || std::abs(corner1.lon) > 180 ||
                std::abs(corner2.lon) > 180) {
                return fail("--box takes LAT1,LON1,LAT2,LON2 in degrees"), 2;
            }
        } else if (args[i].rfind("--", 0) == 0) {
            return usage(stderr), 2;
        } else {
            rest.push_back(args[i]);
        }
    }
    if (from < 0 || rest.empty() || (rest.size() == 1 && !box)) return usage(stderr), 2;

    std::vector<std::vector<GeoCoord>> lines;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        GpxPathList tracks, routes;
        GpxPath waypoints;
        GpxOverlays out{tracks, routes, waypoints};
        if (readGpxFile(rest[i], out) != 0) return fail("cannot read " + rest[i]);
        for (GpxPathList* list : {&tracks, &routes}) {
            for (int p = 0; p < list->count(); ++p) {
                std::vector<GeoCoord>& line = lines.emplace_back();
                GpxPath& path = list->at(p);
                for (int k = 0; k < path.pointCount(); ++k) line.push_back({path.points.at(k).lat, path.points.at(k).lon});
            }
        }
    }
    std::string error;
    const std::unique_ptr<TileStore> store = openStore(rest[0], error);
    if (!store) return fail(error);

    std::int64_t missingAll = 0;
    for (int zoom = from; zoom <= to; ++zoom) {
        TileSet tiles;
        for (const auto& line : lines) addLineTiles(line, zoom, tiles);
        if (box) addBoxTiles(corner1, corner2, zoom, tiles);
        tiles = withMargin(tiles, zoom, margin);
        std::int64_t held = 0, looked = 0;
        Progress progress("looked up");
        for (const TileCell& t : tiles) {
            if (store->read(zoom, t.col, t.row).status == TileReadStatus::Missing) {
                std::printf("%d/%lld/%lld\n", zoom, static_cast<long long>(t.col), static_cast<long long>(t.row));
            } else {
                ++held;
            }
            progress(++looked, static_cast<std::int64_t>(tiles.size()));
        }
        const auto needed = static_cast<std::int64_t>(tiles.size());
        missingAll += needed - held;
        std::fprintf(stderr, "zoom %d: %lld tiles needed, %lld held, %lld missing\n", zoom,
                     static_cast<long long>(needed), static_cast<long long>(held), static_cast<long long>(needed - held));
    }
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? (missingAll > 0 ? 1 : 0) : fail("cannot write the list");
}

// One line for a tile the map could not show; true when there was one.
bool listProblem(const std::string& where, const std::vector<std::uint8_t>& bytes) {
    const TileDecodeResult decoded = decodeTileImage(bytes);
    if (decoded.bitmap) return false;
    std::printf("%s: %s\n", where.c_str(), decoded.rejected ? std::string(decoded.reason).c_str() : "is too large to show");
    return true;
}

int check(const std::vector<std::string>& args) {
    if (args.size() != 1) return usage(stderr), 2;
    const fs::path store = args[0];
    std::error_code ec;
    std::int64_t problems = 0, tiles = 0;
    std::vector<fs::path> files;
    if (fs::is_directory(store, ec)) {
        // Walked twice, the first time to count, so that a tree of millions of tiles is
        // checked in little memory.
        std::int64_t total = 0;
        const auto count = [&total](const TreeTile&) {
            ++total;
            return true;
        };
        walkTree(store, count, [](const fs::path&) {});
        Progress progress("checked");
        const TileTree tree(store);
        const auto checkTile = [&](const TreeTile& t) {
            const TileRead read = tree.read(t.key.zoom, t.key.col, t.key.row);
            if (read.status == TileReadStatus::Found) {
                problems += listProblem(t.file.string(), read.bytes) ? 1 : 0;
            } else {
                std::printf("%s: %s\n", t.file.c_str(), read.status == TileReadStatus::Damaged ? read.reason.c_str() : "cannot be read");
                ++problems;
            }
            progress(++tiles, std::max(total, tiles));
            return true;
        };
        walkTree(store, checkTile, [](const fs::path&) {});
        if (fs::exists(mbtilesBeside(store), ec)) files.push_back(mbtilesBeside(store));
    } else {
        files.push_back(store);
    }
    for (const fs::path& file : files) {
        std::string error;
        if (!MbtilesStore::open(file, error)) {
            std::printf("%s: %s\n", file.c_str(), error.c_str());
            ++problems;
            continue;
        }
        Progress progress("checked");
        const std::int64_t total = countMbtilesRows(file);
        std::int64_t done = 0;
        std::vector<std::uint8_t> bytes;
        const bool whole = forEachMbtilesRow(
            file,
            [&](const MbtilesRow& row) {
                progress(++done, total);
                ++tiles;
                const std::optional<TileKey> key = keyFromTms(row.zoom, row.col, row.tmsRow);
                const std::string where = file.string() + " " + std::to_string(row.zoom) + "/" + std::to_string(row.col) +
                                          "/" + std::to_string(key ? key->row : row.tmsRow);
                if (!key) {
                    std::printf("%s (as stored): outside the world\n", where.c_str());
                    ++problems;
                    return true;
                }
                bytes.assign(row.bytes.begin(), row.bytes.end());
                problems += listProblem(where, bytes) ? 1 : 0;
                return true;
            },
            error);
        if (!whole) {
            std::printf("%s: cannot be read to the end: %s\n", file.c_str(), error.c_str());
            ++problems;
        }
    }
    std::fprintf(stderr, "%lld tiles checked, %lld cannot be shown\n", static_cast<long long>(tiles),
                 static_cast<long long>(problems));
    if (std::fflush(stdout) != 0) return fail("cannot write the list");
    return problems > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> all(argv + 1, argv + argc);
    if (all.empty()) return usage(stderr), 2;
    const std::string command = all[0];
    const std::vector<std::string> args(all.begin() + 1, all.end());
    if (command == "--help" || command == "-h" || command == "help") return usage(stdout), 0;
    if (command == "pack") return pack(args);
    if (command == "unpack") return unpack(args);
    if (command == "coverage") return coverage(args);
    if (command == "check") return check(args);
    return usage(stderr), 2;
}
