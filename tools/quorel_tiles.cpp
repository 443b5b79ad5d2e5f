// quorel-tiles: prepares the map of a card before a trip. See usage() for the commands.
#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
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
#include "platform/raster/raster.h"
#include "png/png_writer.h"
#include "png/tile_image.h"
#include "tools/fetch_target.h"
#include "tools/tile_coverage.h"
#include "tools/tile_fetch.h"
#include "tools/tile_pack.h"

namespace {

using namespace quorel;
namespace fs = std::filesystem;

constexpr int kMaxMargin = 50;
// Tiles fetched per transaction (and at least one a second): a run killed at any moment
// has lost at most this many and the two under way, and the next run, asking for those
// first, has them all kept once it has two batches done.
constexpr std::int64_t kFetchBatch = 25;

void usage(std::FILE* to) {
    std::fputs(
        "usage: quorel-tiles COMMAND ...\n"
        "\n"
        "  pack DIR OUT.mbtiles      put the tile tree DIR (zoom/column/row.png or .jpg) into one\n"
        "                            MBTiles file; the tile bytes are kept as they are\n"
        "  unpack [--replace] IN.mbtiles DIR\n"
        "                            write the tiles of an MBTiles file as a tile tree; a tile the\n"
        "                            tree holds already with other bytes is replaced only with\n"
        "                            --replace (without it nothing is written)\n"
        "  coverage --zooms A-B [--margin TILES] [--box LAT1,LON1,LAT2,LON2] STORE [GPX...]\n"
        "                            for each zoom, the tiles the tracks and routes of the GPX files\n"
        "                            (and the box, west edge LON1, east edge LON2) pass through, with\n"
        "                            TILES tiles around them; prints a count per zoom on standard\n"
        "                            error and every tile STORE lacks as a z/x/y line on standard output\n"
        "                            --png FILE draws the tiles of the highest zoom: held green,\n"
        "                            missing white, failed to fetch red, absent on the server grey\n"
        "  check STORE               decode every tile; list those the map could not show, with why\n"
        "  fetch --url TEMPLATE --zooms A-B [--margin TILES] [--box LAT1,LON1,LAT2,LON2] [GPX...] STORE\n"
        "                            get the tiles coverage lists that STORE lacks, or holds but no\n"
        "                            longer fresh, from the tile server of TEMPLATE\n"
        "                            (https://host/{z}/{x}/{y}.png; {-y} counts rows from the south,\n"
        "                            {s} takes one of --subdomains abc); --rate N tiles a second\n"
        "                            (default 2), --contact TEXT (an e-mail address, in the\n"
        "                            User-Agent), --timeout SECONDS (60), --dry-run, --yes\n"
        "\n"
        "STORE is a tile tree with the MBTiles file of the same name beside it, as the map reads\n"
        "them (Maps/std names Maps/std and Maps/std.mbtiles; either may be missing), or one\n"
        "MBTiles file.\n"
        "Exit status: 0 done (coverage: nothing missing; check: every tile shows; fetch: every\n"
        "tile held or known absent); 1 otherwise (also a file that cannot be read or written, a\n"
        "store without tiles, a GPX file without a point, a fetch stopped); 2 for a wrong command\n"
        "line or a refused server.\n",
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

// What was wrong with the command line, then the usage.
int usageError(const std::string& what) {
    fail(what);
    usage(stderr);
    return 2;
}

// The parts of a STORE as the map reads them: a path that is a file is one MBTiles file
// (mapFile, no tree); any other path is a tree with the map file beside it, and either
// may be missing, but not both. False, with the reason, when there is nothing there.
bool findStore(const fs::path& store, fs::path& tree, fs::path& mapFile, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(store, ec) && fs::exists(store, ec)) {
        mapFile = store;
        return true;
    }
    if (fs::is_directory(store, ec)) tree = store;
    if (fs::exists(mbtilesBeside(store), ec)) mapFile = mbtilesBeside(store);
    if (tree.empty() && mapFile.empty()) {
        error = store.string() + ": no tile tree there, nor a map file " + mbtilesBeside(store).string();
        return false;
    }
    return true;
}

std::unique_ptr<TileStore> openStore(const fs::path& store, std::string& error) {
    fs::path tree, mapFile;
    if (!findStore(store, tree, mapFile, error)) return nullptr;
    if (mapFile != store) {
        std::vector<std::string> notes;
        auto layered = openMapStore(store, notes);
        if (!notes.empty()) error = notes.front();
        return notes.empty() ? std::move(layered) : nullptr;
    }
    std::unique_ptr<TileStore> file = MbtilesStore::open(store, error);
    if (!file) error = store.string() + ": " + error;
    return file;
}

int pack(const std::vector<std::string>& args) {
    if (args.size() != 2) return usageError("pack takes a tile tree DIR and OUT.mbtiles");
    Progress progress("packed");
    PackResult result;
    std::string error;
    if (!packTree(args[0], args[1], result, std::ref(progress), error)) return fail(error);
    for (const fs::path& f : result.skipped) {
        std::fprintf(stderr, "quorel-tiles: not a tile, left out: %s\n", f.c_str());
    }
    std::fprintf(stderr, "%lld tiles packed into %s\n", static_cast<long long>(result.tiles), args[1].c_str());
    return 0;
}

int unpack(const std::vector<std::string>& args) {
    std::vector<std::string> files = args;
    const auto option = std::find(files.begin(), files.end(), "--replace");
    const bool replace = option != files.end();
    if (replace) files.erase(option);
    if (files.size() != 2 || files[0].rfind("--", 0) == 0 || files[1].rfind("--", 0) == 0) {
        return usageError("unpack takes [--replace], IN.mbtiles and a tile tree DIR");
    }
    Progress progress("unpacked");
    UnpackResult result;
    std::string error;
    const bool ok = unpackFile(files[0], files[1], replace, result, std::ref(progress), error);
    if (result.outsideWorld > 0) {
        std::fprintf(stderr, "quorel-tiles: %lld rows outside the world left out\n",
                     static_cast<long long>(result.outsideWorld));
    }
    if (!result.different.empty()) {
        return fail(result.different.string() + " holds another tile than " + files[0] +
                    " has there; nothing unpacked (--replace replaces such tiles)");
    }
    if (!ok) return fail(error);
    std::fprintf(stderr, "%lld tiles unpacked into %s\n", static_cast<long long>(result.tiles), files[1].c_str());
    return 0;
}

bool parseZooms(const std::string& text, int& from, int& to) {
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d-%d%c", &from, &to, &tail) == 2) {
        return from >= 0 && from <= to && to <= kMaxCoverageZoom;
    }
    if (std::sscanf(text.c_str(), "%d%c", &from, &tail) != 1) return false;
    to = from;
    return from >= 0 && from <= kMaxCoverageZoom;
}

// The command line of coverage and fetch: the trip (zooms, margin, box, GPX files) and
// the options of each. Only the options of the command are taken.
struct TripOptions {
    int from = -1, to = -1;
    TripArea area;
    std::vector<std::string> rest;  // STORE and GPX files, in the order given
    std::string png;                // coverage
    std::string url, subdomains, contact;
    double rate = 2;
    int timeout = 60;
    bool yes = false, dryRun = false;
};

// 0 when args make sense, else the exit status (the reason written).
int parseTrip(const std::vector<std::string>& args, bool fetching, TripOptions& o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const bool valued = i + 1 < args.size();
        const std::string& a = args[i];
        char tail = 0;
        if (a == "--zooms" && valued) {
            if (!parseZooms(args[++i], o.from, o.to)) return fail("--zooms takes A-B with 0 <= A <= B <= 24"), 2;
        } else if (a == "--margin" && valued) {
            if (std::sscanf(args[++i].c_str(), "%d%c", &o.area.margin, &tail) != 1 || o.area.margin < 0 ||
                o.area.margin > kMaxMargin) {
                return fail("--margin takes 0 to 50 tiles"), 2;
            }
        } else if (a == "--box" && valued) {
            GeoCoord c1, c2;
            const bool box =
                std::sscanf(args[++i].c_str(), "%lf,%lf,%lf,%lf%c", &c1.lat, &c1.lon, &c2.lat, &c2.lon, &tail) == 4;
            if (!box || !(std::abs(c1.lat) <= 90 && std::abs(c2.lat) <= 90 && std::abs(c1.lon) <= 180 &&
                          std::abs(c2.lon) <= 180)) {
                return fail("--box takes LAT1,LON1,LAT2,LON2 in degrees"), 2;
            }
            o.area.box = {c1, c2};
        } else if (a == "--png" && valued && !fetching) {
            o.png = args[++i];
        } else if (a == "--url" && valued && fetching) {
            o.url = args[++i];
        } else if (a == "--subdomains" && valued && fetching) {
            o.subdomains = args[++i];
        } else if (a == "--contact" && valued && fetching) {
            o.contact = args[++i];
        } else if (a == "--rate" && valued && fetching) {
            if (std::sscanf(args[++i].c_str(), "%lf%c", &o.rate, &tail) != 1 || !(o.rate >= 0 && o.rate <= 10000)) {
                return fail("--rate takes tiles per second, 0 for no limit"), 2;
            }
        } else if (a == "--timeout" && valued && fetching) {
            if (std::sscanf(args[++i].c_str(), "%d%c", &o.timeout, &tail) != 1 || o.timeout < 1 || o.timeout > 3600) {
                return fail("--timeout takes 1 to 3600 seconds"), 2;
            }
        } else if (a == "--yes" && fetching) {
            o.yes = true;
        } else if (a == "--dry-run" && fetching) {
            o.dryRun = true;
        } else if (a.rfind("--", 0) == 0) {
            const char* command = fetching ? "fetch" : "coverage";
            static constexpr const char* kValued[] = {"--zooms",      "--margin",  "--box",  "--png",    "--url",
                                                      "--subdomains", "--contact", "--rate", "--timeout"};
            const bool known = std::find(std::begin(kValued), std::end(kValued), a) != std::end(kValued);
            return usageError(known && !valued ? a + " needs a value" : std::string(command) + " has no option " + a);
        } else {
            o.rest.push_back(a);
        }
    }
    if (o.from < 0) return usageError("--zooms A-B is needed");
    if (o.rest.empty()) return usageError("a STORE is needed");
    if (o.rest.size() == 1 && !o.area.box) return usageError("GPX files or --box are needed");
    return 0;
}

bool readLines(const std::vector<std::string>& files, TripArea& area) {
    for (const std::string& file : files) {
        GpxPathList tracks, routes;
        GpxPath waypoints;
        GpxOverlays out{tracks, routes, waypoints};
        if (readGpxFile(file, out) != 0) return fail("cannot read " + file), false;
        std::size_t points = 0;
        for (GpxPathList* list : {&tracks, &routes}) {
            for (int p = 0; p < list->count(); ++p) {
                std::vector<GeoCoord>& line = area.lines.emplace_back();
                GpxPath& path = list->at(p);
                for (int k = 0; k < path.pointCount(); ++k) {
                    line.push_back({path.points.at(k).lat, path.points.at(k).lon});
                }
                points += line.size();
            }
        }
        // A file that gave nothing (empty, not GPX, waypoints only) would pass unseen.
        if (points == 0) return fail(file + ": no track or route point in it"), false;
    }
    return true;
}

// Draws the tiles of the trip at zoom, a square of pixels each: held green, failed red,
// absent on the server grey, missing white, on black.
bool drawCoverage(const TileSet& tiles, int zoom, const TileStore& store, const fs::path& storePath,
                  const fs::path& png) {
    if (tiles.empty()) return fail("no tiles to draw"), false;
    std::int64_t c0 = tiles.begin()->col, c1 = c0, r0 = tiles.begin()->row, r1 = r0;
    for (const TileCell& t : tiles) {
        c0 = std::min(c0, t.col), c1 = std::max(c1, t.col), r0 = std::min(r0, t.row), r1 = std::max(r1, t.row);
    }
    const std::int64_t span = std::max(c1 - c0, r1 - r0) + 1;
    const int cell = static_cast<int>(std::clamp<std::int64_t>(1024 / span, 1, 16));
    const std::int64_t w = (c1 - c0 + 1) * cell, h = (r1 - r0 + 1) * cell;
    if (w > 8192 || h > 8192) return fail("the area is too large to draw at zoom " + std::to_string(zoom)), false;
    platform::Bitmap bitmap = platform::createBitmap(static_cast<int>(w), static_cast<int>(h));
    const FetchRecords records(storePath);
    for (const TileCell& t : tiles) {
        platform::Color color = platform::rgb(255, 255, 255);
        if (store.read(zoom, t.col, t.row).status != TileReadStatus::Missing) {
            color = platform::rgb(40, 170, 60);
        } else if (const auto r = records.record({zoom, t.col, t.row})) {
            color = r->state == FetchState::Failed ? platform::rgb(220, 30, 30) : platform::rgb(128, 128, 128);
        }
        const int x = static_cast<int>((t.col - c0) * cell), y = static_cast<int>((t.row - r0) * cell);
        platform::fillRect(
            bitmap, {x, y, x + std::max(cell - (cell > 3 ? 1 : 0), 1), y + std::max(cell - (cell > 3 ? 1 : 0), 1)},
            color);
    }
    return writePngFile(bitmap, png) || (fail("cannot write " + png.string()), false);
}

int coverage(const std::vector<std::string>& args) {
    TripOptions o;
    if (const int status = parseTrip(args, false, o)) return status;
    if (!readLines({o.rest.begin() + 1, o.rest.end()}, o.area)) return 1;
    std::string error;
    const std::unique_ptr<TileStore> store = openStore(o.rest[0], error);
    if (!store) return fail(error);

    std::int64_t missingAll = 0;
    for (int zoom = o.from; zoom <= o.to; ++zoom) {
        const TileSet tiles = tripTiles(o.area, zoom);
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
                     static_cast<long long>(needed), static_cast<long long>(held),
                     static_cast<long long>(needed - held));
        if (!o.png.empty() && zoom == o.to && !drawCoverage(tiles, zoom, *store, o.rest[0], o.png)) return 1;
    }
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? (missingAll > 0 ? 1 : 0) : fail("cannot write the list");
}

volatile std::sig_atomic_t stopSignal = 0;

std::int64_t epochSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string megabytes(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", bytes / 1e6);
    return text;
}

struct FetchCounts {
    std::int64_t fetched = 0, unchanged = 0, absent = 0, fresh = 0, bytes = 0;
    std::vector<std::string> failed;  // "z/x/y: why"
};

std::string tileName(const TileKey& k) {
    return std::to_string(k.zoom) + "/" + std::to_string(k.col) + "/" + std::to_string(k.row);
}

// The progress of a fetch on standard error: rewritten in place on a terminal, otherwise
// a line at most once a second.
class FetchProgress {
public:
    explicit FetchProgress(std::int64_t total) : total_(total), terminal_(::isatty(2) == 1) {}
    ~FetchProgress() {
        if (shown_ && terminal_) std::fputc('\n', stderr);
    }
    void operator()(std::int64_t done, std::int64_t bytes) {
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < (terminal_ ? std::chrono::milliseconds(200) : std::chrono::milliseconds(1000))) return;
        last_ = now;
        shown_ = true;
        const double seconds = std::chrono::duration<double>(now - start_).count();
        const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
        const long long eta = rate > 0 ? static_cast<long long>(static_cast<double>(total_ - done) / rate) : 0;
        std::fprintf(stderr, "%sfetched %lld/%lld, %.1f tiles/s, %s, about %lld:%02lld left%s", terminal_ ? "\r" : "",
                     static_cast<long long>(done), static_cast<long long>(total_), rate,
                     megabytes(static_cast<double>(bytes)).c_str(), eta / 60, eta % 60, terminal_ ? "  " : "\n");
    }

private:
    std::int64_t total_;
    bool terminal_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_ = start_;
};

// Runs jobs into target, committing every few dozen tiles and at least every second;
// false when the store could not be written.
bool fetchInto(const FetchOptions& options, FetchPace& pace, std::span<const TileJob> jobs, FetchTarget& target,
               FetchCounts& counts, std::int64_t shownTotal, std::int64_t shownBefore) {
    std::string error, storeError;
    std::int64_t sinceCommit = 0, done = shownBefore;
    auto lastCommit = std::chrono::steady_clock::now();
    FetchProgress progress(shownTotal);
    const bool ran = fetchTiles(
        options, pace, jobs,
        [&](TileAnswer& answer) {
            if (!storeError.empty()) return;
            if (!target.keep(answer, storeError)) return;
            switch (answer.result) {
            case FetchResult::Fetched:
                ++counts.fetched, counts.bytes += static_cast<std::int64_t>(answer.bytes.size());
                break;
            case FetchResult::NotModified:
                ++counts.unchanged;
                break;
            case FetchResult::Absent:
                ++counts.absent;
                break;
            case FetchResult::Failed:
                counts.failed.push_back(tileName(answer.key) + ": " + answer.why);
                break;
            }
            progress(++done, counts.bytes);
            const auto now = std::chrono::steady_clock::now();
            if (++sinceCommit >= kFetchBatch || now - lastCommit > std::chrono::seconds(1)) {
                if (!target.commit(storeError)) return;
                sinceCommit = 0;
                lastCommit = now;
            }
        },
        [&] { return stopSignal == 0 && storeError.empty(); }, error);
    if (!ran) return fail(error), false;
    if (!storeError.empty()) return fail("cannot write the store: " + storeError), false;
    return true;
}

void onStopSignal(int signal) { stopSignal = signal; }

int fetch(const std::vector<std::string>& args) {
    TripOptions o;
    if (const int status = parseTrip(args, true, o)) return status;
    // The store comes last: fetch ... GPX... STORE.
    const fs::path storePath = o.rest.back();
    if (!readLines({o.rest.begin(), o.rest.end() - 1}, o.area)) return 1;
    if (o.url.empty()) return fail("fetch needs --url TEMPLATE"), 2;
    if (o.url.find("{z}") == std::string::npos || o.url.find("{x}") == std::string::npos ||
        (o.url.find("{y}") == std::string::npos && o.url.find("{-y}") == std::string::npos)) {
        return fail("the --url template needs {z}, {x} and {y} (or {-y})"), 2;
    }
    if (o.url.find("{s}") != std::string::npos && o.subdomains.empty()) {
        return fail("{s} needs --subdomains, as abc"), 2;
    }
    std::string scheme, host;
    for (const char s : o.subdomains.empty() ? std::string(1, '\0') : o.subdomains) {
        const std::string url = tileUrl(o.url, {0, 0, 0}, s == '\0' ? "" : std::string(1, s));
        if (!urlSchemeAndHost(url, scheme, host)) return fail("not a URL: " + url), 2;
        if (const std::string refusal = bulkFetchRefusal(host); !refusal.empty()) return fail("refused: " + refusal), 2;
    }
    if (scheme != "https" && scheme != "http") return fail("only http and https URLs are fetched"), 2;
    if (scheme == "http") {
        std::fprintf(stderr, "quorel-tiles: warning: %s is plain http, open to tampering on the way\n", host.c_str());
    }
    if (o.rate == 0 && !isLoopbackHost(host)) {
        return fail("--rate 0 (no limit) is only for a server on this machine"), 2;
    }

    FetchOptions options;
    options.urlTemplate = o.url;
    options.subdomains = o.subdomains;
    options.rate = o.rate;
    options.timeoutSeconds = o.timeout;
    options.userAgent = std::string("Quorel/") + QUOREL_VERSION + (o.contact.empty() ? "" : " (" + o.contact + ")");

    std::string error;
    std::unique_ptr<FetchTarget> target;
    std::error_code ec;
    if (!o.dryRun || fs::exists(storePath, ec)) {
        target = FetchTarget::open(storePath, error);
        if (!target) return fail(error);
    }
    std::unique_ptr<TileStore> store = fs::exists(storePath, ec) ? openStore(storePath, error) : nullptr;
    const std::int64_t now = epochSeconds();
    std::vector<TileJob> jobs;
    FetchCounts counts;
    std::int64_t wanted = 0, heldSize = 0, heldSeen = 0;
    for (int zoom = o.from; zoom <= o.to; ++zoom) {
        for (const TileCell& t : tripTiles(o.area, zoom)) {
            ++wanted;
            const TileKey key{zoom, t.col, t.row};
            const std::int64_t size = target ? target->heldBytes(key) : -1;
            if (size >= 0 && heldSeen < 100) heldSize += size, ++heldSeen;
            const std::optional<FetchRecord> r = target ? target->record(key) : std::nullopt;
            if (r) {
                const bool fresh = r->freshness.expires > now;
                if (fresh && r->state == FetchState::Absent) {
                    ++counts.absent;
                    continue;
                }
                if (fresh && r->state == FetchState::Held && size >= 0) {
                    ++counts.fresh;
                    continue;
                }
                jobs.push_back({key, size >= 0 ? r->freshness : TileFreshness{}});
            } else if (size >= 0 || (store && store->read(zoom, t.col, t.row).status != TileReadStatus::Missing)) {
                ++counts.fresh;  // put there by other means: kept as it is
            } else {
                jobs.push_back({key, {}});
            }
        }
    }
    store.reset();  // a reader of the file would keep it in WAL mode at the end
    std::fprintf(stderr, "%lld tiles wanted, %lld held and fresh, %lld to ask for from %s\n",
                 static_cast<long long>(wanted), static_cast<long long>(counts.fresh + counts.absent),
                 static_cast<long long>(jobs.size()), host.c_str());
    std::span<const TileJob> rest(jobs);
    FetchPace pace;
    if (!jobs.empty()) {
        // The size of a tile here, from tiles held or else from a few fetched first (and kept).
        if (heldSeen == 0 && !o.dryRun) {
            std::vector<TileJob> sample;
            for (std::size_t i = 0; i < 3 && i < jobs.size(); ++i) sample.push_back(jobs[i * jobs.size() / 3]);
            if (!fetchInto(options, pace, sample, *target, counts, static_cast<std::int64_t>(jobs.size()), 0)) return 1;
            std::vector<TileJob> others;
            for (const TileJob& j : jobs) {
                if (std::none_of(sample.begin(), sample.end(), [&](const TileJob& s) { return s.key == j.key; })) {
                    others.push_back(j);
                }
            }
            jobs = std::move(others);
            rest = jobs;
            heldSize = counts.bytes;
            heldSeen = counts.fetched;
        }
        if (heldSeen > 0) {
            std::fprintf(stderr, "about %s to fetch\n",
                         megabytes(static_cast<double>(heldSize) / static_cast<double>(heldSeen) *
                                   static_cast<double>(jobs.size()))
                             .c_str());
        } else {
            std::fprintf(stderr, "size unknown: nothing held to go by\n");
        }
        if (o.dryRun) return 0;
        if (!o.yes && !rest.empty()) {
            std::fprintf(stderr, "fetch %zu tiles from %s? [y/N] ", rest.size(), host.c_str());
            char answer[16] = {};
            if (std::fgets(answer, sizeof answer, stdin) == nullptr || (answer[0] != 'y' && answer[0] != 'Y')) {
                std::string ignored;
                target->finish(ignored);
                return fail("nothing fetched"), 1;
            }
        }
    } else if (o.dryRun) {
        return 0;
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    const std::int64_t before =
        counts.fetched + counts.unchanged + counts.absent + static_cast<std::int64_t>(counts.failed.size());
    const bool wrote =
        fetchInto(options, pace, rest, *target, counts, before + static_cast<std::int64_t>(rest.size()), before);
    if (!target->finish(error)) return fail("cannot finish the store: " + error);
    if (!wrote) return 1;
    std::fprintf(stderr,
                 "%lld fetched (%s), %lld unchanged, %lld held and fresh, %lld absent on the server, %zu failed\n",
                 static_cast<long long>(counts.fetched), megabytes(static_cast<double>(counts.bytes)).c_str(),
                 static_cast<long long>(counts.unchanged), static_cast<long long>(counts.fresh),
                 static_cast<long long>(counts.absent), counts.failed.size());
    for (const std::string& f : counts.failed) std::fprintf(stderr, "failed %s\n", f.c_str());
    if (stopSignal != 0) {
        std::fprintf(stderr, "quorel-tiles: stopped; the same command goes on where this one stopped\n");
        return 1;
    }
    return counts.failed.empty() ? 0 : 1;
}

// One line for a tile the map could not show; true when there was one.
bool listProblem(const std::string& where, const std::vector<std::uint8_t>& bytes) {
    const TileDecodeResult decoded = decodeTileImage(bytes);
    if (decoded.bitmap) return false;
    std::printf("%s: %s\n", where.c_str(),
                decoded.rejected ? std::string(decoded.reason).c_str() : "is too large to show");
    return true;
}

int check(const std::vector<std::string>& args) {
    if (args.size() != 1 || args[0].rfind("--", 0) == 0) return usageError("check takes one STORE");
    const fs::path store = args[0];
    fs::path treeDir, mapFile;
    std::string missing;
    if (!findStore(store, treeDir, mapFile, missing)) return fail(missing);
    std::int64_t problems = 0, tiles = 0;
    if (!treeDir.empty()) {
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
                std::printf("%s: %s\n", t.file.c_str(),
                            read.status == TileReadStatus::Damaged ? read.reason.c_str() : "cannot be read");
                ++problems;
            }
            progress(++tiles, std::max(total, tiles));
            return true;
        };
        walkTree(store, checkTile, [](const fs::path&) {});
    }
    std::vector<fs::path> files;
    if (!mapFile.empty()) files.push_back(mapFile);
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
                const std::string where = file.string() + " " + std::to_string(row.zoom) + "/" +
                                          std::to_string(row.col) + "/" + std::to_string(key ? key->row : row.tmsRow);
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
    // A store the map would show nothing of is no map, though nothing in it is bad; a map
    // file that said why it shows nothing has said so already.
    if (tiles == 0 && problems == 0) {
        std::printf("%s: no tiles\n", store.c_str());
        ++problems;
    }
    std::fprintf(stderr, "%lld tiles checked, %lld cannot be shown\n", static_cast<long long>(tiles),
                 static_cast<long long>(problems));
    if (std::fflush(stdout) != 0) return fail("cannot write the list");
    return problems > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> all(argv + 1, argv + argc);
    if (all.empty()) return usageError("no command given");
    const std::string command = all[0];
    const std::vector<std::string> args(all.begin() + 1, all.end());
    if (command == "--help" || command == "-h" || command == "help") return usage(stdout), 0;
    if (command == "pack") return pack(args);
    if (command == "unpack") return unpack(args);
    if (command == "coverage") return coverage(args);
    if (command == "check") return check(args);
    if (command == "fetch") {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        const int status = fetch(args);
        curl_global_cleanup();
        return status;
    }
    return usageError("no such command: " + command);
}
