// quorel-make-demo OUTDIR [--zooms 5-17] [--radius-km 4] [--jobs N]
//
// Writes the demo data of a made-up town around the home position:
//   OUTDIR/sdmmc/Maps/std/<zoom>/<col>/<row>.png   map tiles: around home, and along the
//                                                   drive with a margin of two tiles
//   OUTDIR/sdmmc/GPX/Auto/*.gpx                     a ride, a planned walk, places
//   OUTDIR/demo/drive.nmea                          ten minutes of a drive, GGA and RMC
//   OUTDIR/demo/drive.gpx                           the same drive as a GPX track
// The same arguments always give the same bytes.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/scan.h"
#include "platform/text_file.h"
#include "tools/demo_tiles.h"
#include "tools/demo_tracks.h"
#include "tools/demo_world.h"

namespace {

using namespace quorel;
namespace fs = std::filesystem;

constexpr int kZoomLimit = 20;
constexpr double kRadiusLimitKm = 50.0;
constexpr std::size_t kTileLimit = 200000;
// Tiles around the drive's line at every zoom, so that the map never runs out under the
// car, nor beside it on a screen wider than two tiles each side.
constexpr int kDriveMargin = 2;

struct Options {
    fs::path outDir;
    int zoomMin = 5;
    int zoomMax = 17;
    double radiusKm = 4.0;
    int jobs = 0;
};

void usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: quorel-make-demo OUTDIR [--zooms 5-17] [--radius-km 4] [--jobs N]\n"
                 "  --zooms A-B      zoom levels of the map tiles (or one level A), 0 to %d\n"
                 "  --radius-km R    the tiles reach R km around home at the higher zooms, up to %.0f\n"
                 "  --jobs N         drawing threads (default: one per processor)\n",
                 kZoomLimit, kRadiusLimitKm);
}

// The whole text must be one integer.
bool wholeInt(std::string_view text, int& out) {
    std::int32_t v = 0;
    const platform::ScanResult r = platform::scanInt(text, v);
    if (!r.ok || r.consumed != text.size() || text.empty() || text[0] == ' ') return false;
    out = v;
    return true;
}

bool parseZooms(std::string_view text, int& lo, int& hi) {
    const std::size_t dash = text.find('-', 1);
    if (dash == std::string_view::npos) {
        if (!wholeInt(text, lo)) return false;
        hi = lo;
    } else if (!wholeInt(text.substr(0, dash), lo) || !wholeInt(text.substr(dash + 1), hi)) {
        return false;
    }
    return 0 <= lo && lo <= hi && hi <= kZoomLimit;
}

bool parseArgs(int argc, char** argv, Options& o) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--help" || a == "-h") {
            usage(stdout);
            std::exit(0);
        } else if (a == "--zooms" && hasValue) {
            if (!parseZooms(args[++i], o.zoomMin, o.zoomMax)) {
                std::fprintf(stderr, "quorel-make-demo: --zooms wants A-B with 0 <= A <= B <= %d\n", kZoomLimit);
                return false;
            }
        } else if (a == "--radius-km" && hasValue) {
            const std::string_view v = args[++i];
            const platform::ScanResult r = platform::scanReal(v, o.radiusKm);
            if (!r.ok || r.consumed != v.size() || !std::isfinite(o.radiusKm) || o.radiusKm <= 0.0 ||
                o.radiusKm > kRadiusLimitKm) {
                std::fprintf(stderr, "quorel-make-demo: --radius-km wants a number above 0 and up to %.0f\n",
                             kRadiusLimitKm);
                return false;
            }
        } else if (a == "--jobs" && hasValue) {
            if (!wholeInt(args[++i], o.jobs) || o.jobs < 1 || o.jobs > 64) {
                std::fprintf(stderr, "quorel-make-demo: --jobs wants a number from 1 to 64\n");
                return false;
            }
        } else if (!a.empty() && a[0] != '-' && o.outDir.empty()) {
            o.outDir = fs::path(a);
        } else {
            std::fprintf(stderr, "quorel-make-demo: unexpected argument '%.*s'\n", static_cast<int>(a.size()),
                         a.data());
            return false;
        }
    }
    if (o.outDir.empty()) {
        std::fprintf(stderr, "quorel-make-demo: no output directory\n");
        return false;
    }
    return true;
}

bool writeFile(const fs::path& file, const std::string& text) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    if (ec || !platform::writeTextFile(file, text)) {
        std::fprintf(stderr, "quorel-make-demo: cannot write %s\n", file.c_str());
        return false;
    }
    return true;
}

// The farthest point from home of the GPX files, in metres.
double reachOfGpxFiles(const std::vector<demo::DemoFile>& gpx) {
    double reach = 0.0;
    for (const demo::DemoFile& f : gpx) {
        for (std::size_t at = f.text.find("lat=\""); at != std::string::npos; at = f.text.find("lat=\"", at + 1)) {
            const std::size_t lonAt = f.text.find("lon=\"", at);
            const auto lat = platform::scanRealPrefix(std::string_view(f.text).substr(at + 5));
            const auto lon = platform::scanRealPrefix(std::string_view(f.text).substr(lonAt + 5));
            if (lat && lon) {
                const demo::Vec2 p = demo::geoToLocal(*lat, *lon);
                reach = std::max(reach, std::hypot(p.x, p.y));
            }
        }
    }
    return reach;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseArgs(argc, argv, o)) {
        usage(stderr);
        return 2;
    }
    const double radius = o.radiusKm * 1000.0;
    std::size_t planned = 0;  // the discs alone, before any of them is held in memory
    for (int z = o.zoomMin; z <= o.zoomMax && planned <= kTileLimit; ++z) {
        planned += demo::tilesAroundHome(z, radius).size();
    }
    const auto started = std::chrono::steady_clock::now();
    std::string error;
    std::vector<demo::Sample> drive;
    std::vector<demo::DemoFile> gpx;
    if (!demo::makeDrive(drive, error) || !demo::makeGpxFiles(gpx, error)) {
        std::fprintf(stderr, "quorel-make-demo: %s\n", error.c_str());
        return 1;
    }
    std::vector<GeoCoord> route;
    for (const demo::Sample& s : drive) {
        const demo::LatLon g = demo::localToGeo(s.p);
        route.push_back({g.lat, g.lon});
    }
    const std::vector<demo::TileId> tiles = planned > kTileLimit
                                                ? std::vector<demo::TileId>{}
                                                : demo::demoTiles(o.zoomMin, o.zoomMax, radius, route, kDriveMargin);
    if (planned > kTileLimit || tiles.size() > kTileLimit) {
        std::fprintf(stderr, "quorel-make-demo: more than %zu tiles; choose fewer zooms or a smaller radius\n",
                     kTileLimit);
        return 2;
    }

    std::error_code ec;
    fs::create_directories(o.outDir, ec);
    if (ec) {
        std::fprintf(stderr, "quorel-make-demo: cannot create %s: %s\n", o.outDir.c_str(), ec.message().c_str());
        return 1;
    }
    const fs::path mapDir = o.outDir / "sdmmc" / "Maps" / "std";
    demo::TileTreeStats stats;
    if (!demo::writeTileTree(mapDir, tiles, o.jobs, stats, error)) {
        std::fprintf(stderr, "quorel-make-demo: %s\n", error.c_str());
        return 1;
    }
    for (const demo::DemoFile& f : gpx) {
        if (!writeFile(o.outDir / "sdmmc" / "GPX" / "Auto" / f.name, f.text)) return 1;
    }
    if (!writeFile(o.outDir / "demo" / "drive.nmea", demo::driveNmea(drive))) return 1;
    if (!writeFile(o.outDir / "demo" / "drive.gpx", demo::driveGpx(drive))) return 1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    const double kb = static_cast<double>(stats.bytes) / 1000.0;
    std::printf("%s: %d tiles at zooms %d-%d (%.*f %s; %d RGB, %d palette)\n", mapDir.c_str(), stats.tiles, o.zoomMin,
                o.zoomMax, kb < 1000.0 ? 0 : 1, kb < 1000.0 ? kb : kb / 1000.0, kb < 1000.0 ? "kB" : "MB",
                stats.byType[0], stats.byType[1]);
    std::printf("%s: %zu GPX files\n", (o.outDir / "sdmmc" / "GPX" / "Auto").c_str(), gpx.size());
    std::printf("%s: 600 s of GGA and RMC (and drive.gpx)\n", (o.outDir / "demo" / "drive.nmea").c_str());
    std::printf("done in %.1f s\n", seconds);
    const double reach = reachOfGpxFiles(gpx);
    if (reach > radius) {
        std::printf("note: the GPX files reach %.1f km from home, beyond the %.1f km of the map around home\n",
                    reach / 1000.0, o.radiusKm);
    }
    return 0;
}
